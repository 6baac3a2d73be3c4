#include "core/project_state.h"

namespace mk {

std::string caption_for(const std::string& project_name) {
    return std::string(kBaseCaption) + project_name;
}

} // namespace mk
