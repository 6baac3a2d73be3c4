#include "transfer/orcus_workbook.h"

#include <orcus/orcus_ods.hpp>
#include <orcus/orcus_xlsx.hpp>
#include <orcus/spreadsheet/import_interface.hpp>
#include <orcus/zip_archive.hpp>
#include <orcus/zip_archive_stream.hpp>

#include <cctype>
#include <cstdio>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "transfer/workbook.h"
#include "transfer/workbook_stream.h"

namespace mk {

namespace {

namespace iface = orcus::spreadsheet::iface;
using orcus::spreadsheet::col_t;
using orcus::spreadsheet::row_t;

// An error cell, or a formula cell whose file holds no computed result: liborcus gives neither
// the error's text nor a result, so the cell is sent as an error without text.
constexpr const char* kNoResult = "";

// The sheet's size as the library is told it: the largest Excel sheet.
constexpr row_t kMaxRows = 1048576;
constexpr col_t kMaxColumns = 16384;

// Thrown when the cells read so far would not fit the stream's size limit.
struct TooLarge {};

struct Value {
    std::string text;
    bool error = false;
};

// What the cells cost in memory and in the stream, so that a small file that unpacks into
// millions of cells is given up early rather than held.
class Budget {
public:
    explicit Budget(std::size_t max_bytes) : left_(max_bytes) {}
    void take(std::size_t bytes) {
        if (bytes > left_)
            throw TooLarge{};
        left_ -= bytes;
    }

private:
    std::size_t left_;
};

class Strings : public iface::import_shared_strings {
public:
    explicit Strings(Budget& budget) : budget_(budget) {}

    const std::string* get(std::size_t index) const {
        return index < strings_.size() ? &strings_[index] : nullptr;
    }

    std::size_t append(std::string_view s) override {
        budget_.take(s.size() + sizeof(std::string));
        strings_.emplace_back(s);
        return strings_.size() - 1;
    }
    std::size_t add(std::string_view s) override { return append(s); }
    void set_segment_font(std::size_t) override {}
    void set_segment_bold(bool) override {}
    void set_segment_italic(bool) override {}
    void set_segment_font_name(std::string_view) override {}
    void set_segment_font_size(double) override {}
    void set_segment_font_color(orcus::spreadsheet::color_elem_t, orcus::spreadsheet::color_elem_t,
                                orcus::spreadsheet::color_elem_t,
                                orcus::spreadsheet::color_elem_t) override {}
    // Rich text arrives in pieces: one string of them all.
    void append_segment(std::string_view s) override {
        budget_.take(s.size());
        segments_ += s;
    }
    std::size_t commit_segments() override {
        std::string whole;
        whole.swap(segments_);
        return append(whole);
    }

private:
    Budget& budget_;
    std::vector<std::string> strings_;
    std::string segments_;
};

class Sheet;

// A formula cell: only its last computed result is kept.
class Formula : public iface::import_formula {
public:
    explicit Formula(Sheet& sheet) : sheet_(sheet) {}
    void set_position(row_t row, col_t col) override {
        row_ = row;
        col_ = col;
        result_ = Value{kNoResult, true};
    }
    void set_formula(orcus::spreadsheet::formula_grammar_t, std::string_view) override {}
    void set_shared_formula_index(std::size_t) override {}
    void set_result_string(std::string_view value) override { result_ = Value{std::string(value)}; }
    void set_result_value(double value) override { result_ = Value{number_text(value)}; }
    void set_result_bool(bool value) override { result_ = Value{value ? "1" : "0"}; }
    void set_result_empty() override { result_ = Value{kNoResult, true}; }
    void commit() override;

private:
    Sheet& sheet_;
    row_t row_ = 0;
    col_t col_ = 0;
    Value result_;
};

class Sheet : public iface::import_sheet {
public:
    Sheet(std::string name, const Strings& strings, Budget& budget)
        : name_(std::move(name)), strings_(strings), budget_(budget), formula_(*this) {}

    const std::string& name() const { return name_; }
    const std::map<row_t, std::map<col_t, Value>>& cells() const { return cells_; }

    void put(row_t row, col_t col, Value value) {
        if (row < 0 || col < 0 || row >= kMaxRows || col >= kMaxColumns)
            return;
        // A cell costs its text and its place in the stream; a row its cell count.
        budget_.take(value.text.size() + 64);
        read_ = true;
        cells_[row][col] = std::move(value);
    }

    // Whether the library read the sheet's own part of the file: it asks for the sheet's
    // view or properties as it does, or hands over a cell.
    bool read() const { return read_; }
    iface::import_sheet_view* get_sheet_view() override {
        read_ = true;
        return nullptr;
    }
    iface::import_sheet_properties* get_sheet_properties() override {
        read_ = true;
        return nullptr;
    }
    iface::import_formula* get_formula() override { return &formula_; }

