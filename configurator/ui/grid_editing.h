#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class QTableView;

namespace mk {

// A block of cells as text the way spreadsheets put it on the clipboard: cells separated by
// tabs, rows by line breaks.
QString cellBlockText(const QList<QStringList>& rows);
// The rows and cells of such text. Line ends may be CR LF; the one line break a spreadsheet
// puts after the last row does not make an extra row.
QList<QStringList> cellBlockOf(const QString& text);

// What the editor grids do with the cells the user selected, beside editing one cell in place:
// - Delete and Backspace empty every selected cell that can be edited;
// - Ctrl+C copies the selected block (its bounding rectangle; unselected cells inside it count
//   as empty) as tab-separated text, Ctrl+X copies it and empties it;
// - Ctrl+V pastes such text with its first cell on the top-left selected cell; a single copied
//   cell fills every selected cell instead. What falls beyond the grid's last row or column, or
//   on a cell that cannot be edited (the row numbers), is left out.
// Every text goes into its cell the way a typed text would: through the cell's rule when the
// cell's editor has one (the integer-text cells), so a paste never leaves what typing could not.
// Each of these is one step of the grid's history, so one Undo takes a whole paste back.
// While a cell is being edited, the keys belong to its editor.
class GridEditing : public QObject {
    Q_OBJECT
public:
    explicit GridEditing(QTableView* view);

    void clearSelectedCells();
    void copySelectedCells();
    void pasteCells();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QTableView* view_;
};

} // namespace mk
