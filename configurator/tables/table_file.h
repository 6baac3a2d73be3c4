#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include <pugixml.hpp>

#include "tables/user_error.h"

namespace mk {

// The three messages every table reader and writer shares.
inline constexpr std::string_view kMsgParserNotInstalled = "Error XML parser not installed";
inline constexpr std::string_view kMsgFileNotFound = "File XML not found";
inline constexpr std::string_view kMsgErrorReading = "Error in reading file XML";

// Anything that goes wrong while loading or reading a table file: malformed XML, an absent
// attribute, a row position that does not exist. Its text is "Error in reading file XML".
class TableReadError : public UserError {
public:
    TableReadError() : UserError(std::string(kMsgErrorReading)) {}
};

// One row of a table file: an element whose fields are attributes, read by name.
class RowReader {
public:
    explicit RowReader(pugi::xml_node node) : node_(node) {}

    // The attribute's text; an absent attribute is a reading error.
    std::string attr(const char* name) const;
    // The attribute's text, or nothing when the row has no such attribute.
    std::optional<std::string> optional_attr(const char* name) const;
    // The element's text content (only the communication parameters keep values as text).
    std::string text() const;
    // Rows nested in this one (the EMCY word table keeps its data elements inside each row).
    std::size_t child_count() const;
    RowReader child(std::size_t index) const;

    pugi::xml_node node() const { return node_; }

private:
    pugi::xml_node node_;
};

// A table file loaded whole. Rows are addressed by position below the root element; element
// names are never compared, and whitespace between elements is ignored.
class TableDocument {
public:
    // Loads the file; throws TableReadError when it cannot be read, is larger than
    // kMaxTableFileSize, holds no root element or a field longer than kMaxFieldLength.
    static TableDocument load(const std::filesystem::path& path);
    // Parses a document held in memory (used by tests and by readers of in-memory data).
    static TableDocument parse(std::string_view text);

    std::size_t row_count() const;
    RowReader row(std::size_t index) const;
    pugi::xml_node root() const { return doc_.document_element(); }

private:
    pugi::xml_document doc_;
};

// Largest table file a reader accepts; anything larger is reported as a reading error instead
// of being loaded into memory. The largest table a project can hold (1500 SDO rows with long
// labels) is well under one megabyte.
inline constexpr std::uintmax_t kMaxTableFileSize = 4u * 1024u * 1024u;
// Longest attribute value or element text a reader accepts, in bytes: far beyond any number or
// label, and short enough that no grid cell is ever handed megabytes of text.
inline constexpr std::size_t kMaxFieldLength = 4096;

// Builds a table document: the root element, then one element per row whose attributes are set
// in the order the table gives. The output has no declaration, comment or whitespace text.
class TableWriter {
public:
    class Row {
    public:
        explicit Row(pugi::xml_node node) : node_(node) {}
        Row& set(const char* name, std::string_view value);
        Row& set_text(std::string_view value);
        Row add_child(const char* element_name);

    private:
        pugi::xml_node node_;
    };

    explicit TableWriter(const char* root_name);

    Row add_row(const char* element_name);
    // The document as it is written to disk.
    std::string serialize() const;
    // Writes the document over `path` through a temporary file, so a failed save leaves the
    // previous file intact. Throws UserError with the file system's reason.
    void save(const std::filesystem::path& path) const;

private:
    pugi::xml_document doc_;
    pugi::xml_node root_;
};

// Text of the error a failed save reports.
std::string save_error_message(const std::filesystem::path& path, std::string_view reason);

} // namespace mk