    void set_auto(row_t row, col_t col, std::string_view s) override {
        put(row, col, Value{std::string(s)});
    }
    void set_string(row_t row, col_t col, orcus::spreadsheet::string_id_t index) override {
        const std::string* s = strings_.get(index);
        if (!s)
            throw std::runtime_error("a cell refers to a missing shared string");
        put(row, col, Value{*s});
    }
    void set_value(row_t row, col_t col, double value) override {
        put(row, col, Value{number_text(value)});
    }
    void set_bool(row_t row, col_t col, bool value) override {
        put(row, col, Value{value ? "1" : "0"});
    }
    void set_date_time(row_t row, col_t col, int year, int month, int day, int hour, int minute,
                       double second) override {
        char text[64];
        const int s = static_cast<int>(second);
        if (hour == 0 && minute == 0 && s == 0)
            std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
        else
            std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day,
                          hour, minute, s);
        put(row, col, Value{text});
    }
    void set_format(row_t, col_t, std::size_t) override {}
    void set_format(row_t, col_t, row_t, col_t, std::size_t) override {}
    void fill_down_cells(row_t src_row, col_t src_col, row_t range_size) override {
        const auto r = cells_.find(src_row);
        if (r == cells_.end())
            return;
        const auto c = r->second.find(src_col);
        if (c == r->second.end())
            return;
        const Value value = c->second;
        for (row_t i = 1; i <= range_size && src_row + i < kMaxRows; ++i)
            put(src_row + i, src_col, value);
    }
    orcus::spreadsheet::range_size_t get_sheet_size() const override {
        return {kMaxRows, kMaxColumns};
    }

private:
    std::string name_;
    const Strings& strings_;
    Budget& budget_;
    Formula formula_;
    bool read_ = false;
    std::map<row_t, std::map<col_t, Value>> cells_;
};

void Formula::commit() {
    sheet_.put(row_, col_, std::move(result_));
}

// Cell addresses in A1 notation ("B7", "$B$7", "A1:C3"), which the library asks to have
// resolved for formula cells.
class References : public iface::import_reference_resolver {
public:
    orcus::spreadsheet::src_address_t resolve_address(std::string_view text) override {
        orcus::spreadsheet::src_address_t at{0, 0, 0};
        std::size_t i = 0;
        const auto skip_dollar = [&] {
            if (i < text.size() && text[i] == '$')
                ++i;
        };
        skip_dollar();
        long column = 0;
        for (; i < text.size() && std::isalpha(static_cast<unsigned char>(text[i])); ++i) {
            column = column * 26 + (std::toupper(static_cast<unsigned char>(text[i])) - 'A' + 1);
            if (column > kMaxColumns)
                throw std::invalid_argument("not a cell address");
        }
        skip_dollar();
        long row = 0;
        for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
            row = row * 10 + (text[i] - '0');
            if (row > kMaxRows)
                throw std::invalid_argument("not a cell address");
        }
        if (column == 0 || row == 0 || i != text.size())
            throw std::invalid_argument("not a cell address");
        at.row = static_cast<row_t>(row - 1);
        at.column = static_cast<col_t>(column - 1);
        return at;
    }
    orcus::spreadsheet::src_range_t resolve_range(std::string_view text) override {
        const std::size_t colon = text.find(':');
        const auto first = resolve_address(text.substr(0, colon));
        return {first,
                colon == std::string_view::npos ? first : resolve_address(text.substr(colon + 1))};
    }
};

class Factory : public iface::import_factory {
public:
    explicit Factory(std::size_t max_bytes) : budget_(max_bytes), strings_(budget_) {}

    const std::vector<std::unique_ptr<Sheet>>& sheets() const { return sheets_; }

    iface::import_shared_strings* get_shared_strings() override { return &strings_; }
    iface::import_reference_resolver*
    get_reference_resolver(orcus::spreadsheet::formula_ref_context_t) override {
        return &references_;
    }
    iface::import_sheet* append_sheet(orcus::spreadsheet::sheet_t, std::string_view name) override {
        budget_.take(name.size() + 64);
        sheets_.push_back(std::make_unique<Sheet>(std::string(name), strings_, budget_));
        return sheets_.back().get();
    }
    iface::import_sheet* get_sheet(std::string_view name) override {
        for (const auto& s : sheets_)
            if (s->name() == name)
                return s.get();
        return nullptr;
    }
    iface::import_sheet* get_sheet(orcus::spreadsheet::sheet_t index) override {
        return index >= 0 && static_cast<std::size_t>(index) < sheets_.size()
                   ? sheets_[static_cast<std::size_t>(index)].get()
                   : nullptr;
    }
    void finalize() override {}

private:
    Budget budget_;
    Strings strings_;
    References references_;
    std::vector<std::unique_ptr<Sheet>> sheets_;
};

