#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/grid_table.h"
#include "core/message_sink.h"
#include "core/table_file.h"

namespace mk {

// The SDO access table: each row binds one Modbus register address to one object of one
// CANopen node. The editor holds the rows as the texts the user typed; numbers are read from
// them only to validate and to save, so a value typed as 0x1000 is stored as 0x1000.

// One data row of the grid, its cells left to right (column N is the row's position).
struct SdoRow {
    std::string addr_word; // Modbus register address, 1..65535      -> IndexA
    std::string hi_word;   // selector for the register's high half  -> conf bits 5..15
    std::string lo_word;   // selector for the register's low half   -> conf bits 0..2
    std::string rw;        // read/write flag                        -> conf bit 4
    std::string id;        // CANopen node-ID, 1..127                -> devIDB
    std::string index;     // object index, 0x1000..0xFFFF           -> IndexB
    std::string subindex;  // object subindex, 0..255                -> SubindexB
    std::string nbyte;     // object size in bytes, 1, 2 or 4        -> nbyteB
    std::string mnemonico; // free label, never validated            -> mnemonico

    // The table ends above the first row without an Addr Word.
    const std::string& key() const { return addr_word; }
    bool operator==(const SdoRow&) const = default;
};

// The grid's columns after N, in grid order, with their checks in the order a row is checked.
extern const std::array<Column<SdoRow>, 9> kSdoColumns;

// The three Modbus-side selectors packed into the 16-bit `conf` value of the file and of the
// device: Hi Word x 32 + R/W x 16 + Lo Word. Bit 3 is always 0.
struct SdoConf {
    int hi_word = 0;
    int rw = 0;
    int lo_word = 0;
};
std::int32_t pack_conf(const SdoConf& conf);
// Only the low 16 bits count, and bit 3 is dropped: 148 gives 4, 1, 4; 8 and 65536 give 0, 0, 0.
SdoConf unpack_conf(std::int32_t value);

// The grid: always 1500 data rows (see GridTable for the extent of the table proper).
struct SdoTable : GridTable<SdoRow> {
    static constexpr std::size_t kRows = 1500;
    SdoTable() : GridTable(kRows) {}
};

// The row record written for each table row: the seven texts in this order.
struct TMyrec {
    std::string conf; // packed value in decimal
    std::string addr_word;
    std::string id;
    std::string index;
    std::string subindex;
    std::string nbyte;
    std::string mnemonico;

    bool operator==(const TMyrec&) const = default;
};

// "The file holds N rows but the table shows 1500: the last M rows are not loaded and will not
// be kept when the table is saved".
std::string rows_not_kept_message(std::size_t held, std::size_t shown);

// Reads `sdo.xml` into a fresh table. A missing file shows "File XML not found" and gives an
// empty table; a file that cannot be read (malformed, a row lacking IndexA, devIDB, IndexB,
// SubindexB or nbyteB) shows "Error in reading file XML", keeps the rows read before the fault
// and notes the file in `incomplete`. Rows after the 1500th are not loaded; when the file holds
// rows the table will not keep (beyond the 1500th, or from a row with an empty Addr Word on),
// one message says how many and why. Never throws for bad content.
SdoTable load_sdo_table(const std::filesystem::path& path, MessageSink& sink,
                        IncompleteFiles* incomplete = nullptr);
// The same reading rules over a document held in memory.
SdoTable parse_sdo_table(std::string_view xml, MessageSink& sink);

// Checks the rows of the table, top down. Returns the message of the last row that failed
// (its first failing column, then the row number counted from 1), or nothing when every row
// passes. A checked cell that is not integer text throws ConversionError at once.
std::optional<std::string> validate_sdo_table(const SdoTable& table);

// Every cell of the table proper that "OK" would refuse, in row order, with the message "OK"
// would show for it: the column's range text and the row counted from 1, or "'%s' is not a
// valid integer value". Every checked column of a row is looked at, so fixing one cell of a
// row never brings up another the user was not told of. Rows below the table, and the
// mnemonico column, are never faulty.
CellFaults sdo_cell_faults(const SdoTable& table);

// The records of the table's rows in the order they are saved: stably sorted by the numeric
// value of Addr Word. Throws ConversionError for an Addr Word, Hi Word, R/W or Lo Word cell that
// is not integer text. Saving and the CSV export share this.
std::vector<TMyrec> sdo_records_for_saving(const SdoTable& table);

// The whole `sdo.xml` document for the table.
std::string serialize_sdo_table(const SdoTable& table);
// Writes `sdo.xml` in full through a temporary file: on any failure the previous file stays as
// it was and a UserError (or ConversionError) says why.
void save_sdo_table(const SdoTable& table, const std::filesystem::path& path);

} // namespace mk
