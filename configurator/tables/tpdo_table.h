#pragma once

#include <array>
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/message_sink.h"
#include "core/table_file.h"
#include "tables/layout_grid.h"

namespace mk {

// The transmit-PDO table: the PDOs the gateway sends, each filled from a run of Modbus
// registers. Cells are free text as typed; the ranges are checked on "OK".

struct TpdoRow {
    std::string cob_id;    // COB-ID of the PDO, 1..2047
    std::string dimension; // its data length, 1..8
    std::string sma;       // first Modbus register address of its data, 0..65535

    // The table ends above the first row without a COB-ID.
    const std::string& key() const { return cob_id; }
    bool operator==(const TpdoRow&) const = default;
};

// The grid's columns after N, with the range each one must keep at "OK".
extern const std::array<Column<TpdoRow>, 3> kTpdoColumns;

// 3 rows with the PDO layout "15 RPDO and 3 TPDO" (option 0), 8 with any other option.
std::size_t tpdo_layout_rows(int pdo_layout);

using TpdoTable = LayoutGrid<TpdoRow>;

// Shown when writing the file fails; the window stays open so nothing typed is lost.
inline constexpr std::string_view kMsgErrorSavingTpdo = "Error in the save parameter";

// Reads `Transmit_Pdo.xml` into a grid of `layout_rows` rows, grown to the file's row count when
// the file holds more. A missing file shows "File XML not found"; anything else that goes wrong
// (a malformed file, a row lacking one of its three attributes) ends the loading with the
// reading error naming the file and the place, keeps the rows before it and notes the file in
// `incomplete`. Rows from one with an empty COB-ID on are not kept by a save, and one message
// says so.
TpdoTable load_tpdo_table(const std::filesystem::path& path, std::size_t layout_rows,
                          MessageSink& sink, IncompleteFiles* incomplete = nullptr);
TpdoTable parse_tpdo_table(std::string_view xml, std::size_t layout_rows, MessageSink& sink);

// The range checks of "OK" over every row of the grid, rows in order and within a row COB-ID
// (tested only when Dimension is filled), Dimension, Start Modbus Address; a text that is not
// integer text counts as -1. One message per failing test, in that order ("Error in row " and
// the row counted from 1). Rows below the first empty COB-ID are checked too. An empty result
// means the table may be saved.
//
// A grid grown from a damaged file could fail on thousands of rows; after kMaxTpdoMessages
// failures one closing message says from which row on further failures were not listed.
inline constexpr std::size_t kMaxTpdoMessages = 33;
std::vector<std::string> check_tpdo_table(const TpdoTable& table);

// Every cell whose range test fails at "OK", with the test's message, in the order "OK" shows
// them (all of them: the marks are not cut off where the messages are).
CellFaults tpdo_cell_faults(const TpdoTable& table);

// The whole `Transmit_Pdo.xml` document: the rows in grid order down to the first empty COB-ID,
// the three texts unchanged.
std::string serialize_tpdo_table(const TpdoTable& table);
// Writes `Transmit_Pdo.xml` in full through a temporary file. Any failure throws UserError
// "Error in the save parameter" (the reason goes to standard error) and the previous file stays.
void save_tpdo_table(const TpdoTable& table, const std::filesystem::path& path);

} // namespace mk
