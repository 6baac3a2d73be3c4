#pragma once

#include <string_view>

#include "transfer/reading_process.h"

namespace mk {

// In the reading process: the .xlsx or .ods workbook in `content` (the whole file), read with
// liborcus, as a workbook stream. Cells give their value as text: numbers (dates stored as
// numbers included) in their shortest decimal form, shared and inline strings as they are,
// booleans as 1 and 0, dates stored as dates as "YYYY-MM-DD" (with " HH:MM:SS" when they have
// a time of day), formulas their last computed result; an error value, or a formula without a
// result, is sent as an error cell.
// An .xlsx workbook that liborcus 0.17 reads only in part (text kept inside cells, sheet parts
// named by absolute paths, as openpyxl writes them) is read by send_xlsx_parts instead: the
// package's parts through liborcus's zip reader and XML parser, to the same sheets.
ReadResult send_xlsx(StreamPipe& pipe, std::string_view content);
ReadResult send_xlsx_parts(StreamPipe& pipe, std::string_view content);
ReadResult send_ods(StreamPipe& pipe, std::string_view content);

// Whether the zip archive in `content` is an OpenDocument spreadsheet or an Excel workbook, as
// liborcus tells them apart.
bool is_ods(std::string_view content);
bool is_xlsx(std::string_view content);

} // namespace mk
