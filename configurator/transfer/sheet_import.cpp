#include "transfer/sheet_import.h"

#include <algorithm>
#include <memory>

#include "core/user_error.h"
#include "tables/rpdo_schema.h"
#include "tables/sdo_schema.h"
#include "tables/sdopdo_schema.h"

namespace mk {

namespace {

std::string lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return out;
}

// The tables a sheet can be named after.
bool names_a_table(std::string_view name) {
    const std::string n = lower(name);
    return n == sdo_file::schema.root_element || n == rpdo_file::schema.root_element ||
           n == sdopdo_file::schema.root_element;
}

// The sheet named after the table; failing that, the sheet of a CSV file whose name is no
// table's, which stands for whichever table imports it.
std::optional<std::size_t> find_sheet(const Workbook& workbook, std::string_view base_name) {
    const std::vector<std::string> names = workbook.sheet_names();
    const std::string wanted = lower(base_name);
    for (std::size_t i = 0; i < names.size(); ++i)
        if (lower(names[i]) == wanted)
            return i;
    for (std::size_t i = 0; i < names.size(); ++i)
        if (workbook.named_by_file(i) && !names_a_table(names[i]))
            return i;
    return std::nullopt;
}

std::string error_reason(std::size_t column, std::string_view error) {
    return "the cell in column " + std::to_string(column + 1) +
           " holds an error, or a formula without its result" +
           (error.empty() ? std::string() : " (" + std::string(error) + ")");
}

std::string fewer_columns_reason(std::size_t has, std::size_t reads) {
    return "the sheet has " + std::to_string(has) + (has == 1 ? " column" : " columns") +
           ", the table reads " + std::to_string(reads);
}

} // namespace

std::string no_sheet_message(std::string_view base_name) {
    return "No sheet named " + std::string(base_name) + " in the workbook";
}

std::string import_stopped_message(std::size_t sheet_row, std::string_view reason) {
    return "Import stopped at sheet row " + std::to_string(sheet_row) + ": " + std::string(reason);
}

std::string import_failed_message(std::string_view reason) {
    return "Import stopped: " + std::string(reason);
}

std::string import_ended_message(std::size_t sheet_row, std::string_view reason,
                                 std::size_t rows_left) {
    std::string left = rows_left == 0 ? "it was the last row of the sheet"
                       : rows_left == 1
                           ? "1 sheet row after it was not read"
                           : std::to_string(rows_left) + " sheet rows after it were not read";
    return import_stopped_message(sheet_row, std::string(reason) + "; " + left);
}

std::optional<std::string> import_sheet(WorkbookReader& reader, const std::filesystem::path& file,
                                        const SheetImport& import) {
    std::unique_ptr<Workbook> workbook;
    std::size_t sheet_row = 0; // counted from 1; 0 while no data row is being read
    try {
        workbook = reader.open(file);
        const auto sheet = find_sheet(*workbook, import.base_name);
        if (!sheet)
            return no_sheet_message(import.base_name);
        workbook->select_sheet(*sheet);
        if (import.on_sheet_found)
            import.on_sheet_found();
        const std::size_t rows = workbook->row_count();
        for (std::size_t r = 1; r < rows; ++r) {
            sheet_row = r + 1;
            if (workbook->column_count() < import.columns)
                throw WorkbookError(fewer_columns_reason(workbook->column_count(), import.columns));
            std::vector<Cell> cells = workbook->row(r);
            if (const auto error = workbook->error_in_row(r, import.columns))
                throw WorkbookError(error_reason(error->first, error->second));
            std::vector<std::string> texts(import.columns);
            for (std::size_t c = 0; c < import.columns && c < cells.size(); ++c)
                texts[c] = cells[c].value_or("");
            if (auto reason = import.take_row(texts))
                return import_ended_message(sheet_row, *reason, rows - 1 - r);
        }
    } catch (const WorkbookError& e) {
        return sheet_row ? import_stopped_message(sheet_row, e.what())
                         : import_failed_message(e.what());
    } catch (const UserError& e) {
        return sheet_row ? import_stopped_message(sheet_row, e.what())
                         : import_failed_message(e.what());
    }
    return std::nullopt;
}

} // namespace mk
