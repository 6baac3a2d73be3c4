#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/message_sink.h"
#include "core/table_file.h"
#include "tables/emcy_table.h"

namespace mk {

// The EMCY word table (emcyword.xml): for every row of the EMCY translation table, the Modbus
// registers that receive bytes of that emergency message. The n-th group of the word file belongs
// to the n-th row of emcydef.xml; nothing else links them, so the groups are kept in the order of
// the EMCY rows and written one per row.

// One register mapping: the register number, and the byte selection whose high nibble names the
// message byte (1 to 5, 0 for none) placed in the register's high byte and whose low nibble names
// the one placed in its low byte.
struct TWordObj {
    std::uint16_t word = 0;
    std::uint8_t byte = 0;
    bool operator==(const TWordObj&) const = default;
};

// The six choices of each byte group, by byte number.
inline constexpr std::array<const char*, 6> kByteChoices = {
    "None", "First Byte", "Second Byte", "Third Byte", "Fourth Byte", "Fifth Byte"};
inline constexpr int kNoByte = 0;
// The heading of the register list.
inline constexpr const char* kRegisterColumnTitle = "Modbus Register";
inline constexpr int kLastByte = 5;

// High byte number x 16 + low byte number; both are 0 to 5.
std::uint8_t byte_selection(int hi, int lo);
// The choice a nibble selects when a mapping is picked: a byte number outside 1 to 5 is "None".
int hi_byte_choice(std::uint8_t selection);
int lo_byte_choice(std::uint8_t selection);

inline constexpr std::string_view kMsgSelectByte = "Error!!! You have to select at least one byte.";
inline constexpr std::string_view kMsgSelectEmcy =
    "Error!!! You have to select one EMCY from the list.";
inline constexpr std::string_view kMsgSelectRegister =
    "Error!!! You have to select one Modbus Register from the list.";
inline constexpr std::string_view kMsgRegisterRange =
    "Error!!! The Number of Modbus Register must to be between 0 and 65535.";
inline constexpr std::string_view kMsgRegisterUsed =
    "Error!!! This Numer of Register Modbus is already used.";

// One EMCY row as read from emcydef.xml, with its register mappings in order.
struct EmcyWordEntry {
    EmcyRow emcy;
    std::vector<TWordObj> mappings;
    bool operator==(const EmcyWordEntry&) const = default;
};

class EmcyWordTable {
public:
    const std::vector<EmcyWordEntry>& entries() const { return entries_; }
    // Where reading stopped, for each of the two files that could not be read to its end; saving
    // is refused while there is any.
    const std::vector<ReadFault>& faults() const { return faults_; }

    // "New": appends a mapping with the typed register number and the byte selection of the two
    // groups to the selected entry. Checks, in order: a byte chosen, an EMCY row selected, the
    // number 0 to 65535 (integer text; anything else counts as -1), the number unused in the
    // whole table. Returns the failure message, or nothing when the mapping was added.
    std::optional<std::string_view> add(std::optional<std::size_t> entry, int hi, int lo,
                                        std::string_view register_text);
    // "Modify": overwrites the selected mapping in place. Checks, in order: a byte chosen, an
    // EMCY row selected, a register selected, the number's range, the number unused by any other
    // mapping (the selected one may keep its own).
    std::optional<std::string_view> modify(std::optional<std::size_t> entry,
                                           std::optional<std::size_t> mapping, int hi, int lo,
                                           std::string_view register_text);
    // "Delete": removes the selected mapping. Checks an EMCY row, then a register, selected.
    std::optional<std::string_view> remove(std::optional<std::size_t> entry,
                                           std::optional<std::size_t> mapping);

    // Undo and Redo: the mappings as they were before or after a change made in the window.
    void restore_entries(std::vector<EmcyWordEntry> entries) { entries_ = std::move(entries); }

    // Used by the reader.
    std::vector<EmcyWordEntry>& entries_for_reading() { return entries_; }
    void add_fault(ReadFault fault) { faults_.push_back(std::move(fault)); }

private:
    const EmcyWordEntry* entry_at(std::optional<std::size_t> entry) const;
    bool register_used(std::uint16_t word, const TWordObj* except) const;

    std::vector<EmcyWordEntry> entries_;
    std::vector<ReadFault> faults_;
};

// The groups of emcyword.xml that pair with `rows` EMCY rows: the n-th child of the root belongs
// to the n-th row. Text standing between the groups is no group, and pairing it with a row would
// shift every later group onto the wrong row; the paired groups then end before it, and
// `stray_at` gives its position (from 1). `surplus` counts the groups beyond the rows. The
// window's reader and the image builder pair the groups by this one rule.
struct WordGroups {
    std::vector<RowReader> paired;
    std::optional<std::size_t> stray_at;
    std::size_t surplus = 0;
};
WordGroups word_groups(const TableDocument& doc, std::size_t rows);

// "emcyword.xml holds N groups but emcydef.xml has M EMCY rows: ..." said at opening.
std::string groups_beyond_rows_message(std::size_t groups, std::size_t rows);

// Reads the project's emcydef.xml (the entries, in file order) and then emcyword.xml: its first
// min(entries, groups) groups give the mappings of the entries in order; surplus groups are
// not kept (one message says how many) and entries without a group start empty. A missing file
// of either kind is no error. A file that is not well-formed, an EMCY row without an attribute,
// text between the groups, or a mapping whose Dati_Word or Dati_Byte is missing, not integer
// text or outside its width (0 to 65535, 0 to 255) shows the reading error naming the file and
// the place, keeps what was read before it, and marks the table as incomplete.
EmcyWordTable load_emcy_word_table(const std::filesystem::path& project_dir, MessageSink& sink);
// The same over documents held in memory; nothing stands for a missing file.
EmcyWordTable parse_emcy_word_table(std::optional<std::string_view> emcy_xml,
                                    std::optional<std::string_view> word_xml, MessageSink& sink);

// The whole emcyword.xml document: one EMCY_ROW per entry, one Dati per mapping, in decimal.
std::string serialize_emcy_word_table(const EmcyWordTable& table);
// Writes emcyword.xml in full through a temporary file. Refuses (UserError, nothing written)
// when either file was not read completely: the groups or mappings after the fault would be lost.
void save_emcy_word_table(const EmcyWordTable& table, const std::filesystem::path& path);

} // namespace mk
