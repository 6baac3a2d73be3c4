#include "regprobe/windows/TfrmAbout.h"

#include <QDesktopServices>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace rp {

namespace {

// The maker's logo: a white "V" over a sine wave on a dark green round plate.
QPixmap logo() {
    QPixmap pix(80, 80);
    pix.fill(Qt::transparent);
    QPainter p(&pix);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1d, 0x5c, 0x4a));
    p.drawEllipse(QRectF(2, 2, 76, 76));
    p.setPen(QPen(Qt::white, 7, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF({QPointF(22, 20), QPointF(40, 58), QPointF(58, 20)}));
    return pix;
}

// A plain label with links takes the focus once for itself and once more for its link (going
// backwards, twice for a link at its start). This one holds one link: it puts the keyboard on the
// link as Tab (or Shift+Tab) enters it and leaves at the next Tab or Shift+Tab, so the link is
// one Tab stop either way; Return opens it.
class LinkLabel final : public QLabel {
public:
    using QLabel::QLabel;

protected:
    bool focusNextPrevChild(bool next) override { return QWidget::focusNextPrevChild(next); }
    void focusInEvent(QFocusEvent* event) override {
        QLabel::focusInEvent(event);
        if (event->reason() == Qt::TabFocusReason)
            QLabel::focusNextPrevChild(true);
        else if (event->reason() == Qt::BacktabFocusReason)
            QLabel::focusNextPrevChild(false);
    }
};

QLabel* link(const QString& href, const QString& text, const QString& name, QWidget* parent) {
    auto* l = new LinkLabel(QStringLiteral("<a href=\"%1\">%2</a>").arg(href, text), parent);
    l->setTextFormat(Qt::RichText);
    l->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    l->setAccessibleName(name);
    return l;
}

} // namespace

QString TfrmAbout::webAddress() {
    return QStringLiteral("https://www.veltrisa.example/");
}

QString TfrmAbout::mailAddress() {
    return QStringLiteral("info@veltrisa.example");
}

TfrmAbout::TfrmAbout(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About Regprobe"));
    setModal(true);

    auto* image = new QLabel(this);
    image->setPixmap(logo());
    image->setAccessibleName(QStringLiteral("Veltrisa logo"));

    auto* name = new QLabel(QStringLiteral("Veltrisa Automation"), this);
    QFont bold = name->font();
    bold.setBold(true);
    name->setFont(bold);
    auto* street = new QLabel(QStringLiteral("1 Example Street"), this);
    auto* town = new QLabel(QStringLiteral("00000 Example Town"), this);

    auto* web = link(webAddress(), QStringLiteral("www.veltrisa.example"),
                     QStringLiteral("Web site"), this);
    connect(web, &QLabel::linkActivated, this, [this](const QString&) { lblWebClick(); });
    auto* mail = link(QStringLiteral("mailto:") + mailAddress(), mailAddress(),
                      QStringLiteral("E-mail"), this);
    connect(mail, &QLabel::linkActivated, this, [this](const QString&) { lblMailClick(); });

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* texts = new QVBoxLayout;
    texts->addWidget(name);
    texts->addWidget(street);
    texts->addWidget(town);
    texts->addSpacing(8);
    texts->addWidget(web);
    texts->addWidget(mail);
    auto* body = new QHBoxLayout;
    body->addWidget(image, 0, Qt::AlignTop);
    body->addSpacing(12);
    body->addLayout(texts, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(body);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TfrmAbout::lblWebClick() {
    QDesktopServices::openUrl(QUrl(webAddress()));
}

void TfrmAbout::lblMailClick() {
    QDesktopServices::openUrl(QUrl(QStringLiteral("mailto:") + mailAddress()));
}

} // namespace rp
