#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "transfer/workbook.h"

namespace mk {

// The frame every spreadsheet import shares: the sheet named after the table (without regard to
// case) is read row by row after its headings row, columns by position, an empty cell giving
// empty text. The caller has already emptied its target, so a failed import leaves the target
// empty or holding the rows taken before the failure.

struct SheetImport {
    std::string_view base_name; // the sheet's name: "sdo", "rpdodef", "sdopdo"
    std::size_t columns;        // how many columns, from the first, the table reads
    // Runs once the sheet is found, before its first row is read; may be empty.
    std::function<void()> on_sheet_found;
    // Takes one data row (`columns` texts). Returns nothing to go on, or the reason why the
    // import ends on purpose at this row; a UserError (such as a text that is not integer text)
    // ends it with its text as the reason.
    std::function<std::optional<std::string>(const std::vector<std::string>& cells)> take_row;
};

// "No sheet named sdo in the workbook".
std::string no_sheet_message(std::string_view base_name);
// "Import stopped at sheet row 7: <reason>"; the row is counted from 1 as a spreadsheet program
// shows it, so the headings row is row 1.
std::string import_stopped_message(std::size_t sheet_row, std::string_view reason);
// "Import stopped: <reason>", when the workbook cannot be opened or the sheet not read at all.
std::string import_failed_message(std::string_view reason);
// "Import stopped at sheet row 7: <reason>; 3 sheet rows after it were not read", when a row
// ends the import on purpose and the rows after it are left.
std::string import_ended_message(std::size_t sheet_row, std::string_view reason,
                                 std::size_t rows_left);

// Runs the import. Returns nothing when every data row was taken, otherwise the message that
// tells the user where and why the import ended and the table is empty or partial.
// The workbook is closed on every path.
std::optional<std::string> import_sheet(WorkbookReader& reader, const std::filesystem::path& file,
                                        const SheetImport& import);

} // namespace mk
