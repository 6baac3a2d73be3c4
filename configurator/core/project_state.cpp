#include "core/project_state.h"

namespace mk {

std::string caption_for(const std::string& project_name) {
    return std::string(kBaseCaption) + project_name;
}

bool holds_loader_delimiter(std::string_view text) {
    // In UTF-8 the byte 0xC2 only ever starts a character, so this pair is always the sign.
    return text.find('"') != std::string_view::npos ||
           text.find("\xC2\xB6") != std::string_view::npos;
}

} // namespace mk
