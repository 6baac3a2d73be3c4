// Regprobe's integer text (every number typed in its window): any bytes either convert or fail
// with the conversion message, and a value that converts prints back to a text that converts to
// the same value.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "regprobe/integer_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto value = rp::parse_integer_text(text);
    if (value) {
        if (rp::parse_integer_text(std::to_string(*value)) != value ||
            rp::str_to_int(text) != *value)
            std::abort();
        return 0;
    }
    try {
        (void)rp::str_to_int(text);
        std::abort();
    } catch (const rp::ConversionError& e) {
        // what() is a C string: a typed text never holds a NUL, fuzz input may.
        const std::string expected = rp::invalid_integer_message(text);
        if (std::string_view(e.what()) != std::string_view(expected.c_str()))
            std::abort();
    }
    return 0;
}
