#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace mk {

// The order in which a table is written in ascending key order (the receive-PDO and stored-PDO
// tables). Keys are integer text; a key that is not integer text throws ConversionError before
// anything is ordered, so nothing is written.
//
// Among equal keys the row that comes last in the table is written first. Keys above 0x999999
// (the start value of the classic minimum search, which could never pick them) are ordered the
// same way after all smaller keys, so every row is written exactly once.
std::vector<std::size_t> ordered_rows(const std::vector<std::string>& keys);

} // namespace mk
