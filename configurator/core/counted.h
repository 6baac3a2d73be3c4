#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace mk {

// A count with its noun for the user: "1 row", "3 rows", "0 rows".
inline std::string counted(std::size_t n, std::string_view one, std::string_view many) {
    return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

// The end of a list for the user: "the last row", "the last 3 rows".
inline std::string the_last(std::size_t n, std::string_view one, std::string_view many) {
    return n == 1 ? "the last " + std::string(one) : "the last " + counted(n, one, many);
}

} // namespace mk
