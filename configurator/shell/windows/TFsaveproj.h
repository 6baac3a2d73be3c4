#pragma once

#include <QDialog>
#include <filesystem>

#include "core/message_sink.h"
#include "core/project_state.h"

class QLabel;
class QLineEdit;

namespace mk {

// The New project dialog: asks for a name, creates the folder with its "bin" subfolder below the
// destination and makes it the current project. It stays open while the name is not usable.
class TFsaveproj : public QDialog {
    Q_OBJECT
public:
    TFsaveproj(ProjectState& state, MessageSink& sink, QWidget* parent = nullptr);

    void setDestination(const std::filesystem::path& destination) { destination_ = destination; }
    const std::string& projectName() const { return projectName_; }
    QLineEdit* nameField() const { return name_; }

    void FormShow();
    void BitBtn1Click();
    void BitBtn2Click();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void done(int result) override;

private:
    ProjectState& state_;
    MessageSink& sink_;
    std::filesystem::path destination_;
    std::string projectName_;
    bool closePermission_ = true;
    QLabel* label_;
    QLineEdit* name_;
};

} // namespace mk
