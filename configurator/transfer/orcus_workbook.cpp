#include "transfer/orcus_workbook.h"

#include <orcus/orcus_ods.hpp>
#include <orcus/orcus_xlsx.hpp>
#include <orcus/sax_ns_parser.hpp>
#include <orcus/spreadsheet/import_interface.hpp>
#include <orcus/xml_namespace.hpp>
#include <orcus/zip_archive.hpp>
#include <orcus/zip_archive_stream.hpp>

#include <cctype>
#include <charconv>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
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
    void mark_read() { read_ = true; }
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
    Budget& budget() { return budget_; }

private:
    Budget budget_;
    Strings strings_;
    References references_;
    std::vector<std::unique_ptr<Sheet>> sheets_;
};

// ---- .xlsx parts read with liborcus's zip and XML parsers ------------------------------------
//
// liborcus 0.17's own .xlsx import passes over text kept inside cells (t="inlineStr") and does
// not find a sheet whose part the workbook names by an absolute path ("/xl/worksheets/..."):
// openpyxl writes both. Such a workbook is read here, part by part, into the same sheets.

using Attributes = std::vector<std::pair<std::string, std::string>>;

std::string_view attribute_value(const Attributes& attributes, std::string_view name) {
    for (const auto& [key, value] : attributes)
        if (key == name)
            return value;
    return {};
}

// Collects the attributes the parser reports before the element they belong to.
class PartHandler {
public:
    void doctype(const orcus::sax::doctype_declaration&) {}
    void start_declaration(std::string_view) {}
    void end_declaration(std::string_view) {}
    void attribute(std::string_view, std::string_view) {}
    void attribute(const orcus::sax_ns_parser_attribute& a) {
        attributes_.emplace_back(std::string(a.name), std::string(a.value));
    }
    void characters(std::string_view, bool) {}
    void end_element(const orcus::sax_ns_parser_element&) {}

protected:
    // The attributes of the element now starting.
    Attributes take_attributes() {
        Attributes taken;
        taken.swap(attributes_);
        return taken;
    }

private:
    Attributes attributes_;
};

// The parser reads a character past the end of a part that ends inside an element
// (fuzz/findings/sax_parser_reads_past_the_end.xlsx); zero bytes after the part keep that read
// within the buffer, and a zero byte is no character it takes for the rest of an element.
constexpr std::size_t kPartPadding = 16;

template <typename Handler> void parse_part(std::vector<unsigned char>& part, Handler& handler) {
    const std::size_t size = part.size();
    part.insert(part.end(), kPartPadding, 0);
    orcus::xmlns_repository repository;
    orcus::xmlns_context context = repository.create_context();
    orcus::sax_ns_parser<Handler> parser(reinterpret_cast<const char*>(part.data()), size, context,
                                         handler);
    parser.parse();
}

// One relationship of a part: its id, the last word of its type ("worksheet",
// "sharedStrings", "officeDocument") and the part it names.
struct Relationship {
    std::string id, type, target;
};

class RelationshipsHandler : public PartHandler {
public:
    std::vector<Relationship> relationships;

    void start_element(const orcus::sax_ns_parser_element& e) {
        const Attributes a = take_attributes();
        if (e.name != "Relationship" || attribute_value(a, "TargetMode") == "External")
            return;
        const std::string_view type = attribute_value(a, "Type");
        relationships.push_back({std::string(attribute_value(a, "Id")),
                                 std::string(type.substr(type.rfind('/') + 1)),
                                 std::string(attribute_value(a, "Target"))});
    }
};

// The workbook's sheets in order: name and relationship id.
class WorkbookHandler : public PartHandler {
public:
    std::vector<std::pair<std::string, std::string>> sheets;

    void start_element(const orcus::sax_ns_parser_element& e) {
        const Attributes a = take_attributes();
        if (e.name == "sheet")
            sheets.emplace_back(attribute_value(a, "name"), attribute_value(a, "id"));
    }
};

