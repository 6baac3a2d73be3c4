#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tables/sdo_table.h"
#include "transfer/csv_export.h"
#include "transfer/workbook.h"

namespace mk {

// Spreadsheet import and CSV export of the SDO access table (sheet `sdo`, file `sdo.csv`).

// Empties every cell of the table, then fills it from the workbook's `sdo` sheet: data row k
// goes to table row k. Sheet columns by position: conf (split into Hi Word, R/W, Lo Word; all
// three 0 when it is not integer text, all three empty when the cell is), IndexA (Addr Word),
// SubindexA (ignored), devIDB (ID), IndexB (Index), SubindexB (SubIndex), nbyteB (nByte),
// mnemonico. Returns the message for the user when the import did not run to the end; the rows
// taken before stay.
std::optional<std::string> import_sdo_workbook(SdoTable& table, WorkbookReader& reader,
                                               const std::filesystem::path& workbook);

// The records of `sdo.csv`: the heading, then one record per row in the order `sdo.xml` is
// written. A Hi Word, R/W or Lo Word cell that is not integer text throws ConversionError.
std::vector<CsvRecord> sdo_csv_records(const SdoTable& table);

// Writes `sdo.csv` into the folder. Nothing is written when the rows cannot be collected.
void export_sdo_csv(const SdoTable& table, const std::filesystem::path& folder);

} // namespace mk
