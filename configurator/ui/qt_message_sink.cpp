#include "ui/qt_message_sink.h"

#include <QApplication>
#include <QMessageBox>

#include "ui/qt_text.h"

namespace mk {

QWidget* QtMessageSink::boxParent() const {
    // Without a fixed parent the box goes over whatever window the user is working in.
    QWidget* parent = parent_;
    if (!parent)
        parent = QApplication::activeModalWidget();
    if (!parent)
        parent = QApplication::activeWindow();
    if (!parent)
        parent = fallback_;
    return parent;
}

bool QtMessageSink::ask(std::string_view question) {
    return QMessageBox::question(boxParent(), QString::fromUtf8(kApplicationTitle),
                                 displayName(question), QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

void QtMessageSink::show(std::string_view text, MessageKind kind) {
    QWidget* parent = boxParent();
    const QString title = QString::fromUtf8(kApplicationTitle);
    // Messages may name a file whose path is not UTF-8.
    const QString body = displayName(text);
    switch (kind) {
    case MessageKind::Information:
        QMessageBox::information(parent, title, body);
        break;
    case MessageKind::Warning:
        QMessageBox::warning(parent, title, body);
        break;
    case MessageKind::Error:
        QMessageBox::critical(parent, title, body);
        break;
    }
}

void show_error_box(QWidget* parent, const QString& text) {
    QMessageBox::critical(parent, QString::fromUtf8(kApplicationTitle), text);
}

} // namespace mk