// The sheets the library handed over, as a workbook stream.
bool send_sheets(StreamPipe& pipe, const Factory& factory) {
    WorkbookStreamWriter stream(pipe.out, static_cast<std::uint32_t>(factory.sheets().size()));
    for (const auto& sheet : factory.sheets()) {
        // A sheet the library listed but whose part it never read (it cannot find a part
        // named by an absolute path, as some writers give them) is not taken for empty.
        if (!sheet->read()) {
            stream.unreadable_sheet(sheet->name());
            continue;
        }
        const auto& rows = sheet->cells();
        col_t columns = 0;
        for (const auto& [r, cells] : rows)
            if (!cells.empty())
                columns = std::max(columns, cells.rbegin()->first + 1);
        const row_t row_count = rows.empty() ? 0 : rows.rbegin()->first + 1;
        stream.begin_sheet(sheet->name(), static_cast<std::uint32_t>(row_count),
                           static_cast<std::uint32_t>(columns));
        std::vector<Cell> cells;
        std::vector<bool> errors;
        auto next = rows.begin();
        for (row_t r = 0; r < row_count; ++r) {
            cells.clear();
            errors.clear();
            if (next != rows.end() && next->first == r) {
                for (const auto& [c, value] : next->second) {
                    cells.resize(static_cast<std::size_t>(c) + 1);
                    errors.resize(static_cast<std::size_t>(c) + 1);
                    cells[static_cast<std::size_t>(c)] = value.text;
                    errors[static_cast<std::size_t>(c)] = value.error;
                }
                ++next;
            }
            stream.row(cells, errors);
            if (!pipe.flush())
                return false;
        }
    }
    return pipe.flush(0);
}

template <typename Filter>
bool send_with(StreamPipe& pipe, std::string_view content, std::size_t max_bytes) {
    Factory factory(max_bytes);
    try {
        Filter filter(&factory);
        filter.read_stream(content);
    } catch (const TooLarge&) {
        return false;
    } catch (const std::exception&) {
        return false;
    }
    return send_sheets(pipe, factory);
}

// liborcus 0.17 passes over cells whose text is kept inline in the sheet (t="inlineStr"), as
// openpyxl and writers saving memory keep it; such a workbook would import with those cells
// empty, so it is found here (through the library's own zip reader) and refused.
bool has_inline_text(std::string_view content) {
    orcus::zip_archive_stream_blob blob(reinterpret_cast<const std::uint8_t*>(content.data()),
                                        content.size());
    orcus::zip_archive archive(&blob);
    archive.load();
    std::vector<unsigned char> part;
    for (std::size_t i = 0; i < archive.get_file_entry_count(); ++i) {
        const std::string_view name = archive.get_file_entry_name(i);
        if (!name.starts_with("xl/worksheets/") || !name.ends_with(".xml"))
            continue;
        part.clear();
        if (!archive.read_file_entry(name, part))
            continue;
        const std::string_view xml(reinterpret_cast<const char*>(part.data()), part.size());
        if (xml.find("\"inlineStr\"") != std::string_view::npos ||
            xml.find("'inlineStr'") != std::string_view::npos)
            return true;
    }
    return false;
}

} // namespace

ReadResult send_xlsx(StreamPipe& pipe, std::string_view content) {
    try {
        if (has_inline_text(content))
            return ReadResult::XlsxInlineText;
    } catch (const std::exception&) {
        return ReadResult::NotXlsx;
    }
    return send_with<orcus::orcus_xlsx>(pipe, content, pipe.max_bytes()) ? ReadResult::Sent
                                                                         : ReadResult::NotXlsx;
}

ReadResult send_ods(StreamPipe& pipe, std::string_view content) {
    return send_with<orcus::orcus_ods>(pipe, content, pipe.max_bytes()) ? ReadResult::Sent
                                                                        : ReadResult::NotOds;
}

bool is_ods(std::string_view content) {
    try {
        return orcus::orcus_ods::detect(reinterpret_cast<const unsigned char*>(content.data()),
                                        content.size());
    } catch (const std::exception&) {
        return false;
    }
}

bool is_xlsx(std::string_view content) {
    try {
        return orcus::orcus_xlsx::detect(reinterpret_cast<const unsigned char*>(content.data()),
                                         content.size());
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace mk
