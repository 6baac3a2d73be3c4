#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tables/sdopdo_table.h"
#include "transfer/csv_export.h"
#include "transfer/workbook.h"

namespace mk {

// Spreadsheet import and CSV export of the stored-PDO table (sheet `sdopdo`, file
// `sdopdo.csv`).

// Why a sheet row whose PDO number is 0 modulo 128 ends the import: "PDO number 128 is 0 modulo
// 128, which ends the import". The import's message adds the row and how many rows were left.
std::string pdo_zero_reason(std::string_view pdo_number);

// Fills the PDOs' entries from the workbook's `sdopdo` sheet. Once the sheet is found every
// PDO's entries are emptied; then each data row's column 2 is converted as integer text (an
// empty cell fails) and its low seven bits (value modulo 128) give the PDO number p. p = 0 ends
// the import; a p beyond the PDO list skips the row; otherwise an entry with index = column 1
// and poscomp = column 3 is appended to PDO p. The PDO list itself is not touched. Returns the
// message for the user when the import did not run to the end (p = 0 included: it says where
// and how many rows were not read); the entries taken before stay.
std::optional<std::string> import_sdopdo_workbook(StoredPdoTable& table, WorkbookReader& reader,
                                                  const std::filesystem::path& workbook);

// The records of `sdopdo.csv`: no heading; for each PDO in list order and each of its entries
// in order (unsorted): index, PDO number, poscomp and an empty last field (a final comma).
std::vector<CsvRecord> sdopdo_csv_records(const StoredPdoTable& table);

// Writes `sdopdo.csv` into the folder.
void export_sdopdo_csv(const StoredPdoTable& table, const std::filesystem::path& folder);

} // namespace mk
