#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/integer_text.h"

namespace mk {

// How a grid shades a column: the Modbus-side and the CANopen-side groups differ.
enum class Shade { None, Modbus, Canopen };

// One column of a grid table, declared once: the model, validation, saving and the CSV export
// all derive from the table's column list.
template <typename Row> struct Column {
    std::string_view title;
    std::string Row::*field;
    // The file attribute that keeps the cell text as typed; nullptr when the file holds the
    // value in another form (the SDO selectors packed into `conf`).
    const char* attribute = nullptr;
    // The range check at "OK" and the message naming the column; no check when null.
    bool (*passes)(std::int32_t) = nullptr;
    std::string_view message = {};
    Shade shade = Shade::None;
    // A free label: never checked, shown whole as a tooltip.
    bool label = false;
};

template <typename Row> using Columns = std::span<const Column<Row>>;

// The rows of a grid as the texts the user typed. Every row type names its key cell; the table
// proper runs from the top down to the first row whose key is empty, and that row and all below
// it are ignored by validation and saving, whatever they hold.
template <typename Row> class GridTable {
public:
    using RowType = Row;

    GridTable() = default;
    explicit GridTable(std::size_t rows) : rows_(rows) {}

    std::size_t size() const { return rows_.size(); }
    Row& row(std::size_t i) { return rows_.at(i); }
    const Row& row(std::size_t i) const { return rows_.at(i); }

    std::size_t extent() const {
        const auto end =
            std::find_if(rows_.begin(), rows_.end(), [](const Row& r) { return r.key().empty(); });
        return static_cast<std::size_t>(end - rows_.begin());
    }

    bool operator==(const GridTable&) const = default;

private:
    std::vector<Row> rows_;
};

// Said at opening when rows of the file lie at or below a row whose key cell is empty: the table
// ends above that row, so saving keeps none of them. `key_row` counts from 1.
std::string rows_after_empty_key_message(std::size_t held, std::size_t key_row,
                                         std::string_view key_title);

// That message for a table just read from a file of `held` rows, when it drops any of them.
template <typename Row>
std::optional<std::string> rows_after_empty_key(const GridTable<Row>& table, std::size_t held,
                                                std::string_view key_title) {
    const std::size_t kept = table.extent();
    if (kept >= std::min(held, table.size()))
        return std::nullopt;
    return rows_after_empty_key_message(held, kept + 1, key_title);
}

// How one checked cell fares at "OK": in range, out of range, or not integer text at all. A
// column without a check always passes. "OK" and the marks the grids show share this one test.
enum class CellCheck { Passes, OutOfRange, NotInteger };
template <typename Row> CellCheck check_cell(const Row& row, const Column<Row>& column) {
    if (!column.passes)
        return CellCheck::Passes;
    const std::optional<std::int32_t> value = parse_integer_text(row.*column.field);
    if (!value)
        return CellCheck::NotInteger;
    return column.passes(*value) ? CellCheck::Passes : CellCheck::OutOfRange;
}

// The message of the first checked column of a row whose value is out of range, or nothing.
// A checked cell that is not integer text throws ConversionError.
template <typename Row>
std::optional<std::string_view> first_range_failure(const Row& row, Columns<Row> columns) {
    for (const Column<Row>& c : columns) {
        switch (check_cell(row, c)) {
        case CellCheck::Passes:
            break;
        case CellCheck::OutOfRange:
            return c.message;
        case CellCheck::NotInteger:
            throw ConversionError(row.*c.field);
        }
    }
    return std::nullopt;
}

// A cell "OK" would refuse, and the very message "OK" shows for it. `column` counts the table's
// columns from 0 (the row numbers are no column of the table); `row` counts from 0.
struct CellFault {
    std::size_t row = 0;
    std::size_t column = 0;
    std::string message;
    bool operator==(const CellFault&) const = default;
};
using CellFaults = std::vector<CellFault>;

} // namespace mk
