#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "core/table_file.h"
#include "tables/emcy_table.h"

// Reading helpers shared by the two EMCY tables; not for use outside the table layer.
namespace mk::emcy_reading {

// The fault of a file whose reading stopped: the shared reading message "Error in reading file
// XML", followed by the file's name and the place where reading stopped.
ReadFault fault(std::string_view file_name, std::string_view where);

// A table file loaded whole, or the fault that it could not be; both empty when the file is
// missing, which the EMCY readers take as an empty table.
struct Opened {
    std::optional<TableDocument> doc;
    std::optional<ReadFault> fault;
};
Opened open_file(const std::filesystem::path& path);
Opened open_text(std::string_view xml, std::string_view file_name);

// Reads the rows of emcydef.xml in document order into `table`; stops at the first row without
// one of the three attributes and returns the fault naming that row.
std::optional<ReadFault> read_emcy_rows(const TableDocument& doc, EmcyTable& table);

} // namespace mk::emcy_reading
