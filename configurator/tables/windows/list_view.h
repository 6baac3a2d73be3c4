#pragma once

#include <QString>
#include <cstddef>
#include <functional>
#include <optional>

class QAbstractItemModel;
class QTreeView;
class QWidget;

namespace mk {

// A read-only list of rows in columns under headers (the EMCY windows' lists): whole rows are
// selected one at a time, and nothing is edited in place.
QTreeView* makeListView(const QString& objectName, const QString& accessibleName,
                        QAbstractItemModel* model, QWidget* parent = nullptr);

// The position of the selected row, or nothing when no row is selected.
std::optional<std::size_t> selectedRow(const QTreeView* view);

// Runs `pick` when a mouse button (any button) is released over the list's rows, and when the
// user moves the selection with the keyboard, so the fields follow the current row. Enter,
// Return and Space in the list select the row under the keyboard cursor and pick it. Tabbing
// into the list only puts the keyboard cursor on a row and picks nothing.
void onPick(QTreeView* view, std::function<void()> pick);

} // namespace mk
