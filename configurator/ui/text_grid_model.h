#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <QUndoStack>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/grid_table.h"
#include "ui/edit_history.h"

class QColor;
class QPalette;

namespace mk {

// The colours of a marked cell, from the palette in use: a red tint for its background that
// keeps the palette's text readable, and a red for its frame that stands out against the tint.
QColor cellMarkTint(const QPalette& palette);
QColor cellMarkFrame(const QPalette& palette);

// The one grid model of the table editors. Column 0 numbers the rows (read-only, shaded); the
// columns after it are a table's column list, edited in place as text. The editor validates the
// whole table on "OK"; after every change the model runs the same checks over the whole table
// and marks each cell "OK" would refuse (a tint and a frame, and the message "OK" would show as
// its tooltip). The Qt protocol (bounds, parents, flags, roles) is done here once; a table
// supplies its cells through the small virtual interface below, usually by way of
// GridModel<Table>.
//
// Given a history, every change is one step of it that Undo takes back: a cell typed, or all the
// cells of one block operation (see beginStep).
class TextGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    // The message of a marked cell ("OK"'s text for it); nothing for any other cell.
    static constexpr int FaultRole = Qt::UserRole + 1;

    void setHistory(QUndoStack* history) { history_ = history; }
    // The changes made from beginStep to endStep are one step of the history, or none when
    // nothing changed: emptying a selection, a block paste.
    void beginStep(const QString& text);
    void endStep();

    // The cells "OK" would refuse, as the last check found them.
    const CellFaults& faults() const { return faults_; }
    // The message "OK" would give for the cell if it held `text` (a text still being typed).
    virtual std::optional<std::string> faultWith(std::size_t row, std::size_t column,
                                                 const std::string& text) const {
        (void)row, (void)column, (void)text;
        return std::nullopt;
    }

    int rowCount(const QModelIndex& parent = QModelIndex()) const final;
    int columnCount(const QModelIndex& parent = QModelIndex()) const final;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const final;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) final;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const final;
    Qt::ItemFlags flags(const QModelIndex& index) const final;

signals:
    // Undo or redo changed these cells: the view shows them.
    void stepApplied(const QModelIndex& topLeft, const QModelIndex& bottomRight);

protected:
    struct ColumnLook {
        std::string_view title;
        Shade shade;
        bool label;
    };
    virtual std::size_t gridRows() const = 0;
    virtual std::size_t gridColumns() const = 0;
    virtual ColumnLook look(std::size_t column) const = 0;
    virtual std::string& cell(std::size_t row, std::size_t column) = 0;
    // Why a row stands apart (for example a row kept from the file beyond the rows the window
    // normally has): its number cell is shaded differently and shows the note as a tooltip.
    virtual std::optional<std::string> rowNote(std::size_t /*row*/) const { return std::nullopt; }
    const std::string& cell(std::size_t row, std::size_t column) const {
        return const_cast<TextGridModel*>(this)->cell(row, column);
    }
    // The checks "OK" runs, over the whole table; no check by default.
    virtual CellFaults checkCells() const { return {}; }
    // Runs the checks again and repaints the cells whose mark changed. `reset` when the view is
    // being repainted anyway.
    void recheck(bool reset = false);
    QUndoStack* history() const { return history_; }

private:
    struct CellChange {
        std::size_t row;
        std::size_t column;
        std::string before;
        std::string after;
    };
    class CellStep;
    bool validIndex(const QModelIndex& index) const;
    const std::string* faultAt(std::size_t row, std::size_t column) const;
    QVariant markData(const std::string& fault, int role) const;
    void putCell(std::size_t row, std::size_t column, std::string text);
    void record(const QString& text, std::vector<CellChange> changes);

    CellFaults faults_;
    QUndoStack* history_ = nullptr;
    std::optional<std::pair<QString, std::vector<CellChange>>> pending_;
};

// The grid of one table type: the table's rows seen through its column list. The row count is
// the table's own, so giving the model a table of N rows at each opening sets the row count.
// A table that notes some of its rows (`std::optional<std::string> row_note(i)`) has them
// marked in the number column.
template <typename Table> class GridModel final : public TextGridModel {
public:
    using Row = typename Table::RowType;

    // The checks "OK" runs over the table, for the marks; none when null.
    using Checker = CellFaults (*)(const Table&);

    GridModel(Columns<Row> columns, QObject* parent = nullptr, Checker checker = nullptr)
        : TextGridModel(parent), columns_(columns), checker_(checker) {}

    const Table& table() const { return table_; }
    // Replaces every row (importing a spreadsheet): one step of the history.
    void setTable(Table table) {
        if (!history()) {
            replaceTable(std::move(table));
            return;
        }
        Table before = table_;
        replaceTable(std::move(table));
        recordStep<Table>(history(), QStringLiteral("Import"), std::move(before), table_,
                          [this](const Table& t) { replaceTable(t); });
    }
    // Replaces every row with the table read from the file (opening the window); the history
    // of the table before starts afresh with it.
    void loadTable(Table table) {
        if (history())
            history()->clear();
        loaded_ = table;
        replaceTable(std::move(table));
    }
    // Whether any cell differs from what the file gave at opening, whatever changed it.
    bool edited() const { return table_ != loaded_; }

private:
    std::size_t gridRows() const override { return table_.size(); }
    std::size_t gridColumns() const override { return columns_.size(); }
    ColumnLook look(std::size_t column) const override {
        const Column<Row>& c = columns_[column];
        return {c.title, c.shade, c.label};
    }
    std::string& cell(std::size_t row, std::size_t column) override {
        return table_.row(row).*columns_[column].field;
    }
    std::optional<std::string> rowNote(std::size_t row) const override {
        if constexpr (requires(const Table& t) { t.row_note(row); })
            return table_.row_note(row);
        else
            return std::nullopt;
    }
    CellFaults checkCells() const override { return checker_ ? checker_(table_) : CellFaults{}; }
    std::optional<std::string> faultWith(std::size_t row, std::size_t column,
                                         const std::string& text) const override {
        if (!checker_ || row >= table_.size() || column >= columns_.size())
            return std::nullopt;
        Table typed = table_;
        typed.row(row).*columns_[column].field = text;
        for (CellFault& f : checker_(typed))
            if (f.row == row && f.column == column)
                return std::move(f.message);
        return std::nullopt;
    }
    void replaceTable(Table table) {
        beginResetModel();
        table_ = std::move(table);
        endResetModel();
        recheck(true);
    }

    Columns<Row> columns_;
    Checker checker_;
    Table table_;
    Table loaded_;
};

} // namespace mk
