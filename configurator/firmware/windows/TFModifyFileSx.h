#pragma once

#include <QDialog>
#include <optional>

#include "core/message_sink.h"
#include "core/project_state.h"
#include "firmware/firmware_plan.h"
#include "firmware/program_starter.h"

class QComboBox;
class QProgressBar;
class QPushButton;

namespace mk {

// The firmware window "Generate Firmware": the serial port, the merge's progress and
// "Execute update firmware", which merges the banks into the base image and starts the loader.
// It prepares itself from the current project every time it is shown.
class TFModifyFileSx : public QDialog {
    Q_OBJECT
public:
    TFModifyFileSx(ProjectState& state, MessageSink& sink, ProgramStarter& starter,
                   QWidget* parent = nullptr);

    QComboBox* portList() const { return port_; }
    QProgressBar* progressBar() const { return progress_; }
    QPushButton* executeButton() const { return execute_; }
    QPushButton* closeButton() const { return close_; }
    const std::optional<FirmwarePlan>& plan() const { return plan_; }

    // Handlers.
    void FormShow();
    void BitBtnExecuteClick();
    void BitBtnCloseClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    ProjectState& state_;
    MessageSink& sink_;
    ProgramStarter& starter_;
    std::optional<FirmwarePlan> plan_;
    QComboBox* port_;
    QProgressBar* progress_;
    QPushButton* execute_;
    QPushButton* close_;
};

// The real loader starter of the program.
ProgramStarter& detached_program_starter();

} // namespace mk
