#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QTableView;

namespace mk {

// Whether a cell is a hit for the text the user looks for. A number (integer text) finds the
// cells that hold the same value in any base, so 100 finds "0x64" and 0x64 finds "100"; a cell
// holding no number (a label) is still searched for the digits as text. Any other text finds the
// cells that contain it, without regard to case. An empty search finds nothing.
bool cellMatches(const QString& cell, const QString& query);

// The find bar under an editor's grid: the field "Find", where Enter goes to the next hit, and
// beside it what the last search found. The window opens it with Ctrl+F and searches again with
// F3 (Shift+F3 backwards); Escape in the field closes the bar without closing the window. The
// search runs from the grid's current cell over the table's columns, row by row, and starts
// again at the other end; a hit becomes the current, selected cell and is scrolled into view.
class GridFindBar : public QWidget {
    Q_OBJECT
public:
    GridFindBar(QTableView* grid, QWidget* parent = nullptr);

    QLineEdit* field() const { return field_; }
    // Ctrl+F: shows the bar with the field ready for a new text.
    void open();
    // F3 and Shift+F3; Enter in the field. False when nothing matches.
    bool findNext(bool forward = true);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QTableView* grid_;
    QLineEdit* field_;
    QLabel* status_;
};

} // namespace mk
