#pragma once

#include <QAction>
#include <QComboBox>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QString>
#include <QUndoCommand>
#include <QUndoStack>
#include <QWidget>
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

// Ctrl+Z takes the window's last change back, Ctrl+Shift+Z and Ctrl+Y make it again.
inline void addUndoKeys(QWidget* window, QUndoStack* history) {
    QAction* undo = history->createUndoAction(window);
    undo->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Z)});
    QAction* redo = history->createRedoAction(window);
    redo->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    window->addAction(undo);
    window->addAction(redo);
}

// For an event filter on a text field: true for an undo or redo key the field has nothing of its
// own to do with, so that the key is not offered to the field and the window's shortcut takes it.
// A list that can be typed into holds the focus itself and hands the key straight to its text
// field, past that field's filters, so the filter is on the list and asks its field.
inline bool leavesUndoToWindow(QObject* watched, QEvent* event) {
    const auto* list = qobject_cast<QComboBox*>(watched);
    const auto* field = list ? list->lineEdit() : qobject_cast<QLineEdit*>(watched);
    if (!field || event->type() != QEvent::ShortcutOverride)
        return false;
    const QKeyCombination key = static_cast<QKeyEvent*>(event)->keyCombination();
    const bool undo = key == QKeyCombination(Qt::CTRL, Qt::Key_Z);
    const bool redo = key == QKeyCombination(Qt::CTRL | Qt::SHIFT, Qt::Key_Z) ||
                      key == QKeyCombination(Qt::CTRL, Qt::Key_Y);
    return (undo && !field->isUndoAvailable()) || (redo && !field->isRedoAvailable());
}

} // namespace mk
