#include "transfer/rpdo_transfer.h"

#include <utility>

#include "tables/rpdo_schema.h"
#include "transfer/sheet_import.h"

namespace mk {

std::optional<std::string> import_rpdo_workbook(RpdoTable& table, WorkbookReader& reader,
                                                const std::filesystem::path& workbook) {
    const std::size_t layout_rows = table.layout_rows();
    table = RpdoTable(layout_rows, {});
    std::vector<RpdoRow> rows;
    const auto problem =
        import_sheet(reader, workbook,
                     {rpdo_file::schema.root_element,
                      3,
                      {},
                      [&](const std::vector<std::string>& cells) -> std::optional<std::string> {
                          rows.push_back({cells[0], cells[1], cells[2]});
                          return std::nullopt;
                      }});
    // Also after a failure: the rows taken so far are shown.
    table = RpdoTable(layout_rows, std::move(rows));
    return problem;
}

std::vector<CsvRecord> rpdo_csv_records(const RpdoTable& table) {
    std::vector<CsvRecord> records;
    // The heading of this file has always named the older layout's columns.
    records.push_back({"cobid", "id_dev_orig", "en_bypass", "posind", "n_tpdo "});
    const std::size_t rows = table.extent();
    for (std::size_t i = 0; i < rows; ++i)
        records.push_back({table.row(i).cobid, table.row(i).id_dev_orig, "0", "0", "0"});
    return records;
}

void export_rpdo_csv(const RpdoTable& table, const std::filesystem::path& folder) {
    write_csv(csv_path(rpdo_file::schema, folder), rpdo_csv_records(table));
}

} // namespace mk
