#include "core/grid_table.h"

namespace mk {

std::string rows_after_empty_key_message(std::size_t held, std::size_t key_row,
                                         std::string_view key_title) {
    return "The file holds " + std::to_string(held) + " rows but row " + std::to_string(key_row) +
           " has an empty " + std::string(key_title) + ", where the table ends: the last " +
           std::to_string(held - key_row + 1) + " rows will not be kept when the table is saved";
}

} // namespace mk
