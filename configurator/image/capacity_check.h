#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace mk {

// What "Up date Device" would say for lack of room if `table_file` held `document` and the
// project's other table files stayed as they are: the build's own message (a table that does
// not fit in its bank, more than 255 registers for one EMCY), or nothing. The check is the build
// itself, run in memory, so an editor warns of exactly what the build refuses. A build stopped
// earlier by another reason (a table file that cannot be read) says nothing here; the build
// reports it.
std::optional<std::string> capacity_refusal(const std::filesystem::path& table_file,
                                            std::string_view document);

} // namespace mk
