#include "core/table_file.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <system_error>
#include <vector>

#include <pugixml.hpp>

#include "core/atomic_file.h"

namespace mk {

namespace {

pugi::xml_node node_of(pugi::xml_node_struct* n) {
    return pugi::xml_node(n);
}

// Element children only would hide stray text between rows; the reader counts every child
// node, so such text fails as a row without attributes.
std::size_t count_children(pugi::xml_node node) {
    std::size_t n = 0;
    for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling())
        ++n;
    return n;
}

pugi::xml_node nth_child(pugi::xml_node node, std::size_t index) {
    pugi::xml_node c = node.first_child();
    for (std::size_t i = 0; c && i < index; ++i)
        c = c.next_sibling();
    if (!c)
        throw TableReadError(", no element at position " + std::to_string(index + 1));
    return c;
}

constexpr std::string_view kNotWellFormed = ": not a well-formed XML file";

constexpr unsigned kParseOptions = pugi::parse_default;

// True when every "&" of a text, as it stands in the file, starts one of XML's own references:
// a table file has no document type, so no other entity is defined.
bool references_are_defined(std::string_view text) {
    for (std::size_t at = text.find('&'); at != std::string_view::npos;
         at = text.find('&', at + 1)) {
        const std::size_t end = text.find(';', at);
        if (end == std::string_view::npos)
            return false;
        const std::string_view name = text.substr(at + 1, end - at - 1);
        if (name == "amp" || name == "lt" || name == "gt" || name == "quot" || name == "apos")
            continue;
        // "&;" names nothing: the name is looked at only when there is one.
        if (name.empty() || name[0] != '#')
            return false;
        const bool hex = name.size() > 2 && name[1] == 'x';
        const std::string_view digits = name.substr(hex ? 2 : 1);
        const auto is_digit = [hex](char c) {
            return std::isdigit(static_cast<unsigned char>(c)) ||
                   (hex && std::isxdigit(static_cast<unsigned char>(c)));
        };
        if (digits.empty() || !std::all_of(digits.begin(), digits.end(), is_digit))
            return false;
    }
    return true;
}

bool is_blank(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; });
}

// pugixml reads more than XML allows: several root elements, text after the root, an attribute
// given twice, undefined entities kept as literal text. A table file must be well-formed, or a
// later save would write texts the user never had.
//
// The tree is read as a fragment, which keeps any text outside the root as a node of its own:
// there must be one root and nothing else but blanks. Text outside the root becomes a node only
// when it holds more than blanks as written, so any such node is refused (a CDATA section there
// is one only when it is blank).
bool one_root_alone(const pugi::xml_document& doc) {
    int roots = 0;
    for (pugi::xml_node n : doc.children()) {
        if (n.type() == pugi::node_element)
            ++roots;
        else if (n.type() == pugi::node_pcdata ||
                 (n.type() != pugi::node_declaration && !is_blank(n.value())))
            return false;
    }
    return roots == 1;
}

// Whether two of the names are the same. Elements have a handful of attributes, compared pair by
// pair; a file with very many in one element is sorted instead, so no file makes this slow.
bool has_repeated_name(std::vector<std::string_view>& names) {
    if (names.size() <= 16) {
        for (std::size_t i = 1; i < names.size(); ++i)
            for (std::size_t j = 0; j < i; ++j)
                if (names[i] == names[j])
                    return true;
        return false;
    }
    std::sort(names.begin(), names.end());
    return std::adjacent_find(names.begin(), names.end()) != names.end();
}

// What one walk over every node finds, without recursion however deep: an attribute given twice
// in an element (the file is not well-formed), and a value or text longer than kMaxFieldLength.
struct TreeFindings {
    bool repeated_attribute = false;
    bool too_long = false;
};

TreeFindings walk_tree(const pugi::xml_document& doc) {
    TreeFindings found;
    std::vector<pugi::xml_node> pending;
    std::vector<std::string_view> names;
    for (pugi::xml_node c = doc.first_child(); c; c = c.next_sibling())
        pending.push_back(c);
    while (!pending.empty() && !found.repeated_attribute) {
        const pugi::xml_node node = pending.back();
        pending.pop_back();
        found.too_long = found.too_long || std::strlen(node.value()) > kMaxFieldLength;
        names.clear();
        for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) {
            names.emplace_back(a.name());
            found.too_long = found.too_long || std::strlen(a.value()) > kMaxFieldLength;
        }
        found.repeated_attribute = has_repeated_name(names);
        for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling())
            pending.push_back(c);
    }
    return found;
}

