#pragma once

#include <cstdint>
#include <string_view>

#include "core/message_sink.h"

namespace mk {

inline constexpr std::string_view kMsgConversionString = "Error in conversion string";

// The builder's rule for a field text: an empty text is 0xFFFF without a message; otherwise the
// text, without surrounding spaces and control characters, is read as integer text and its low
// 16 bits are the value; a text that is not integer text shows "Error in conversion string" and
// gives 0xFFFF. One-byte fields take the low 8 bits of the result.
std::uint16_t field_value(std::string_view text, MessageSink& sink);

} // namespace mk
