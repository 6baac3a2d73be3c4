#include "transfer/sdopdo_transfer.h"

#include "core/integer_text.h"
#include "tables/sdopdo_schema.h"
#include "transfer/sheet_import.h"

namespace mk {

std::string pdo_zero_reason(std::string_view pdo_number) {
    return "PDO number " + std::string(pdo_number) + " is 0 modulo 128, which ends the import";
}

std::optional<std::string> import_sdopdo_workbook(StoredPdoTable& table, WorkbookReader& reader,
                                                  const std::filesystem::path& workbook) {
    return import_sheet(reader, workbook,
                        {sdopdo_file::schema.root_element, 3,
                         [&] {
                             for (TClPdo& pdo : table.pdos)
                                 pdo.entries.clear();
                         },
                         [&](const std::vector<std::string>& cells) -> std::optional<std::string> {
                             const auto p = static_cast<std::size_t>(str_to_int(cells[1]) & 0x7F);
                             if (p == 0)
                                 return pdo_zero_reason(cells[1]);
                             if (p <= table.pdos.size())
                                 table.pdos[p - 1].entries.push_back({cells[0], cells[2]});
                             return std::nullopt;
                         }});
}

std::vector<CsvRecord> sdopdo_csv_records(const StoredPdoTable& table) {
    std::vector<CsvRecord> records;
    for (const TClPdo& pdo : table.pdos)
        for (const TClIndMB& entry : pdo.entries)
            records.push_back({entry.index, std::to_string(pdo.number), entry.poscomp, ""});
    return records;
}

void export_sdopdo_csv(const StoredPdoTable& table, const std::filesystem::path& folder) {
    write_csv(csv_path(sdopdo_file::schema, folder), sdopdo_csv_records(table));
}

} // namespace mk
