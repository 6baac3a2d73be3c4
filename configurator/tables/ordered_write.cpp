#include "tables/ordered_write.h"

#include <algorithm>
#include <cstdint>
#include <numeric>

#include "core/integer_text.h"

namespace mk {

std::vector<std::size_t> ordered_rows(const std::vector<std::string>& keys) {
    std::vector<std::int32_t> values;
    values.reserve(keys.size());
    for (const auto& k : keys)
        values.push_back(str_to_int(k));

    // Each pass of the minimum search takes the smallest remaining key and, among equals, the
    // last one in table order. A stable sort of the reversed row list gives that same order in
    // one step, and extends it to keys the search could not reach.
    std::vector<std::size_t> order(keys.size());
    std::iota(order.rbegin(), order.rend(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return values[a] < values[b]; });
    return order;
}

} // namespace mk
