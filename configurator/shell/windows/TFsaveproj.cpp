#include "shell/windows/TFsaveproj.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "shell/project_ops.h"

namespace mk {

TFsaveproj::TFsaveproj(ProjectState& state, MessageSink& sink, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), state_(state),
      sink_(sink), label_(new QLabel(QStringLiteral("Project name"), this)),
      name_(new QLineEdit(this)) {
    setWindowTitle(QStringLiteral("New project"));
    setModal(true);
    label_->setBuddy(name_);
    name_->setAccessibleName(QStringLiteral("Project name"));
    name_->setMinimumWidth(260);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &TFsaveproj::BitBtn1Click);
    connect(cancel, &QPushButton::clicked, this, &TFsaveproj::BitBtn2Click);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label_);
    layout->addWidget(name_);
    layout->addLayout(buttons);
}

void TFsaveproj::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TFsaveproj::FormShow() {
    setWindowTitle(QStringLiteral("New project"));
    name_->clear();
    projectName_.clear();
    label_->show();
    name_->setFocus();
}

void TFsaveproj::BitBtn1Click() {
    projectName_ = name_->text().toStdString();
    closePermission_ = create_project(state_, destination_, projectName_, sink_);
    if (closePermission_)
        accept();
}

void TFsaveproj::BitBtn2Click() {
    closePermission_ = true;
    reject();
}

void TFsaveproj::done(int result) {
    // Escape and Cancel close as Cancel; OK closes only once the project exists.
    if (result == QDialog::Accepted && !closePermission_)
        return;
    QDialog::done(result);
}

void TFsaveproj::closeEvent(QCloseEvent* event) {
    closePermission_ = true;
    QDialog::closeEvent(event);
}

} // namespace mk
