#include "transfer/workbook_stream.h"

#include <array>
#include <charconv>
#include <cmath>
#include <stdexcept>

namespace mk {

namespace {

constexpr char kMagic[] = "MKWB";
constexpr std::uint32_t kRestUnreadable = 0xFFFFFFFF;
constexpr std::uint32_t kMaxColumns = 0xFFFF;

enum : unsigned char { kSheetUnreadable = 0, kSheetReadable = 1, kSheetNamedByFile = 2 };
enum : unsigned char { kCellEmpty = 0, kCellText = 1, kCellError = 2 };

// Reads the stream front to back; every read checks that the bytes are there.
class Cursor {
public:
    Cursor(std::string_view data, std::size_t pos) : data_(data), pos_(pos) {}

    std::size_t pos() const { return pos_; }
    bool at_end() const { return pos_ == data_.size(); }

    unsigned char byte() {
        need(1);
        return static_cast<unsigned char>(data_[pos_++]);
    }
    std::uint32_t u32() {
        need(4);
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i)
            value |= std::uint32_t{static_cast<unsigned char>(data_[pos_ + i])} << (8 * i);
        pos_ += 4;
        return value;
    }
    std::string_view text() {
        const std::uint32_t size = u32();
        need(size);
        const std::string_view bytes = data_.substr(pos_, size);
        pos_ += size;
        return bytes;
    }

private:
    void need(std::size_t n) const {
        if (data_.size() - pos_ < n)
            throw WorkbookError(kNotAWorkbookReason);
    }

    std::string_view data_;
    std::size_t pos_;
};

struct Sheet {
    std::string name;
    bool readable = false;
    bool named_by_file = false;
    std::uint32_t rows = 0;
    std::uint32_t columns = 0;
    std::uint32_t readable_rows = 0; // rows before the one that cannot be read
    std::size_t first_row = 0;       // stream offset of the first row
};

// Passes over one row; returns false on the marker that ends a sheet early.
bool skip_row(Cursor& in, std::uint32_t columns) {
    const std::uint32_t cells = in.u32();
    if (cells == kRestUnreadable)
        return false;
    if (cells > columns)
        throw WorkbookError(kNotAWorkbookReason);
    for (std::uint32_t c = 0; c < cells; ++c) {
        const unsigned char kind = in.byte();
        if (kind == kCellText || kind == kCellError)
            in.text();
        else if (kind != kCellEmpty)
            throw WorkbookError(kNotAWorkbookReason);
    }
    return true;
}

class StreamWorkbook : public Workbook {
public:
    explicit StreamWorkbook(std::string stream) : bytes_(std::move(stream)) {
        if (bytes_.compare(0, 4, kMagic) != 0)
            throw WorkbookError(kNotAWorkbookReason);
        Cursor in(bytes_, 4);
        const std::uint32_t count = in.u32();
        // Sheets are taken as they are found, so a false count reserves nothing.
        for (std::uint32_t i = 0; i < count; ++i) {
            Sheet sheet;
            sheet.name = std::string(in.text());
            const unsigned char state = in.byte();
            if (state == kSheetReadable || state == kSheetNamedByFile) {
                sheet.readable = true;
                sheet.named_by_file = state == kSheetNamedByFile;
                sheet.rows = in.u32();
                sheet.columns = in.u32();
                // A row reads as this many cells whatever it holds; FreeXL counts columns
                // with an unsigned short.
                if (sheet.columns > kMaxColumns)
                    throw WorkbookError(kNotAWorkbookReason);
                sheet.first_row = in.pos();
                while (sheet.readable_rows < sheet.rows && skip_row(in, sheet.columns))
                    ++sheet.readable_rows;
            } else if (state != kSheetUnreadable) {
                throw WorkbookError(kNotAWorkbookReason);
            }
            sheets_.push_back(std::move(sheet));
        }
        if (!in.at_end())
            throw WorkbookError(kNotAWorkbookReason);
    }

    std::vector<std::string> sheet_names() const override {
        std::vector<std::string> names;
        names.reserve(sheets_.size());
        for (const Sheet& s : sheets_)
            names.push_back(s.name);
        return names;
    }

