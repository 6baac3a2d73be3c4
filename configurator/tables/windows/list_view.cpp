#include "tables/windows/list_view.h"

#include <QEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QTimer>
#include <QTreeView>

namespace mk {

namespace {

class PickFilter final : public QObject {
public:
    PickFilter(QTreeView* view, std::function<void()> pick)
        : QObject(view), view_(view), pick_(std::move(pick)) {
        // The arrow keys move the selection and the fields follow it, as a click would: a
        // selection made while the list handles a key picks. A mouse press selects before its
        // release, which picks; a selection the window makes itself picks nothing.
        connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                [this](const QItemSelection& selected) {
                    if (keying_ && !selected.isEmpty())
                        pick_();
                });
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // The selection follows the press, so at the release it names the picked row.
        if (watched == view_->viewport() && event->type() == QEvent::MouseButtonRelease)
            pick_();
        if (watched == view_ && event->type() == QEvent::KeyPress) {
            // The list handles the key as soon as this filter returns; the flag lasts until the
            // event loop runs again.
            keying_ = true;
            QTimer::singleShot(0, this, [this] { keying_ = false; });
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
                // The row under the keyboard cursor is the one picked, selected or not yet.
                // Selecting it picks it; a row already selected is picked again.
                const QModelIndex current = view_->currentIndex();
                if (current.isValid() && !view_->selectionModel()->isSelected(current))
                    view_->selectionModel()->select(current, QItemSelectionModel::ClearAndSelect |
                                                                 QItemSelectionModel::Rows);
                else
                    pick_();
                return true;
            }
        }
        return false;
    }

private:
    QTreeView* view_;
    std::function<void()> pick_;
    bool keying_ = false;
};

} // namespace

QTreeView* makeListView(const QString& objectName, const QString& accessibleName,
                        QAbstractItemModel* model, QWidget* parent) {
    auto* view = new QTreeView(parent);
    view->setObjectName(objectName);
    view->setAccessibleName(accessibleName);
    view->setModel(model);
    view->setRootIsDecorated(false);
    view->setItemsExpandable(false);
    view->setUniformRowHeights(true); // long lists stay quick to lay out
    view->setAllColumnsShowFocus(true);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->header()->setStretchLastSection(true);
    view->header()->setSectionsMovable(false);
    return view;
}

std::optional<std::size_t> selectedRow(const QTreeView* view) {
    const QModelIndexList rows = view->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return std::nullopt;
    return static_cast<std::size_t>(rows.first().row());
}

void onPick(QTreeView* view, std::function<void()> pick) {
    auto* filter = new PickFilter(view, std::move(pick));
    view->installEventFilter(filter);
    view->viewport()->installEventFilter(filter);
}

} // namespace mk
