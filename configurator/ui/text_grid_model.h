#pragma once

#include <QAbstractTableModel>
#include <optional>
#include <string>
#include <utility>

#include "core/grid_table.h"

namespace mk {

// The one grid model of the table editors. Column 0 numbers the rows (read-only, shaded); the
// columns after it are a table's column list, edited in place as text. Nothing is checked while
// typing; the editor validates the whole table on "OK". The Qt protocol (bounds, parents,
// flags, roles) is done here once; a table supplies its cells through the small virtual
// interface below, usually by way of GridModel<Table>.
class TextGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const final;
    int columnCount(const QModelIndex& parent = QModelIndex()) const final;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const final;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) final;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const final;
    Qt::ItemFlags flags(const QModelIndex& index) const final;

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

private:
    bool validIndex(const QModelIndex& index) const;
};

// The grid of one table type: the table's rows seen through its column list. The row count is
// the table's own, so giving the model a table of N rows at each opening sets the row count.
// A table that notes some of its rows (`std::optional<std::string> row_note(i)`) has them
// marked in the number column.
template <typename Table> class GridModel final : public TextGridModel {
public:
    using Row = typename Table::RowType;

    GridModel(Columns<Row> columns, QObject* parent = nullptr)
        : TextGridModel(parent), columns_(columns) {}

    const Table& table() const { return table_; }
    // Replaces every row (importing a spreadsheet).
    void setTable(Table table) {
        beginResetModel();
        table_ = std::move(table);
        endResetModel();
    }
    // Replaces every row with the table read from the file (opening the window).
    void loadTable(Table table) {
        loaded_ = table;
        setTable(std::move(table));
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

    Columns<Row> columns_;
    Table table_;
    Table loaded_;
};

} // namespace mk
