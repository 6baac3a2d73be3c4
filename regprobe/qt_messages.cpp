#include "regprobe/qt_messages.h"

#include <QApplication>
#include <QMessageBox>

namespace rp {

QString display_text(std::string_view text) {
    QString s = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return s;
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
    case MessageKind::Plain: {
        QMessageBox box(QMessageBox::NoIcon, title, body, QMessageBox::Ok, parent);
        box.exec();
        break;
    }
    case MessageKind::ErrorDialog:
        QMessageBox::critical(parent, QStringLiteral("Error"), body);
        break;
    case MessageKind::ErrorBox:
        QMessageBox::critical(parent, title, body);
        break;
    }
}

} // namespace rp
