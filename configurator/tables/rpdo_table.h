#pragma once

#include <array>
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

#include "core/message_sink.h"
#include "core/table_file.h"
#include "tables/layout_grid.h"

namespace mk {

// The receive-PDO translation table: the PDOs the gateway takes from CAN bus A, each named by
// its COB-ID, the device that sends it and its data length. Cells hold the texts as typed; the
// editor checks no ranges, the image builder decides what the values mean to the device.

struct RpdoRow {
    std::string cobid;       // COB-ID of the PDO, the sort key of the file
    std::string id_dev_orig; // the device that sends it
    std::string dimension;   // its data length

    // The table ends above the first row without a COB-ID.
    const std::string& key() const { return cobid; }
    bool operator==(const RpdoRow&) const = default;
};

// The grid's columns after N. Every cell takes integer text, filtered as it is typed.
extern const std::array<Column<RpdoRow>, 3> kRpdoColumns;

// 15 rows with the PDO layout "15 RPDO and 3 TPDO" (option 0), 8 with any other option.
std::size_t rpdo_layout_rows(int pdo_layout);

using RpdoTable = LayoutGrid<RpdoRow>;

// Reads `rpdodef.xml` into a grid of `layout_rows` rows, grown to the file's row count when the
// file holds more. A missing file shows "File XML not found" and gives an empty grid; a file
// that is not well-formed, or a row lacking `cobid` or `id_dev_orig`, shows "Error in reading
// file XML", keeps the rows read before it and notes the file in `incomplete`. `dimension` may
// be absent (older files carry `en_bypass` instead); other attributes are ignored. Rows from one
// with an empty `cobid` on are not kept by a save, and one message says so.
RpdoTable load_rpdo_table(const std::filesystem::path& path, std::size_t layout_rows,
                          MessageSink& sink, IncompleteFiles* incomplete = nullptr);
// The same reading rules over a document held in memory.
RpdoTable parse_rpdo_table(std::string_view xml, std::size_t layout_rows, MessageSink& sink);

// The cells "OK" would refuse: a COB-ID of the table proper (down to the first empty one) that
// is not integer text, with the message "'%s' is not a valid integer value". The editor checks
// no ranges, so nothing else is ever faulty.
CellFaults rpdo_cell_faults(const RpdoTable& table);

// The whole `rpdodef.xml` document: the rows in use (down to the first empty COB-ID) in
// ascending COB-ID value, equal values in reverse grid order, texts unchanged, `posind` and
// `n_tpdo` "0". A COB-ID that is not integer text throws ConversionError.
std::string serialize_rpdo_table(const RpdoTable& table);
// Writes `rpdodef.xml` in full through a temporary file; on any failure the previous file stays
// and the error says why.
void save_rpdo_table(const RpdoTable& table, const std::filesystem::path& path);

} // namespace mk
