#include "image/field_value.h"

#include "core/integer_text.h"

namespace mk {

namespace {

// Spaces and control characters, the characters a trim removes.
bool is_blank(char c) {
    return static_cast<unsigned char>(c) <= 0x20;
}

} // namespace

std::uint16_t field_value(std::string_view text, MessageSink& sink) {
    if (text.empty())
        return 0xFFFF;
    while (!text.empty() && is_blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && is_blank(text.back()))
        text.remove_suffix(1);
    const auto value = parse_integer_text(text);
    if (!value) {
        sink.show(kMsgConversionString, MessageKind::Error);
        return 0xFFFF;
    }
    return static_cast<std::uint16_t>(static_cast<std::uint32_t>(*value) & 0xFFFFu);
}

} // namespace mk
