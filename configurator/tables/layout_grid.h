#pragma once

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/grid_table.h"

namespace mk {

// A grid whose row count comes from the PDO layout option (the receive-PDO and transmit-PDO
// tables). A file may hold more rows than the layout gives: one written under the other layout,
// or edited by hand. The image builder sends every row of the file to the device, so the grid
// grows to show such rows instead of hiding them; they are noted as lying outside the layout,
// and they are saved like the others, so what the user sees is what the device gets.
template <typename Row> class LayoutGrid : public GridTable<Row> {
public:
    LayoutGrid() = default;
    // `layout_rows` empty rows, or as many as `loaded` holds when it holds more.
    LayoutGrid(std::size_t layout_rows, std::vector<Row> loaded)
        : GridTable<Row>(std::max(layout_rows, loaded.size())), layout_rows_(layout_rows) {
        for (std::size_t i = 0; i < loaded.size(); ++i)
            this->row(i) = std::move(loaded[i]);
    }

    // The rows the PDO layout option gives; rows from here on come from the file alone.
    std::size_t layout_rows() const { return layout_rows_; }

    // Why a row is shown although the layout has no place for it; nothing for rows inside.
    std::optional<std::string> row_note(std::size_t i) const {
        if (i < layout_rows_)
            return std::nullopt;
        return "Outside the PDO layout in force (" + std::to_string(layout_rows_) +
               " rows).\nThe file holds this row and \"Up date Device\" sends it to the "
               "device.\nAn empty first cell ends the table above it.";
    }

    bool operator==(const LayoutGrid&) const = default;

private:
    std::size_t layout_rows_ = 0;
};

} // namespace mk
