#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/message_sink.h"
#include "core/table_file.h"

namespace mk {

// The stored-PDO table: for every receive PDO, the Modbus registers its data bytes are stored in.
// Each entry names a register index and which PDO byte goes into the register's high byte and
// which into its low byte. Entries refer to their PDO by its position in rpdodef.xml.

// One stored entry: texts as typed or loaded.
struct TClIndMB {
    std::string index;   // Modbus register index, integer text
    std::string poscomp; // byte selection in decimal: high choice x 16 + low choice
    bool operator==(const TClIndMB&) const = default;
};

// One receive PDO as rpdodef.xml lists it, with the entries stored for it.
struct TClPdo {
    std::string cobid;
    int number = 0; // 1-based position of its row in rpdodef.xml
    std::vector<TClIndMB> entries;
    bool operator==(const TClPdo&) const = default;
};

// Which PDO data byte goes into each half of a register: 0 for none, 1 to 8 for "B1" to "B8".
struct ByteChoice {
    int high = 0;
    int low = 0;
    bool operator==(const ByteChoice&) const = default;
};
// The decimal poscomp text of a choice.
std::string poscomp_text(ByteChoice choice);
// The choice a poscomp value shows: bits 4 to 7 and bits 0 to 3; a nibble above 8 (a value the
// editor never writes, but a hand-edited or imported file may hold) shows as "B8".
ByteChoice byte_choice_of(std::int32_t poscomp);

// What the editor works on: the SDO table's Modbus addresses (only to keep indexes unique) and
// the PDO list with the entries of each PDO.
struct StoredPdoTable {
    std::vector<std::string> sdo_indexes; // IndexA of every sdo.xml row
    std::vector<TClPdo> pdos;             // every rpdodef.xml row, in file order
    bool operator==(const StoredPdoTable&) const = default;
};

inline constexpr std::string_view kMsgErrorReadingSdo = "Error in reading file SDO XML";
inline constexpr std::string_view kMsgErrorReadingPdo = "Error in reading file PDO XML";
inline constexpr std::string_view kMsgErrorReadingSdoPdo = "Error in reading file SDOPDO XML";
inline constexpr std::string_view kMsgIndexIsSdoAddress =
    "Index or Subindex Not Valid,Ind MB Already Exists";
inline constexpr std::string_view kMsgIndexInUse = "Index or Subindex Not Valid";

// "sdopdo.xml holds N entries for PDOs beyond the M rows of rpdodef.xml: ..." said at opening.
std::string entries_beyond_pdos_message(std::size_t entries, std::size_t pdos);

// Reads sdo.xml, rpdodef.xml and sdopdo.xml of the project, in that order. Each missing file
// shows "File XML not found" and gives an empty list; each unreadable one shows its own reading
// message and keeps what was read before the fault. A stored row belongs to PDO `nrpdo` modulo
// 128; rows of PDOs beyond the list are skipped (one message says how many), and PDO 0 ends the
// reading as a fault. An unreadable rpdodef.xml or sdopdo.xml goes into `incomplete`: saving
// would drop what was not read. The SDO addresses only keep indexes unique; an unreadable
// sdo.xml does not stop the table from being saved.
StoredPdoTable load_stored_pdo_table(const std::filesystem::path& project_dir, MessageSink& sink,
                                     IncompleteFiles* incomplete = nullptr);

// The entry a uniqueness check leaves out (the one being modified).
struct EntryRef {
    std::size_t pdo;
    std::size_t entry;
};

// Whether `candidate` may become an entry's index: not one of the SDO addresses (checked
// first), not the index of another entry (PDOs and entries in order, `skip` left out), compared
// by value. A refusal shows its message and returns false. Texts are converted only when there
// is something to compare: a candidate or a stored index that is not integer text throws
// ConversionError at its first comparison.
bool index_is_unique(const StoredPdoTable& table, std::string_view candidate, const EntryRef* skip,
                     MessageSink& sink);

// The whole sdopdo.xml document: every entry, scanned PDO by PDO, in ascending index value
// (equal values: the entry met later first), each with its index and poscomp texts, subindex
// "0" and its PDO's number. An index that is not integer text throws ConversionError.
std::string serialize_stored_pdo_table(const StoredPdoTable& table);
// Writes sdopdo.xml in full through a temporary file; a failure leaves the previous file.
void save_stored_pdo_table(const StoredPdoTable& table, const std::filesystem::path& path);

} // namespace mk
