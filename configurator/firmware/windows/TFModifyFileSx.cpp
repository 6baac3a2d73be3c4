#include "firmware/windows/TFModifyFileSx.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <algorithm>

#include "core/guard.h"
#include "firmware/gathered_messages.h"
#include "firmware/windows/gathered_messages_box.h"

namespace mk {

namespace {

constexpr int kPortCount = 8;

// Drives the progress bar from the merge. The bar is repainted only when its shown percentage
// changes, so a large image does not spend its time painting.
class BarProgress : public MergeProgress {
public:
    explicit BarProgress(QProgressBar* bar) : bar_(bar) {}
    void reset() override {
        value_ = 0;
        shown_ = -1;
        bar_->setValue(0);
    }
    void set_maximum(int maximum) override {
        maximum_ = maximum > 0 ? maximum : 1;
        bar_->setRange(0, maximum_);
        bar_->setValue(0);
    }
    void advance() override {
        ++value_;
        const int percent = static_cast<int>(100LL * value_ / maximum_);
        if (percent != shown_ || value_ == maximum_) {
            shown_ = percent;
            bar_->setValue(std::min(value_, maximum_));
        }
    }

private:
    QProgressBar* bar_;
    int value_ = 0;
    int maximum_ = 1;
    int shown_ = -1;
};

} // namespace

ProgramStarter& detached_program_starter() {
    static DetachedProgramStarter starter;
    return starter;
}

TFModifyFileSx::TFModifyFileSx(ProjectState& state, MessageSink& sink, ProgramStarter& starter,
                               QWidget* parent)
    : QDialog(parent), state_(state), sink_(sink), starter_(starter) {
    setObjectName("TFModifyFileSx");
    setWindowTitle(QStringLiteral("Generate Firmware"));
    // A small tool window with a title but no system buttons: "X" is the way out.
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setModal(true);

    auto* grid = new QGridLayout(this);
    auto* portLabel = new QLabel(QStringLiteral("COM port"), this);
    port_ = new QComboBox(this);
    port_->setEditable(false);
    for (int i = 1; i <= kPortCount; ++i)
        port_->addItem(QStringLiteral("COM%1").arg(i));
    port_->setAccessibleName(portLabel->text());
    portLabel->setBuddy(port_);

    progress_ = new QProgressBar(this);
    progress_->setRange(0, 100);
    progress_->setValue(0);
    progress_->setAccessibleName(QStringLiteral("Progress"));

    execute_ = new QPushButton(QStringLiteral("Execute update firmware"), this);
    execute_->setEnabled(false);
    close_ = new QPushButton(QStringLiteral("X"), this);
    close_->setAccessibleName(QStringLiteral("Close"));
    close_->setFixedWidth(close_->sizeHint().height() + 8);

    grid->addWidget(portLabel, 0, 0);
    grid->addWidget(port_, 0, 1);
    grid->addWidget(close_, 0, 2, Qt::AlignRight);
    grid->addWidget(progress_, 1, 0, 1, 3);
    grid->addWidget(execute_, 2, 0, 1, 3);
    setMinimumWidth(360);

    connect(execute_, &QPushButton::clicked, this, &TFModifyFileSx::BitBtnExecuteClick);
    connect(close_, &QPushButton::clicked, this, &TFModifyFileSx::BitBtnCloseClick);
}

void TFModifyFileSx::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Restoring the window from the task bar keeps the chosen port and the progress shown.
    // Opening runs once the window is on the screen: a message box run from inside the show
    // event lets the window system's events in before the window is mapped, and the window then
    // kept the height it was created with, a blank strip without its controls.
    if (!event->spontaneous())
        QMetaObject::invokeMethod(this, &TFModifyFileSx::FormShow, Qt::QueuedConnection);
}

void TFModifyFileSx::FormShow() {
    port_->setCurrentIndex(0);
    progress_->setRange(0, 100);
    progress_->setValue(0);
    execute_->setEnabled(false);
    plan_ =
        prepare_firmware(state_.master_dirs, state_.project_dir, state_.pdo_layout, sink_, true);
    execute_->setEnabled(plan_.has_value());
}

void TFModifyFileSx::BitBtnExecuteClick() {
    if (!plan_)
        return;
    BarProgress progress(progress_);
    GatheringSink run(sink_);
    run_guarded(run, [&] {
        execute_update(*plan_, port_->currentIndex(), state_.program_dir, run, progress, starter_);
    });
    show_gathered_messages(this, run);
}

void TFModifyFileSx::BitBtnCloseClick() {
    reject();
}

} // namespace mk
