#include "tables/freexl_workbook.h"

#include <freexl.h>

#include <array>
#include <charconv>
#include <cmath>
#include <limits>

namespace mk {

namespace {

constexpr const char* kNotAWorkbook = "the file cannot be read as an Excel workbook (.xls)";
constexpr const char* kUnreadableSheet = "the sheet cannot be read";

// FreeXL asks for its handle to be closed even when opening failed.
struct HandleCloser {
    void operator()(const void* handle) const {
        if (handle)
            freexl_close(handle);
    }
};
using Handle = std::unique_ptr<const void, HandleCloser>;

class FreexlWorkbook : public Workbook {
public:
    explicit FreexlWorkbook(Handle handle) : handle_(std::move(handle)) {
        unsigned int count = 0;
        if (freexl_get_info(handle_.get(), FREEXL_BIFF_SHEET_COUNT, &count) != FREEXL_OK)
            throw WorkbookError(kNotAWorkbook);
        for (unsigned int i = 0; i < count && i <= std::numeric_limits<unsigned short>::max();
             ++i) {
            const char* name = nullptr;
            if (freexl_get_worksheet_name(handle_.get(), static_cast<unsigned short>(i), &name) !=
                FREEXL_OK)
                throw WorkbookError(kNotAWorkbook);
            names_.emplace_back(name ? name : "");
        }
    }

    std::vector<std::string> sheet_names() const override { return names_; }

    void select_sheet(std::size_t index) override {
        unsigned int rows = 0;
        unsigned short columns = 0;
        if (index >= names_.size() ||
            freexl_select_active_worksheet(handle_.get(), static_cast<unsigned short>(index)) !=
                FREEXL_OK ||
            freexl_worksheet_dimensions(handle_.get(), &rows, &columns) != FREEXL_OK)
            throw WorkbookError(kUnreadableSheet);
        rows_ = rows;
        columns_ = columns;
    }

    std::size_t row_count() const override { return rows_; }
    std::size_t column_count() const override { return columns_; }

    std::vector<Cell> row(std::size_t index) const override {
        std::vector<Cell> cells(columns_);
        for (std::size_t c = 0; c < columns_; ++c) {
            FreeXL_CellValue value;
            if (freexl_get_cell_value(handle_.get(), static_cast<unsigned int>(index),
                                      static_cast<unsigned short>(c), &value) != FREEXL_OK)
                throw WorkbookError(kUnreadableSheet);
            cells[c] = cell_text(value);
        }
        return cells;
    }

private:
    static Cell cell_text(const FreeXL_CellValue& value) {
        switch (value.type) {
        case FREEXL_CELL_INT:
            return number_text(static_cast<std::int64_t>(value.value.int_value));
        case FREEXL_CELL_DOUBLE:
            return number_text(value.value.double_value);
        case FREEXL_CELL_TEXT:
        case FREEXL_CELL_SST_TEXT:
        case FREEXL_CELL_DATE:
        case FREEXL_CELL_DATETIME:
        case FREEXL_CELL_TIME:
            return std::string(value.value.text_value ? value.value.text_value : "");
        default: // FREEXL_CELL_NULL and anything FreeXL adds later
            return std::nullopt;
        }
    }

    Handle handle_;
    std::vector<std::string> names_;
    std::size_t rows_ = 0;
    std::size_t columns_ = 0;
};

} // namespace

std::unique_ptr<Workbook> FreexlWorkbookReader::open(const std::filesystem::path& path) {
    const void* raw = nullptr;
    const int rc = freexl_open(path.c_str(), &raw);
    Handle handle(raw); // released on every path from here on
    if (rc != FREEXL_OK || !raw)
        throw WorkbookError(kNotAWorkbook);
    return std::make_unique<FreexlWorkbook>(std::move(handle));
}

std::string number_text(std::int64_t value) {
    return std::to_string(value);
}

std::string number_text(double value) {
    if (!std::isfinite(value))
        return std::isnan(value) ? "NaN" : (value > 0 ? "INF" : "-INF");
    // A whole number within the exactly representable range prints without a fraction.
    if (std::trunc(value) == value && std::fabs(value) < 9.0e15)
        return number_text(static_cast<std::int64_t>(value));
    // Otherwise the shortest fixed form that reads back as the same value. 1e308 needs 309
    // digits; the buffer holds every double.
    std::array<char, 400> text;
    const auto result =
        std::to_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    return std::string(text.data(), result.ptr);
}

} // namespace mk