    void select_sheet(std::size_t index) override {
        if (index >= sheets_.size() || !sheets_[index].readable)
            throw WorkbookError(kUnreadableSheetReason);
        const Sheet& sheet = sheets_[index];
        // Every row takes at least four bytes of the stream, which bounds this table.
        std::vector<std::size_t> starts;
        starts.reserve(sheet.readable_rows);
        Cursor in(bytes_, sheet.first_row);
        for (std::uint32_t r = 0; r < sheet.readable_rows; ++r) {
            starts.push_back(in.pos());
            skip_row(in, sheet.columns);
        }
        row_starts_ = std::move(starts);
        selected_ = &sheet;
    }

    std::size_t row_count() const override { return selected_ ? selected_->rows : 0; }
    std::size_t column_count() const override { return selected_ ? selected_->columns : 0; }

    std::vector<Cell> row(std::size_t index) const override {
        if (index >= row_starts_.size())
            throw WorkbookError(kUnreadableSheetReason);
        std::vector<Cell> cells(selected_->columns);
        Cursor in(bytes_, row_starts_[index]);
        const std::uint32_t present = in.u32();
        for (std::uint32_t c = 0; c < present; ++c)
            if (in.byte() != kCellEmpty)
                cells[c] = std::string(in.text());
        return cells;
    }

    std::optional<std::pair<std::size_t, std::string>>
    error_in_row(std::size_t index, std::size_t columns) const override {
        if (index >= row_starts_.size())
            return std::nullopt;
        Cursor in(bytes_, row_starts_[index]);
        const std::uint32_t present = in.u32();
        for (std::uint32_t c = 0; c < present && c < columns; ++c) {
            const unsigned char kind = in.byte();
            if (kind == kCellError)
                return std::pair{std::size_t{c}, std::string(in.text())};
            if (kind == kCellText)
                in.text();
        }
        return std::nullopt;
    }

    bool named_by_file(std::size_t sheet) const override {
        return sheet < sheets_.size() && sheets_[sheet].named_by_file;
    }

private:
    std::string bytes_;
    std::vector<Sheet> sheets_;
    const Sheet* selected_ = nullptr;
    std::vector<std::size_t> row_starts_; // of the selected sheet's readable rows
};

} // namespace

WorkbookStreamWriter::WorkbookStreamWriter(std::string& out, std::uint32_t sheet_count)
    : out_(out) {
    out_.append(kMagic, 4);
    put(sheet_count);
}

void WorkbookStreamWriter::unreadable_sheet(std::string_view name) {
    put(name);
    out_.push_back(static_cast<char>(kSheetUnreadable));
}

void WorkbookStreamWriter::begin_sheet(std::string_view name, std::uint32_t rows,
                                       std::uint32_t columns, bool named_by_file) {
    put(name);
    out_.push_back(static_cast<char>(named_by_file ? kSheetNamedByFile : kSheetReadable));
    put(rows);
    put(columns);
}

void WorkbookStreamWriter::row(const std::vector<Cell>& cells, const std::vector<bool>& errors) {
    std::size_t present = cells.size();
    while (present > 0 && !cells[present - 1])
        --present;
    put(static_cast<std::uint32_t>(present));
    for (std::size_t c = 0; c < present; ++c) {
        const bool error = c < errors.size() && errors[c];
        out_.push_back(static_cast<char>(!cells[c] ? kCellEmpty : error ? kCellError : kCellText));
        if (cells[c])
            put(*cells[c]);
    }
}

void WorkbookStreamWriter::unreadable_rest() {
    put(kRestUnreadable);
}

void WorkbookStreamWriter::put(std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out_.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void WorkbookStreamWriter::put(std::string_view bytes) {
    if (bytes.size() >= kRestUnreadable)
        throw std::length_error("workbook text too long");
    put(static_cast<std::uint32_t>(bytes.size()));
    out_.append(bytes);
}

std::unique_ptr<Workbook> decode_workbook_stream(std::string stream) {
    return std::make_unique<StreamWorkbook>(std::move(stream));
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