// Rich text: the text of the <t> elements of a string item or an inline string, its phonetic
// runs (<rPh>) left out.
class TextCollector {
public:
    void start(std::string_view name) {
        if (name == "rPh")
            ++phonetic_;
        else if (name == "t" && phonetic_ == 0)
            in_text_ = true;
    }
    void end(std::string_view name) {
        if (name == "rPh" && phonetic_ > 0)
            --phonetic_;
        else if (name == "t")
            in_text_ = false;
    }
    void characters(std::string_view s, Budget& budget) {
        if (!in_text_)
            return;
        budget.take(s.size());
        text_ += s;
    }
    std::string take() {
        std::string taken;
        taken.swap(text_);
        in_text_ = false;
        phonetic_ = 0;
        return taken;
    }

private:
    std::string text_;
    bool in_text_ = false;
    int phonetic_ = 0;
};

class SharedStringsHandler : public PartHandler {
public:
    SharedStringsHandler(Strings& strings, Budget& budget) : strings_(strings), budget_(budget) {}

    void start_element(const orcus::sax_ns_parser_element& e) {
        take_attributes();
        if (e.name == "si")
            text_.take();
        text_.start(e.name);
    }
    void end_element(const orcus::sax_ns_parser_element& e) {
        text_.end(e.name);
        if (e.name == "si")
            strings_.append(text_.take());
    }
    void characters(std::string_view s, bool) { text_.characters(s, budget_); }

private:
    Strings& strings_;
    Budget& budget_;
    TextCollector text_;
};

// "B7" (or "$B$7") as row 6, column 1; nullopt when it is no cell address within the sheet.
std::optional<std::pair<row_t, col_t>> cell_address(std::string_view text) {
    try {
        const auto at = References().resolve_address(text);
        return std::pair{at.row, at.column};
    } catch (const std::invalid_argument&) {
        return std::nullopt;
    }
}

// An ISO date and time ("2024-01-02T00:00:00Z") as dates stored as dates read.
std::string date_text(std::string_view iso) {
    std::string text(iso.substr(0, 19));
    if (text.size() > 10 && text[10] == 'T')
        text[10] = ' ';
    if (text.size() == 19 && text.ends_with(" 00:00:00"))
        text.resize(10);
    return text;
}

class SheetHandler : public PartHandler {
public:
    SheetHandler(Sheet& sheet, const Strings& strings, Budget& budget)
        : sheet_(sheet), strings_(strings), budget_(budget) {}

    void start_element(const orcus::sax_ns_parser_element& e) {
        const Attributes a = take_attributes();
        if (e.name == "row") {
            const std::string_view r = attribute_value(a, "r");
            long number = 0;
            if (r.empty())
                number = row_ + 2;
            else if (std::from_chars(r.data(), r.data() + r.size(), number).ec != std::errc{})
                throw std::runtime_error("a row without a number");
            row_ = static_cast<row_t>(std::min<long>(number - 1, kMaxRows));
            column_ = 0;
        } else if (e.name == "c") {
            in_cell_ = true;
            type_ = attribute_value(a, "t");
            const std::string_view r = attribute_value(a, "r");
            if (!r.empty()) {
                const auto at = cell_address(r);
                if (!at)
                    throw std::runtime_error("a cell without an address");
                row_ = at->first;
                column_ = at->second;
            }
            formula_ = has_value_ = false;
            value_.clear();
            text_.take();
        } else if (in_cell_) {
            if (e.name == "f")
                formula_ = true;
            else if (e.name == "v") {
                has_value_ = in_value_ = true;
                value_.clear();
            } else
                text_.start(e.name);
        }
    }

    void end_element(const orcus::sax_ns_parser_element& e) {
        if (e.name == "c" && in_cell_) {
            in_cell_ = false;
            put();
            ++column_;
        } else if (e.name == "v")
            in_value_ = false;
        else if (in_cell_)
            text_.end(e.name);
    }

