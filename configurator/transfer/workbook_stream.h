#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "transfer/workbook.h"

namespace mk {

// Why a workbook cannot be read, in words for the user.
inline constexpr const char* kNotAWorkbookReason =
    "the file cannot be read as an Excel workbook (.xls)";
inline constexpr const char* kNotXlsxReason =
    "the file cannot be read as an Excel workbook (.xlsx)";
inline constexpr const char* kNotOdsReason =
    "the file cannot be read as an OpenDocument spreadsheet (.ods)";
inline constexpr const char* kNotCsvReason = "the file cannot be read as a CSV file (.csv)";
// A file that is none of the formats the import reads.
inline constexpr const char* kNoSpreadsheetReason =
    "the file cannot be read as an Excel workbook (.xls, .xlsx), an OpenDocument spreadsheet "
    "(.ods) or a CSV file (.csv)";
inline constexpr const char* kUnreadableSheetReason = "the sheet cannot be read";

// A whole workbook as a byte stream: how the process that runs a workbook reader hands the sheets
// to the program. The reader runs in a child process so that a damaged file which breaks the
// library's memory cannot reach the program; the program then trusts nothing in the stream and
// decodes it as untrusted input.
//
// Layout (integers are 4-byte little-endian):
//   "MKWB", sheet count, then per sheet:
//     name length, name bytes, a state byte:
//       0  the sheet cannot be read (nothing follows for it)
//       1  row count, column count (at most 65535), then up to row-count rows:
//            cell count (trailing empty cells left out), then per cell a kind byte:
//              0 empty, 1 text followed by its length and bytes, 2 an error value
//              (such as "#DIV/0!") followed by its length and bytes;
//       2  as 1, for the one sheet of a CSV file, named after the file;
//          or, instead of a row, the cell count 0xFFFFFFFF: this row and those after it
//          cannot be read, and the sheet ends there.
// Nothing follows the last sheet.

// Appends the stream to a string the caller drains as it likes (the child writes it out in
// pieces so that a large workbook is not held twice).
class WorkbookStreamWriter {
public:
    WorkbookStreamWriter(std::string& out, std::uint32_t sheet_count);

    void unreadable_sheet(std::string_view name);
    // Starts a readable sheet; its rows follow, at most `rows` of them.
    void begin_sheet(std::string_view name, std::uint32_t rows, std::uint32_t columns,
                     bool named_by_file = false);
    // One row of the current sheet, at most `columns` cells. A cell whose entry in `errors` is
    // true holds an error value, its text.
    void row(const std::vector<Cell>& cells, const std::vector<bool>& errors = {});
    // The current row cannot be read: the sheet ends with it.
    void unreadable_rest();

private:
    void put(std::uint32_t value);
    void put(std::string_view bytes);

    std::string& out_;
};

// The workbook in `stream`. Throws WorkbookError when the stream is not a whole, well-formed
// workbook stream. Reading the workbook then never touches the file again.
std::unique_ptr<Workbook> decode_workbook_stream(std::string stream);

} // namespace mk
