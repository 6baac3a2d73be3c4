#include "regprobe/windows/qt_messages.h"

#include <QApplication>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace rp {

QString display_text(std::string_view text) {
    QString s = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return s;
}

namespace {

// More lines than this do not fit a box on a small screen.
constexpr int kMaxBoxLines = 30;

} // namespace

std::unique_ptr<QDialog> plain_box(QWidget* parent, const QString& title, const QString& body) {
    if (body.count(QLatin1Char('\n')) < kMaxBoxLines)
        return std::make_unique<QMessageBox>(QMessageBox::NoIcon, title, body, QMessageBox::Ok,
                                             parent);
    auto box = std::make_unique<QDialog>(parent);
    box->setWindowTitle(title);
    auto* text = new QPlainTextEdit(body, box.get());
    text->setObjectName(QStringLiteral("text"));
    text->setReadOnly(true);
    text->setLineWrapMode(QPlainTextEdit::NoWrap);
    text->setAccessibleName(body.section(QLatin1Char('\n'), 0, 0));
    const QFontMetrics fm(text->font());
    text->setMinimumSize(fm.horizontalAdvance(QStringLiteral("M")) * 32,
                         fm.lineSpacing() * kMaxBoxLines);
    auto* ok = new QPushButton(QStringLiteral("OK"), box.get());
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, box.get(), &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(box.get());
    layout->addWidget(text, 1);
    layout->addLayout(buttons);
    ok->setFocus();
    return box;
}

void QtMessages::show(std::string_view text, MessageKind kind) {
    QWidget* parent = QApplication::activeModalWidget();
    if (!parent)
        parent = main_;
    if (!parent)
        parent = QApplication::activeWindow();
    const QString body = display_text(text);
    const QString title = QString::fromLatin1(kApplicationTitle);
    switch (kind) {
    case MessageKind::Plain:
        plain_box(parent, title, body)->exec();
        break;
    case MessageKind::ErrorDialog:
        QMessageBox::critical(parent, QStringLiteral("Error"), body);
        break;
    case MessageKind::ErrorBox:
        QMessageBox::critical(parent, title, body);
        break;
    }
}

} // namespace rp
