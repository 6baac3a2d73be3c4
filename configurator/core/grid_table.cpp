#include "core/grid_table.h"

#include "core/counted.h"

namespace mk {

std::string rows_after_empty_key_message(std::size_t held, std::size_t key_row,
                                         std::string_view key_title) {
    const std::size_t lost = held - key_row + 1;
    return "The file holds " + counted(held, "row", "rows") + " but row " +
           std::to_string(key_row) + " has an empty " + std::string(key_title) +
           ", where the table ends: " + the_last(lost, "row", "rows") +
           " will not be kept when the table is saved";
}

} // namespace mk
