#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace mk {

// Read-only access to a spreadsheet workbook, by sheet and by column position. The import of
// the SDO, receive-PDO and stored-PDO tables reads through this interface; the program reads
// .xls, .xlsx, .ods and CSV files (SpreadsheetReader), tests also use workbooks held in memory.

// One cell: empty, or its value as text (a number in its shortest decimal form).
using Cell = std::optional<std::string>;

// The workbook cannot be read (not a workbook, truncated, damaged). The text says why, in
// words for the user.
class WorkbookError : public std::runtime_error {
public:
    explicit WorkbookError(const std::string& reason) : std::runtime_error(reason) {}
};

// An open workbook. Destroying it closes the file and releases everything the reader holds.
class Workbook {
public:
    virtual ~Workbook() = default;

    // The names of the sheets, in workbook order.
    virtual std::vector<std::string> sheet_names() const = 0;
    // Makes sheet `index` (of sheet_names) the one whose rows are read.
    virtual void select_sheet(std::size_t index) = 0;
    // Rows and columns of the selected sheet, the headings row included.
    virtual std::size_t row_count() const = 0;
    virtual std::size_t column_count() const = 0;
    // Row `index` (0 is the headings row) of the selected sheet: column_count() cells.
    virtual std::vector<Cell> row(std::size_t index) const = 0;
    // The first of the first `columns` cells of row `index` that holds an error value instead
    // of a value: its column (from 0) and the error's text, such as "#DIV/0!". row() gives
    // such a cell as that text.
    virtual std::optional<std::pair<std::size_t, std::string>>
    error_in_row(std::size_t /*index*/, std::size_t /*columns*/) const {
        return std::nullopt;
    }
    // True for the one sheet of a CSV file, which is named after the file: when that name is
    // no table's, the sheet is the table of whichever editor imports it.
    virtual bool named_by_file(std::size_t /*sheet*/) const { return false; }
};

class WorkbookReader {
public:
    virtual ~WorkbookReader() = default;
    // Opens the workbook read-only. Throws WorkbookError when the file cannot be read.
    virtual std::unique_ptr<Workbook> open(const std::filesystem::path& path) = 0;
};

// A number cell as text: its shortest decimal form, so that 1000 stored as an integer and
// 1000.0 stored as a floating-point value both read "1000", and 0.1 reads "0.1".
std::string number_text(double value);
std::string number_text(std::int64_t value);

} // namespace mk
