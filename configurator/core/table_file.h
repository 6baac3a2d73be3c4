#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/message_sink.h"
#include "core/user_error.h"

namespace pugi {
struct xml_node_struct;
class xml_document;
} // namespace pugi

namespace mk {

// The layout of one table file: its name in the project directory, its root and row elements,
// and the attribute names of a row in the order they are written. Each table declares its
// layout once, in its schema header in tables/; everything that reads or writes the file uses it.
struct TableSchema {
    const char* file_name;
    const char* root_element;
    const char* row_element;
    std::span<const char* const> attributes;

    std::filesystem::path path_in(const std::filesystem::path& dir) const {
        return dir / file_name;
    }
};

// The three messages every table reader and writer shares.
inline constexpr std::string_view kMsgParserNotInstalled = "Error XML parser not installed";
inline constexpr std::string_view kMsgFileNotFound = "File XML not found";
inline constexpr std::string_view kMsgErrorReading = "Error in reading file XML";

// Anything that goes wrong while loading or reading a table file: malformed XML, an absent
// attribute, a row position that does not exist. Its text is "Error in reading file XML"; `where`
// says where and why reading stopped, as ": not a well-formed XML file" or
// ", row 2: no attribute SMA", when that is known.
class TableReadError : public UserError {
public:
    explicit TableReadError(std::string where = {})
        : UserError(std::string(kMsgErrorReading)), where_(std::move(where)) {}
    const std::string& where() const { return where_; }

private:
    std::string where_;
};

// "Error in reading file XML (<file><where>)": the reading error naming the file and the place.
std::string reading_error_text(std::string_view file_name, std::string_view where = {});

// The table files an editor's opening could not read to their end, by file name. The editor
// refuses to write over its file while any is noted (EditSession).
using IncompleteFiles = std::vector<std::string>;

class RowRange;

// One row of a table file: an element whose fields are attributes, read by name. A reader is a
// view into its document and lives no longer than it.
class RowReader {
public:
    // The attribute's text; an absent attribute is a reading error.
    std::string attr(const char* name) const;
    // The attribute's text, or nothing when the row has no such attribute.
    std::optional<std::string> optional_attr(const char* name) const;
    // The element's text content (only the communication parameters keep values as text).
    std::string text() const;
    // The element's name; readers never go by it, tests check what writers wrote.
    std::string name() const;
    // False for stray text between rows, which the rows of a table count but which is no row.
    bool is_element() const;
    // Rows nested in this one (the EMCY word table keeps its data elements inside each row).
    RowRange children() const;
    std::size_t child_count() const;
    RowReader child(std::size_t index) const;

private:
    friend class RowRange;
    friend class TableDocument;
    explicit RowReader(pugi::xml_node_struct* node) : node_(node) {}
    pugi::xml_node_struct* node_;
};

// The child nodes of one element, each a row, in document order. Every child node counts,
// whatever its name; stray text between rows is a row without attributes.
class RowRange {
public:
    class iterator {
    public:
        using value_type = RowReader;
        using difference_type = std::ptrdiff_t;
        iterator() = default;
        RowReader operator*() const { return RowReader(node_); }
        iterator& operator++();
        iterator operator++(int) {
            iterator before = *this;
            ++*this;
            return before;
        }
        bool operator==(const iterator&) const = default;

    private:
        friend class RowRange;
        explicit iterator(pugi::xml_node_struct* node) : node_(node) {}
        pugi::xml_node_struct* node_ = nullptr;
    };

    iterator begin() const;
    iterator end() const { return iterator(); }
    std::size_t size() const;

private:
    friend class RowReader;
    friend class TableDocument;
    explicit RowRange(pugi::xml_node_struct* parent) : parent_(parent) {}
    pugi::xml_node_struct* parent_;
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

    TableDocument(TableDocument&&) noexcept;
    TableDocument& operator=(TableDocument&&) noexcept;
    ~TableDocument();