    void characters(std::string_view s, bool) {
        if (in_value_) {
            budget_.take(s.size());
            value_ += s;
        } else if (in_cell_)
            text_.characters(s, budget_);
    }

private:
    // The cell just read, by its type: shared string, inline string, boolean, formula text,
    // error, date, or a number.
    void put() {
        if (type_ == "inlineStr") {
            sheet_.put(row_, column_, Value{text_.take()});
            return;
        }
        // A formula whose last result the file does not hold.
        if (formula_ && (!has_value_ || (value_.empty() && type_ != "str"))) {
            sheet_.put(row_, column_, Value{kNoResult, true});
            return;
        }
        if (!has_value_)
            return; // an empty cell with a format of its own
        if (type_ == "s") {
            std::size_t index = 0;
            const auto r = std::from_chars(value_.data(), value_.data() + value_.size(), index);
            const std::string* s = r.ec == std::errc{} ? strings_.get(index) : nullptr;
            if (!s)
                throw std::runtime_error("a cell refers to a missing shared string");
            sheet_.put(row_, column_, Value{*s});
        } else if (type_ == "str")
            sheet_.put(row_, column_, Value{value_});
        else if (type_ == "e")
            sheet_.put(row_, column_, Value{value_, true});
        else if (type_ == "b")
            sheet_.put(row_, column_, Value{value_ == "1" || value_ == "true" ? "1" : "0"});
        else if (type_ == "d")
            sheet_.put(row_, column_, Value{date_text(value_)});
        else {
            double number = 0;
            const char* end = value_.data() + value_.size();
            const char* begin = value_.data();
            if (begin != end && *begin == '+')
                ++begin;
            const auto r = std::from_chars(begin, end, number);
            if (r.ec != std::errc{} || r.ptr != end)
                throw std::runtime_error("a number cell that holds no number");
            sheet_.put(row_, column_, Value{number_text(number)});
        }
    }

    Sheet& sheet_;
    const Strings& strings_;
    Budget& budget_;
    row_t row_ = -1;
    col_t column_ = 0;
    bool in_cell_ = false, in_value_ = false, formula_ = false, has_value_ = false;
    std::string type_, value_;
    TextCollector text_;
};

// The part a relationship names: a target beginning with "/" from the package's root, any
// other from the folder of the part that holds the relationship.
std::string part_name(std::string_view from_part, std::string_view target) {
    std::vector<std::string> names;
    if (target.starts_with('/'))
        target.remove_prefix(1);
    else if (const auto slash = from_part.rfind('/'); slash != std::string_view::npos)
        for (std::size_t at = 0; at < slash;) {
            const std::size_t next = std::min(from_part.find('/', at), slash);
            names.emplace_back(from_part.substr(at, next - at));
            at = next + 1;
        }
    for (std::size_t at = 0; at <= target.size();) {
        const std::size_t next = std::min(target.find('/', at), target.size());
        const std::string_view name = target.substr(at, next - at);
        if (name == "..") {
            if (!names.empty())
                names.pop_back();
        } else if (!name.empty() && name != ".")
            names.emplace_back(name);
        at = next + 1;
    }
    std::string joined;
    for (const auto& name : names)
        joined += (joined.empty() ? "" : "/") + name;
    return joined;
}

// The relationships of `part`, kept beside it in "_rels/<name>.rels"; none when it has none.
std::vector<Relationship> relationships_of(const orcus::zip_archive& archive,
                                           std::string_view part) {
    const std::size_t slash = part.rfind('/');
    const std::string folder(slash == std::string_view::npos ? "" : part.substr(0, slash + 1));
    const std::string name(slash == std::string_view::npos ? part : part.substr(slash + 1));
    std::vector<unsigned char> bytes;
    RelationshipsHandler handler;
    if (archive.read_file_entry(folder + "_rels/" + name + ".rels", bytes))
        parse_part(bytes, handler);
    return handler.relationships;
}

