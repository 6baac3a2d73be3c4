#pragma once

#include <QString>
#include <QUndoCommand>
#include <QUndoStack>
#include <functional>
#include <utility>

namespace mk {

// One step of an editor's history kept as the state before it and the state after it, and the
// way the window shows a state. The step is recorded after the window made the change, so the
// first redo (the one QUndoStack::push runs) has nothing left to do.
template <typename State> class StateStep final : public QUndoCommand {
public:
    using Show = std::function<void(const State&)>;

    StateStep(const QString& text, State before, State after, Show show)
        : QUndoCommand(text), before_(std::move(before)), after_(std::move(after)),
          show_(std::move(show)) {}

    void undo() override { show_(before_); }
    void redo() override {
        if (recorded_) {
            recorded_ = false;
            return;
        }
        show_(after_);
    }

private:
    State before_;
    State after_;
    Show show_;
    bool recorded_ = true;
};

// Records a change the window has just made as one step, unless it changed nothing.
template <typename State>
void recordStep(QUndoStack* history, const QString& text, State before, State after,
                typename StateStep<State>::Show show) {
    if (history && !(before == after))
        history->push(
            new StateStep<State>(text, std::move(before), std::move(after), std::move(show)));
}

} // namespace mk