    RowRange rows() const;
    std::size_t row_count() const;
    // The row at a position; a position the file does not have is a reading error.
    RowReader row(std::size_t index) const;
    // An attribute of the row at a position, or nothing when the file has no such row or the row
    // no such attribute (fields that later versions of a table added).
    std::optional<std::string> optional_attr(std::size_t index, const char* name) const;

private:
    TableDocument();
    std::unique_ptr<pugi::xml_document> doc_;
};

// Largest table file a reader accepts; anything larger is reported as a reading error instead
// of being loaded into memory. The largest table a project can hold (1500 SDO rows with long
// labels) is well under one megabyte.
inline constexpr std::uintmax_t kMaxTableFileSize = 4u * 1024u * 1024u;
// Longest attribute value or element text a reader accepts, in bytes: far beyond any number or
// label, and short enough that no grid cell is ever handed megabytes of text.
inline constexpr std::size_t kMaxFieldLength = 4096;

// How a table file reader reports what it meets. A message left empty is not shown. A missing
// file is an ordinary condition and shows as information; a file that cannot be read is an error.
struct ReadingMessages {
    std::optional<std::string_view> missing = kMsgFileNotFound;
    std::optional<std::string_view> unreadable = kMsgErrorReading;
    // The unreadable message names the file and the place (reading_error_text) instead.
    bool name_place = false;
};
inline constexpr ReadingMessages kSilentReading{std::nullopt, std::nullopt};

enum class LoadOutcome { Loaded, FileMissing, ReadError };

// The one way table files are read. A missing file shows `messages.missing` and reads nothing.
// Otherwise the document is loaded and handed to `read`; a failure while loading or reading (a
// TableReadError, or any other UserError such as a conversion error) shows `messages.unreadable`
// and ends the reading, so whatever `read` stored before the failure stays, and the file's name
// goes into `incomplete` when given.
LoadOutcome load_document(const std::filesystem::path& path, MessageSink& sink,
                          const std::function<void(const TableDocument&)>& read,
                          const ReadingMessages& messages = {},
                          IncompleteFiles* incomplete = nullptr);

// The same rule over a document held in memory (tests, and data that did not come from a file);
// `file_name` is the name a message that names the place gives it.
LoadOutcome parse_document(std::string_view text, MessageSink& sink,
                           const std::function<void(const TableDocument&)>& read,
                           const ReadingMessages& messages = {}, std::string_view file_name = {});

// Reads the root's children of a loaded document, row by row, until `read_row` returns false.
// A TableReadError of a row gets the row's position (from 1) into its place.
void read_rows(const TableDocument& doc, const std::function<bool(const RowReader&)>& read_row);

// load_document for the common shape: the root's children, row by row, in document order.
// `read_row` returns false to stop early (a grid that is full).
LoadOutcome load_rows(const std::filesystem::path& path, MessageSink& sink,
                      const std::function<bool(const RowReader&)>& read_row,
                      const ReadingMessages& messages = {}, IncompleteFiles* incomplete = nullptr);

// Builds a table document: the root element, then one element per row whose attributes are set
// in the order the table gives. The output has no declaration, comment or whitespace text.
class TableWriter {
public:
    class Row {
    public:
        Row& set(const char* name, std::string_view value);
        Row& set_text(std::string_view value);
        Row add_child(const char* element_name);

    private:
        friend class TableWriter;
        explicit Row(pugi::xml_node_struct* node) : node_(node) {}
        pugi::xml_node_struct* node_;
    };

    explicit TableWriter(const char* root_name);
    explicit TableWriter(const TableSchema& schema) : TableWriter(schema.root_element) {}
    TableWriter(TableWriter&&) noexcept;
    ~TableWriter();

    Row add_row(const char* element_name);
    // A row of the schema's row element.
    Row add_row(const TableSchema& schema) { return add_row(schema.row_element); }
    // The document as it is written to disk.
    std::string serialize() const;
    // Writes the document over `path` through a temporary file, so a failed save leaves the
    // previous file intact. Throws UserError with the file system's reason.
    void save(const std::filesystem::path& path) const;

private:
    std::unique_ptr<pugi::xml_document> doc_;
    pugi::xml_node_struct* root_;
};

// Text of the error a failed save reports.
std::string save_error_message(const std::filesystem::path& path, std::string_view reason);

} // namespace mk
