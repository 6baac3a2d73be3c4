#include "transfer/sdo_transfer.h"

#include "core/integer_text.h"
#include "tables/sdo_schema.h"
#include "transfer/sheet_import.h"

namespace mk {

namespace {

constexpr std::size_t kSheetColumns = 8;

// The sheet's conf cell in the three grid cells it packs.
void take_conf(const std::string& text, SdoRow& row) {
    if (text.empty())
        return;
    const SdoConf conf = unpack_conf(parse_integer_text(text).value_or(0));
    row.hi_word = std::to_string(conf.hi_word);
    row.rw = std::to_string(conf.rw);
    row.lo_word = std::to_string(conf.lo_word);
}

} // namespace

std::optional<std::string> import_sdo_workbook(SdoTable& table, WorkbookReader& reader,
                                               const std::filesystem::path& workbook) {
    table = SdoTable();
    std::size_t next = 0;
    return import_sheet(reader, workbook,
                        {sdo_file::schema.root_element,
                         kSheetColumns,
                         {},
                         [&](const std::vector<std::string>& cells) -> std::optional<std::string> {
                             if (next == table.size())
                                 throw UserError("the table holds " + std::to_string(table.size()) +
                                                 " rows");
                             SdoRow& row = table.row(next++);
                             take_conf(cells[0], row);
                             row.addr_word = cells[1];
                             row.id = cells[3];
                             row.index = cells[4];
                             row.subindex = cells[5];
                             row.nbyte = cells[6];
                             row.mnemonico = cells[7];
                             return std::nullopt;
                         }});
}

std::vector<CsvRecord> sdo_csv_records(const SdoTable& table) {
    std::vector<CsvRecord> records;
    records.emplace_back(sdo_file::attributes.begin(), sdo_file::attributes.end());
    for (TMyrec& rec : sdo_records_for_saving(table))
        records.push_back({std::move(rec.conf), std::move(rec.addr_word), "0", std::move(rec.id),
                           std::move(rec.index), std::move(rec.subindex), std::move(rec.nbyte),
                           std::move(rec.mnemonico)});
    return records;
}

void export_sdo_csv(const SdoTable& table, const std::filesystem::path& folder) {
    // Collected in full before the file is touched: a bad selector cell writes nothing.
    const std::vector<CsvRecord> records = sdo_csv_records(table);
    write_csv(csv_path(sdo_file::schema, folder), records);
}

} // namespace mk