// Reads the workbook's sheets into `factory`. Throws when the package is damaged; a sheet whose
// part is missing stays unread.
void read_xlsx_parts(std::string_view content, Factory& factory) {
    orcus::zip_archive_stream_blob blob(reinterpret_cast<const std::uint8_t*>(content.data()),
                                        content.size());
    orcus::zip_archive archive(&blob);
    archive.load();

    std::string workbook_part = "xl/workbook.xml";
    for (const auto& r : relationships_of(archive, ""))
        if (r.type == "officeDocument")
            workbook_part = part_name("", r.target);
    std::vector<unsigned char> bytes;
    if (!archive.read_file_entry(workbook_part, bytes))
        throw std::runtime_error("no workbook part");
    WorkbookHandler workbook;
    parse_part(bytes, workbook);
    const std::vector<Relationship> relationships = relationships_of(archive, workbook_part);

    auto& strings = *static_cast<Strings*>(factory.get_shared_strings());
    for (const auto& r : relationships)
        if (r.type == "sharedStrings" &&
            archive.read_file_entry(part_name(workbook_part, r.target), bytes)) {
            SharedStringsHandler handler(strings, factory.budget());
            parse_part(bytes, handler);
        }

    for (const auto& [name, id] : workbook.sheets) {
        auto& sheet = *static_cast<Sheet*>(factory.append_sheet(
            static_cast<orcus::spreadsheet::sheet_t>(factory.sheets().size()), name));
        for (const auto& r : relationships) {
            if (r.id != id || !archive.read_file_entry(part_name(workbook_part, r.target), bytes))
                continue;
            SheetHandler handler(sheet, strings, factory.budget());
            parse_part(bytes, handler);
            sheet.mark_read();
            break;
        }
    }
}

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

enum class Outcome { Read, Failed, TooLarge };

// Reads `content` with liborcus's filter into `factory`.
template <typename Filter> Outcome read_with(std::string_view content, Factory& factory) {
    try {
        Filter filter(&factory);
        filter.read_stream(content);
        return Outcome::Read;
    } catch (const TooLarge&) {
        return Outcome::TooLarge;
    } catch (const std::exception&) {
        return Outcome::Failed;
    }
}

// Whether a sheet part of the .xlsx package keeps text inside its cells (t="inlineStr"), which
// liborcus 0.17 passes over. Found through the library's own zip reader.
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

bool all_sheets_read(const Factory& factory) {
    for (const auto& sheet : factory.sheets())
        if (!sheet->read())
            return false;
    return true;
}

} // namespace

ReadResult send_xlsx(StreamPipe& pipe, std::string_view content) {
    try {
        {
            Factory factory(pipe.max_bytes());
            const Outcome outcome = read_with<orcus::orcus_xlsx>(content, factory);
            // Cells beyond the limit are beyond it however they are read.
            if (outcome == Outcome::TooLarge)
                return ReadResult::NotXlsx;
            if (outcome == Outcome::Read && all_sheets_read(factory) && !has_inline_text(content))
                return send_sheets(pipe, factory) ? ReadResult::Sent : ReadResult::NotXlsx;
        }
        return send_xlsx_parts(pipe, content);
    } catch (const std::exception&) {
        return ReadResult::NotXlsx;
    }
}

ReadResult send_xlsx_parts(StreamPipe& pipe, std::string_view content) {
    Factory factory(pipe.max_bytes());
    try {
        read_xlsx_parts(content, factory);
    } catch (const TooLarge&) {
        return ReadResult::NotXlsx;
    } catch (const std::exception&) {
        return ReadResult::NotXlsx;
    }
    return send_sheets(pipe, factory) ? ReadResult::Sent : ReadResult::NotXlsx;
}

ReadResult send_ods(StreamPipe& pipe, std::string_view content) {
    Factory factory(pipe.max_bytes());
    if (read_with<orcus::orcus_ods>(content, factory) != Outcome::Read)
        return ReadResult::NotOds;
    return send_sheets(pipe, factory) ? ReadResult::Sent : ReadResult::NotOds;
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
