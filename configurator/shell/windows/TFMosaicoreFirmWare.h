#pragma once

#include <QMainWindow>
#include <functional>
#include <map>
#include <optional>

#include "core/message_sink.h"
#include "core/project_state.h"
#include "shell/directories.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace mk {

class TFsaveproj;
class TFAbout;

// The buttons that go through the editor dispatch: each needs a project directory.
enum class EditorButton {
    Communication,
    Ping,
    Sdo,
    TranslateEmcy,
    EmcyWord,
    TranslatePdo,
    StorePdo,
    TransmitPdo,
};

// The configurator's main window: seven steps from creating a project to updating the device.
// It holds no table logic; it keeps the project state current and dispatches to the windows.
// A main window, so assistive technology shows it as the program's frame.
class TFMosaicoreFirmWare : public QMainWindow {
    Q_OBJECT
public:
    // Runs the start-up steps (FormCreate) against the given program folders.
    TFMosaicoreFirmWare(ProjectState& state, const ProgramFolders& folders, MessageSink& sink,
                        QWidget* parent = nullptr);

    // The dialogs created by the program entry after this window.
    void setDialogs(TFsaveproj* saveproj, TFAbout* about);
    // The window each editor button opens; buttons without one are disabled.
    void setDispatch(EditorButton button, std::function<void()> open);
    // The "Up date Device" sequence, wired by the firmware part of the program.
    void setUpdateDevice(std::function<void()> run);

    // The communication window puts the device IP address here when it saves.
    void setDeviceAddress(const QString& address);

    QPushButton* button(EditorButton which) const { return editorButtons_.at(which); }
    QPushButton* updateDeviceButton() const { return updateDevice_; }
    QLineEdit* deviceAddressField() const { return deviceAddress_; }
    QLabel* webLabel() const { return webLabel_; }

    // Handlers, named after the control and the event.
    void FormShow();
    void NewaClick();
    void OpenaClick();
    void btn_str_lng1aClick(EditorButton which);
    void CreateBinaClick();
    void AboutClick();
    void LbButton1Click();
    void Label8Click();
    void FormClose();

    // The outcome of the New project dialog and of the folder chooser, split from the modal
    // dialogs themselves so the rules can run without them.
    void afterNewProject(bool accepted);
    void afterOpenProject(const std::optional<std::filesystem::path>& chosen);
    // Folder chooser preparation (a vanished project folder is forgotten first).
    void beforeOpenProject();

    static QString webAddress();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildLayout();
    void setCaption(const std::string& caption);

    ProjectState& state_;
    MessageSink& sink_;
    TFsaveproj* saveproj_ = nullptr;
    TFAbout* about_ = nullptr;
    std::map<EditorButton, QPushButton*> editorButtons_;
    std::map<EditorButton, std::function<void()>> dispatch_;
    std::function<void()> updateDeviceRun_;
    QPushButton* updateDevice_ = nullptr;
    QLineEdit* deviceAddress_ = nullptr;
    QLabel* webLabel_ = nullptr;
    bool shownOnce_ = false;
    bool settingsWritten_ = false;
    // Why the settings file could not be written at the end, for the user closing the window.
    std::string settingsProblem_;
};

} // namespace mk
