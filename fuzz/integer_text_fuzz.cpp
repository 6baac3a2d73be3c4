// Integer text: any bytes either convert or fail cleanly, and a value that converts prints back
// to a text that converts to the same value.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/integer_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto value = mk::parse_integer_text(text);
    if (value) {
        if (mk::parse_integer_text(std::to_string(*value)) != value)
            std::abort();
    } else if (mk::str_to_int_def(text, 7) != 7) {
        std::abort();
    }
    return 0;
}
