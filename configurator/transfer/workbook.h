#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace mk {

// Read-only access to a spreadsheet workbook, by sheet and by column position. The import of
// the SDO, receive-PDO and stored-PDO tables reads through this interface; the program uses the
// FreeXL reader of .xls files, tests also use workbooks held in memory.

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
};

class WorkbookReader {
public:
    virtual ~WorkbookReader() = default;
    // Opens the workbook read-only. Throws WorkbookError when the file cannot be read.
    virtual std::unique_ptr<Workbook> open(const std::filesystem::path& path) = 0;
};

} // namespace mk
