#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "transfer/reading_process.h"
#include "transfer/workbook.h"

namespace mk {

// CSV files as the export writes them, read back as a one-sheet workbook: fields separated by
// commas, a field in double quotes when it holds a comma, a quote (doubled) or a line break;
// lines ended by CR LF or LF; Windows-1252 text, or UTF-8 (with or without a byte-order mark).
// Text that is well-formed UTF-8 is taken as UTF-8.

// True when `bytes` can be a CSV file: not empty, and no byte is a control character other
// than tab, line feed and carriage return.
bool is_csv_text(std::string_view bytes);

struct CsvSheet {
    std::vector<std::vector<Cell>> rows; // an empty field is an empty cell
    std::size_t columns = 0;             // the most fields of any row
    // The row (from 0) whose quoted field is never closed; it and the rest are not read.
    std::optional<std::size_t> unreadable_from;
};

// The rows of the file, its text as UTF-8. Empty lines at the end of the file are no rows.
CsvSheet parse_csv(std::string_view bytes);

// In the reading process: the CSV file as a workbook stream, one sheet named `sheet_name`
// (the file's name without its extension) and marked as named by its file.
ReadResult send_csv(StreamPipe& pipe, std::string_view content, std::string_view sheet_name);

} // namespace mk
