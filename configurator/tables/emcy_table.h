#pragma once

#include <array>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/message_sink.h"

namespace mk {

// The EMCY translation table (emcydef.xml): the emergency messages the gateway translates. Rows
// are kept as the texts they were read or made with: a row read from the file is written back
// exactly as read, a row made in the window is in canonical form.

// One EMCY row: ID EMCY, EMCY Error Code and Error Register, as texts.
struct EmcyRow {
    std::string id;
    std::string error_code;
    std::string error_register;

    // The three texts joined by tabs; two rows are equal when these texts are identical.
    std::string display_text() const;
    bool operator==(const EmcyRow&) const = default;
};

// The headings of the EMCY list, left to right.
inline constexpr std::array<const char*, 3> kEmcyColumnTitles = {"ID EMCY", "Error Code",
                                                                 "Error Register"};

inline constexpr std::string_view kMsgEmcyIdRange =
    "Error!!! The ID EMCY must to be between 1 and 127.";
inline constexpr std::string_view kMsgEmcyErrorCodeRange =
    "Error!!! The EMCY Error Code must to be between 0x0000 and 0xFFFF.";
inline constexpr std::string_view kMsgEmcyErrorRegisterRange =
    "Error!!! The Error Register must to be between 0x00 and 0xFF.";
inline constexpr std::string_view kMsgEmcyAlreadyPresent =
    "Error!!! These values are already present.";

// A file that could not be read to its end: which file, where and why. The rows before the fault
// are in the table; the rest of the file is not, so the table must not be written over it.
struct ReadFault {
    std::string file_name;
    std::string message; // "Error in reading file XML (<file>, <where>: <why>)"
};

// The EMCY windows' messages begin so.
inline constexpr std::string_view kEmcyVoice = "Error!!! ";

// "Error!!! <file> could not be read completely ..." given when saving would lose what a file
// held beyond the place where reading stopped.
std::string incomplete_file_message(std::string_view file_name);

// The canonical row for three typed fields, or the message of the first check that fails: ID EMCY
// 1 to 127, EMCY Error Code 0 to 65535, Error Register 0 to 255, in this order. Each field is
// integer text; anything else (an empty field included) counts as -1 and fails its range.
struct EmcyCheck {
    std::optional<EmcyRow> row;
    std::string_view message;
};
EmcyCheck canonical_emcy_row(const EmcyRow& typed);

class EmcyTable {
public:
    const std::vector<EmcyRow>& rows() const { return rows_; }
    // Set when the file could not be read to its end; saving is then refused.
    const std::optional<ReadFault>& fault() const { return fault_; }

    // "New EMCY": checks the typed fields and appends the canonical row unless the list already
    // holds its text. Returns the failure message, or nothing when the row was added.
    std::optional<std::string_view> add(const EmcyRow& typed);
    // "Modify EMCY": the same checks (the selected row takes part in the comparison), then the
    // selected row becomes the canonical row. With no row selected the list stays as it is.
    std::optional<std::string_view> modify(std::optional<std::size_t> selected,
                                           const EmcyRow& typed);
    // "Delete EMCY": removes the selected row; nothing happens without a valid selection.
    void remove(std::optional<std::size_t> selected);

    // Undo and Redo: the list as it was before or after a change made in the window.
    void restore_rows(std::vector<EmcyRow> rows) { rows_ = std::move(rows); }

    // Used by the reader: appends a row as read, and notes where reading stopped.
    void append_as_read(EmcyRow row) { rows_.push_back(std::move(row)); }
    void set_fault(ReadFault fault) { fault_ = std::move(fault); }

private:
    std::optional<std::string_view> check(const EmcyRow& typed,
                                          std::optional<EmcyRow>& canonical) const;

    std::vector<EmcyRow> rows_;
    std::optional<ReadFault> fault_;
};

// Reads emcydef.xml. A missing file is an empty table without a message. A file that is not
// well-formed, or a row without one of the three attributes, shows the reading error naming the
// file and the row, keeps the rows read before it and marks the table as incomplete.
EmcyTable load_emcy_table(const std::filesystem::path& path, MessageSink& sink);
EmcyTable parse_emcy_table(std::string_view xml, MessageSink& sink);

// The whole emcydef.xml document: one `row` per table row, in list order.
std::string serialize_emcy_table(const EmcyTable& table);
// Writes emcydef.xml in full through a temporary file. Refuses (UserError, nothing written) when
// the table was not read completely, since the rows after the fault would be lost.
void save_emcy_table(const EmcyTable& table, const std::filesystem::path& path);

} // namespace mk
