#include "tables/table_file.h"

#include <cstring>
#include <fstream>
#include <sstream>
#include <system_error>

#include "tables/atomic_file.h"

namespace mk {

namespace {

// Element children only would hide stray text between rows; the reader counts every child
// node, as the original document object did, so such text fails as a row without attributes.
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
        throw TableReadError();
    return c;
}

constexpr unsigned kParseOptions = pugi::parse_default;

// Finds an attribute value or a text longer than kMaxFieldLength anywhere in the document.
class FieldLengthCheck : public pugi::xml_tree_walker {
public:
    bool for_each(pugi::xml_node& node) override {
        too_long = std::strlen(node.value()) > kMaxFieldLength;
        for (const pugi::xml_attribute a : node.attributes())
            too_long = too_long || std::strlen(a.value()) > kMaxFieldLength;
        return !too_long; // stops the walk at the first field that is too long
    }
    bool too_long = false;
};

} // namespace

std::string RowReader::attr(const char* name) const {
    if (auto v = optional_attr(name))
        return *v;
    throw TableReadError();
}

std::optional<std::string> RowReader::optional_attr(const char* name) const {
    const pugi::xml_attribute a = node_.attribute(name);
    if (!a)
        return std::nullopt;
    return std::string(a.value());
}

std::string RowReader::text() const {
    return node_.text().get();
}

std::size_t RowReader::child_count() const {
    return count_children(node_);
}

RowReader RowReader::child(std::size_t index) const {
    return RowReader(nth_child(node_, index));
}

TableDocument TableDocument::load(const std::filesystem::path& path) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec || size > kMaxTableFileSize)
        throw TableReadError();
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw TableReadError();
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad())
        throw TableReadError();
    return parse(content.str());
}

TableDocument TableDocument::parse(std::string_view text) {
    TableDocument d;
    const pugi::xml_parse_result r =
        d.doc_.load_buffer(text.data(), text.size(), kParseOptions, pugi::encoding_auto);
    if (!r || !d.doc_.document_element())
        throw TableReadError();
    FieldLengthCheck check;
    d.doc_.traverse(check);
    if (check.too_long)
        throw TableReadError();
    return d;
}

std::size_t TableDocument::row_count() const {
    return count_children(root());
}

RowReader TableDocument::row(std::size_t index) const {
    return RowReader(nth_child(root(), index));
}

TableWriter::Row& TableWriter::Row::set(const char* name, std::string_view value) {
    pugi::xml_attribute a = node_.attribute(name);
    if (!a)
        a = node_.append_attribute(name);
    a.set_value(std::string(value).c_str());
    return *this;
}

TableWriter::Row& TableWriter::Row::set_text(std::string_view value) {
    node_.text().set(std::string(value).c_str());
    return *this;
}

TableWriter::Row TableWriter::Row::add_child(const char* element_name) {
    return Row(node_.append_child(element_name));
}

TableWriter::TableWriter(const char* root_name) : root_(doc_.append_child(root_name)) {}

TableWriter::Row TableWriter::add_row(const char* element_name) {
    return Row(root_.append_child(element_name));
}

std::string TableWriter::serialize() const {
    std::ostringstream out;
    doc_.save(out, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
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
        throw UserError(save_error_message(path, e.code().message()));
    }
}

} // namespace mk
