#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tables/rpdo_table.h"
#include "transfer/csv_export.h"
#include "transfer/workbook.h"

namespace mk {

// Spreadsheet import and CSV export of the receive-PDO translation table (sheet `rpdodef`,
// file `rpdodef.csv`).

// Empties the table (back to the rows of its PDO layout), then fills it from the workbook's
// `rpdodef` sheet: data row k goes to table row k, columns 1 to 3 to cobid, id_dev_orig and
// dimension, the texts as they come (a cobid that is not integer text is reported by "OK").
// A sheet with more rows than the layout grows the table, as a file with more rows does: the
// rows are shown, noted as lying outside the layout, and saved with the others. Returns the
// message for the user when the import did not run to the end; the rows taken before stay.
std::optional<std::string> import_rpdo_workbook(RpdoTable& table, WorkbookReader& reader,
                                                const std::filesystem::path& workbook);

// The records of `rpdodef.csv`: the heading "cobid,id_dev_orig,en_bypass,posind,n_tpdo " (with
// its trailing blank), then cobid, id_dev_orig, 0, 0, 0 for each row in use, in table order;
// dimension is not written.
std::vector<CsvRecord> rpdo_csv_records(const RpdoTable& table);

// Writes `rpdodef.csv` into the folder.
void export_rpdo_csv(const RpdoTable& table, const std::filesystem::path& folder);

} // namespace mk
