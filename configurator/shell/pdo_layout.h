#pragma once

#include <filesystem>

namespace mk {

// The PDO layout option of a project: attribute "type_PDO" of the 22nd child of the root of its
// pargen.xml, as integer text with default 0. A missing or unreadable file, a file with fewer
// children or a missing attribute all give 0, without a message.
int load_pdo_layout(const std::filesystem::path& pargen_path);

} // namespace mk
