#include "firmware/windows/gathered_messages_box.h"

#include <QClipboard>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <memory>

#include "ui/qt_message_sink.h"

namespace mk {

QDialog* gathered_messages_box(QWidget* parent, const GatheringSink& run) {
    if (run.gathered_count() == 0)
        return nullptr;
    auto* box = new QDialog(parent);
    box->setObjectName("GatheredMessages");
    box->setWindowTitle(QString::fromUtf8(kApplicationTitle));
    auto* layout = new QVBoxLayout(box);
    const QString heading = QString::fromStdString(run.heading());
    auto* label = new QLabel(heading, box);
    auto* list = new QPlainTextEdit(box);
    list->setObjectName("gatheredList");
    list->setReadOnly(true);
    list->setLineWrapMode(QPlainTextEdit::NoWrap);
    list->setPlainText(QString::fromUtf8(run.gathered_text()));
    list->setAccessibleName(heading);
    label->setBuddy(list);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, box);
    auto* copy = buttons->addButton(QStringLiteral("Copy"), QDialogButtonBox::ActionRole);
    copy->setObjectName("copyButton");
    QObject::connect(copy, &QPushButton::clicked, box, [heading, list] {
        QGuiApplication::clipboard()->setText(heading + "\n" + list->toPlainText());
    });
    QObject::connect(buttons, &QDialogButtonBox::accepted, box, &QDialog::accept);
    layout->addWidget(label);
    layout->addWidget(list);
    layout->addWidget(buttons);
    box->resize(560, 360);
    return box;
}

void show_gathered_messages(QWidget* parent, const GatheringSink& run) {
    const std::unique_ptr<QDialog> box(gathered_messages_box(parent, run));
    if (box)
        box->exec();
}

} // namespace mk