// References are resolved while the tree is read, so they are checked in the file's own text:
// every element text (what lies between two tags) and every attribute value (what a tag holds
// in quotes), skipping comments, CDATA sections and processing instructions, whose "&" is no
// reference. The text has been read as XML already, so its markup is whole. Nothing when the
// file declares a document type, whose inside this reading does not follow.
std::optional<bool> text_references_are_defined(std::string_view text) {
    if (text.find('&') == std::string_view::npos)
        return true;
    // Without comments, CDATA sections, processing instructions and a document type every "&"
    // stands in an element text or an attribute value (anywhere else the file would not have
    // been read), and a reference never reaches past the end of its text: a quote or "<" in
    // its name makes it no reference. So the whole text is checked at once.
    if (text.find("<!") == std::string_view::npos && text.find("<?") == std::string_view::npos)
        return references_are_defined(text);
    const std::size_t size = text.size();
    std::size_t at = 0;
    while (at < size) {
        const std::size_t tag = text.find('<', at);
        if (!references_are_defined(text.substr(at, tag - at)))
            return false;
        if (tag == std::string_view::npos)
            return true;
        const std::string_view rest = text.substr(tag);
        std::string_view end;
        if (rest.starts_with("<!--"))
            end = "-->";
        else if (rest.starts_with("<![CDATA["))
            end = "]]>";
        else if (rest.starts_with("<?"))
            end = "?>";
        else if (rest.starts_with("<!"))
            return std::nullopt;
        if (!end.empty()) {
            const std::size_t close = text.find(end, tag + 2);
            if (close == std::string_view::npos)
                return false;
            at = close + end.size();
            continue;
        }
        // A start or end tag: quotes enclose its attribute values, ">" ends it.
        std::size_t i = tag + 1;
        for (; i < size && text[i] != '>'; ++i) {
            if (text[i] != '"' && text[i] != '\'')
                continue;
            const std::size_t close = text.find(text[i], i + 1);
            if (close == std::string_view::npos ||
                !references_are_defined(text.substr(i + 1, close - i - 1)))
                return false;
            i = close;
        }
        at = i + 1;
    }
    return true;
}

// The same check for a file with a document type: the file is read once more as a fragment with
// the references left as written, and every attribute value and element text is looked at.
bool references_are_defined_read_again(std::string_view text) {
    pugi::xml_document raw;
    if (!raw.load_buffer(text.data(), text.size(),
                         (kParseOptions & ~pugi::parse_escapes) | pugi::parse_fragment,
                         pugi::encoding_auto))
        return false;
    std::vector<pugi::xml_node> pending{raw.document_element()};
    while (!pending.empty()) {
        const pugi::xml_node element = pending.back();
        pending.pop_back();
        for (pugi::xml_attribute a : element.attributes())
            if (!references_are_defined(a.value()))
                return false;
        for (pugi::xml_node c : element.children()) {
            if (c.type() == pugi::node_element)
                pending.push_back(c);
            else if (c.type() == pugi::node_pcdata && !references_are_defined(c.value()))
                return false;
        }
    }
    return true;
}

bool references_are_defined_in(std::string_view text) {
    const std::optional<bool> defined = text_references_are_defined(text);
    return defined ? *defined : references_are_defined_read_again(text);
}

} // namespace

std::string reading_error_text(std::string_view file_name, std::string_view where) {
    return std::string(kMsgErrorReading) + " (" + std::string(file_name) + std::string(where) + ")";
}

std::string RowReader::attr(const char* name) const {
    if (auto v = optional_attr(name))
        return *v;
    throw TableReadError(std::string(": no attribute ") + name);
}

std::optional<std::string> RowReader::optional_attr(const char* name) const {
    const pugi::xml_attribute a = node_of(node_).attribute(name);
    if (!a)
        return std::nullopt;
    return std::string(a.value());
}

std::string RowReader::text() const {
    return node_of(node_).text().get();
}

std::string RowReader::name() const {
    return node_of(node_).name();
}

bool RowReader::is_element() const {
    return node_of(node_).type() == pugi::node_element;
}

RowRange RowReader::children() const {
    return RowRange(node_);
}

std::size_t RowReader::child_count() const {
    return count_children(node_of(node_));
}

RowReader RowReader::child(std::size_t index) const {
    return RowReader(nth_child(node_of(node_), index).internal_object());
}

RowRange::iterator& RowRange::iterator::operator++() {
    node_ = node_of(node_).next_sibling().internal_object();
    return *this;
}

RowRange::iterator RowRange::begin() const {
    return iterator(node_of(parent_).first_child().internal_object());
}

std::size_t RowRange::size() const {
    return count_children(node_of(parent_));
}

TableDocument::TableDocument() : doc_(std::make_unique<pugi::xml_document>()) {}
TableDocument::TableDocument(TableDocument&&) noexcept = default;
TableDocument& TableDocument::operator=(TableDocument&&) noexcept = default;
TableDocument::~TableDocument() = default;

TableDocument TableDocument::load(const std::filesystem::path& path) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    // Only a plain file has a size. Anything else is not opened at all: a named pipe would
    // hold the window until some program writes into it.
    if (ec)
        throw TableReadError(": the file cannot be read");
    if (size > kMaxTableFileSize)
        throw TableReadError(": larger than the " + std::to_string(kMaxTableFileSize >> 20) +
                             " MB a table file may hold");
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw TableReadError(": the file cannot be read");
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad())
        throw TableReadError(": the file cannot be read");
    return parse(content.str());
}

