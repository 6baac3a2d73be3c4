#include "shell/windows/TFAbout.h"

#include <QDesktopServices>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "shell/windows/TFMosaicoreFirmWare.h"
#include "ui/link_label.h"

namespace mk {

namespace {

// The product picture: the device code on the maker's blue plate.
QPixmap productPicture() {
    QPixmap pix(96, 96);
    pix.fill(Qt::transparent);
    QPainter p(&pix);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(0x1f, 0x3a, 0x6e));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(4, 4, 88, 88), 12, 12);
    p.setPen(Qt::white);
    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(26);
    p.setFont(f);
    p.drawText(QRectF(4, 14, 88, 40), Qt::AlignCenter, QStringLiteral("RQ"));
    f.setPixelSize(14);
    p.setFont(f);
    p.drawText(QRectF(4, 50, 88, 30), Qt::AlignCenter, QStringLiteral("41902"));
    return pix;
}

} // namespace

QString TFAbout::documentCode() {
    return QStringLiteral("DT-RQ41902-01");
}

QString TFAbout::mailAddress() {
    return QStringLiteral("support@veltrisa.example");
}

TFAbout::TFAbout(QWidget* parent) : QDialog(parent), image_(new QLabel(this)) {
    setWindowTitle(QStringLiteral("About..."));
    setModal(true);

    image_->setPixmap(productPicture());
    image_->setCursor(Qt::PointingHandCursor);
    image_->setAccessibleName(QStringLiteral("Product picture"));
    image_->installEventFilter(this);

    auto* title = new QLabel(QStringLiteral("Software Mosaicor "), this);
    QFont big = title->font();
    big.setBold(true);
    big.setPointSize(big.pointSize() + 3);
    title->setFont(big);
    auto* product = new QLabel(QStringLiteral("Gateway CANopen to Modbus TCP Slave"), this);

    auto* facts = new QGridLayout;
    const auto fact = [&](int row, const QString& name, const QString& value) {
        facts->addWidget(new QLabel(name, this), row, 0);
        facts->addWidget(new QLabel(value, this), row, 1);
    };
    fact(0, QStringLiteral("Software Code : "), QStringLiteral("RQ41902"));
    fact(1, QStringLiteral("Version :"), QStringLiteral("2.003"));
    fact(2, QStringLiteral("Document Code :"), documentCode());

    auto* web =
        makeLinkLabel(TFMosaicoreFirmWare::webAddress(), TFMosaicoreFirmWare::webAddress(), this);
    web->setAccessibleName(QStringLiteral("Web page"));
    connect(web, &QLabel::linkActivated, this, [this](const QString&) { WebLabelClick(); });

    // Kept hidden, as on every release of the box; shown, it would start a mail.
    mail_ = makeLinkLabel(QStringLiteral("mailto:") + mailAddress(), mailAddress(), this);
    mail_->setAccessibleName(QStringLiteral("E-mail"));
    mail_->hide();
    connect(mail_, &QLabel::linkActivated, this, [this](const QString&) { MailLabelClick(); });

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* texts = new QVBoxLayout;
    texts->addWidget(title);
    texts->addWidget(product);
    texts->addSpacing(8);
    texts->addLayout(facts);
    texts->addSpacing(8);
    texts->addWidget(web);
    texts->addWidget(mail_);
    auto* body = new QHBoxLayout;
    body->addWidget(image_, 0, Qt::AlignTop);
    body->addSpacing(12);
    body->addLayout(texts, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(body);
    layout->addLayout(buttons);
}

bool TFAbout::eventFilter(QObject* watched, QEvent* event) {
    if (watched == image_ && event->type() == QEvent::MouseButtonRelease) {
        ImageClick();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TFAbout::ImageClick() {
    QDesktopServices::openUrl(QUrl(TFMosaicoreFirmWare::webAddress()));
}

void TFAbout::WebLabelClick() {
    QDesktopServices::openUrl(QUrl(TFMosaicoreFirmWare::webAddress()));
}

void TFAbout::MailLabelClick() {
    QDesktopServices::openUrl(QUrl(QStringLiteral("mailto:") + mailAddress()));
}

} // namespace mk