TableDocument TableDocument::parse(std::string_view text) {
    TableDocument d;
    const pugi::xml_parse_result r = d.doc_->load_buffer(
        text.data(), text.size(), kParseOptions | pugi::parse_fragment, pugi::encoding_auto);
    if (!r || !d.doc_->document_element() || !one_root_alone(*d.doc_))
        throw TableReadError(std::string(kNotWellFormed));
    const TreeFindings found = walk_tree(*d.doc_);
    if (found.repeated_attribute || !references_are_defined_in(text))
        throw TableReadError(std::string(kNotWellFormed));
    if (found.too_long)
        throw TableReadError(": a value longer than " + std::to_string(kMaxFieldLength) + " bytes");
    return d;
}

RowRange TableDocument::rows() const {
    return RowRange(doc_->document_element().internal_object());
}

std::size_t TableDocument::row_count() const {
    return rows().size();
}

RowReader TableDocument::row(std::size_t index) const {
    return RowReader(nth_child(doc_->document_element(), index).internal_object());
}

std::optional<std::string> TableDocument::optional_attr(std::size_t index, const char* name) const {
    if (index >= row_count())
        return std::nullopt;
    return row(index).optional_attr(name);
}

namespace {

LoadOutcome read_guarded(const std::function<TableDocument()>& open, MessageSink& sink,
                         const std::function<void(const TableDocument&)>& read,
                         const ReadingMessages& messages, std::string_view file_name,
                         IncompleteFiles* incomplete) {
    try {
        read(open());
    } catch (const UserError& e) {
        // Unreadable XML, a missing row or attribute, or a text that had to be a number.
        if (messages.unreadable && messages.name_place) {
            const auto* read_error = dynamic_cast<const TableReadError*>(&e);
            sink.show(reading_error_text(file_name, read_error ? read_error->where() : ""),
                      MessageKind::Error);
        } else if (messages.unreadable) {
            sink.show(*messages.unreadable, MessageKind::Error);
        }
        if (incomplete)
            incomplete->emplace_back(file_name);
        return LoadOutcome::ReadError;
    }
    return LoadOutcome::Loaded;
}

} // namespace

LoadOutcome load_document(const std::filesystem::path& path, MessageSink& sink,
                          const std::function<void(const TableDocument&)>& read,
                          const ReadingMessages& messages, IncompleteFiles* incomplete) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        if (messages.missing)
            sink.show(*messages.missing, MessageKind::Information);
        return LoadOutcome::FileMissing;
    }
    return read_guarded([&] { return TableDocument::load(path); }, sink, read, messages,
                        path.filename().string(), incomplete);
}

LoadOutcome parse_document(std::string_view text, MessageSink& sink,
                           const std::function<void(const TableDocument&)>& read,
                           const ReadingMessages& messages, std::string_view file_name) {
    return read_guarded([&] { return TableDocument::parse(text); }, sink, read, messages, file_name,
                        nullptr);
}

void read_rows(const TableDocument& doc, const std::function<bool(const RowReader&)>& read_row) {
    std::size_t position = 0;
    for (const RowReader& row : doc.rows()) {
        ++position;
        try {
            if (!read_row(row))
                break;
        } catch (const TableReadError& e) {
            throw TableReadError(", row " + std::to_string(position) + e.where());
        }
    }
}

LoadOutcome load_rows(const std::filesystem::path& path, MessageSink& sink,
                      const std::function<bool(const RowReader&)>& read_row,
                      const ReadingMessages& messages, IncompleteFiles* incomplete) {
    return load_document(
        path, sink, [&](const TableDocument& doc) { read_rows(doc, read_row); }, messages,
        incomplete);
}

TableWriter::Row& TableWriter::Row::set(const char* name, std::string_view value) {
    pugi::xml_node node = node_of(node_);
    pugi::xml_attribute a = node.attribute(name);
    if (!a)
        a = node.append_attribute(name);
    a.set_value(std::string(value).c_str());
    return *this;
}

TableWriter::Row& TableWriter::Row::set_text(std::string_view value) {
    node_of(node_).text().set(std::string(value).c_str());
    return *this;
}

TableWriter::Row TableWriter::Row::add_child(const char* element_name) {
    return Row(node_of(node_).append_child(element_name).internal_object());
}

TableWriter::TableWriter(const char* root_name)
    : doc_(std::make_unique<pugi::xml_document>()),
      root_(doc_->append_child(root_name).internal_object()) {}
TableWriter::TableWriter(TableWriter&&) noexcept = default;
TableWriter::~TableWriter() = default;

TableWriter::Row TableWriter::add_row(const char* element_name) {
    return Row(node_of(root_).append_child(element_name).internal_object());
}

std::string TableWriter::serialize() const {
    std::ostringstream out;
    doc_->save(out, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
    return out.str();
}

std::string save_error_message(const std::filesystem::path& path, std::string_view reason) {
    std::string text = "Cannot save file \"";
    text += path.string();
    text += "\". ";
    text += reason;
    return text;
}

void TableWriter::save(const std::filesystem::path& path) const {
    try {
        write_file_atomically(path, serialize());
    } catch (const std::system_error& e) {
        throw UserError(save_error_message(path, write_failure_reason(path, e.code())));
    }
}

} // namespace mk
