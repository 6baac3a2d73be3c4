#include "tables/sdopdo_table.h"

#include <algorithm>
#include <utility>

#include "core/counted.h"
#include "core/integer_text.h"
#include "core/table_file.h"
#include "tables/ordered_write.h"
#include "tables/rpdo_schema.h"
#include "tables/sdo_schema.h"
#include "tables/sdopdo_schema.h"

namespace mk {

std::string poscomp_text(ByteChoice choice) {
    return std::to_string(choice.high * 16 + choice.low);
}

ByteChoice byte_choice_of(std::int32_t poscomp) {
    const auto bits = static_cast<std::uint32_t>(poscomp);
    const auto clamp = [](std::uint32_t nibble) { return static_cast<int>(std::min(nibble, 8u)); };
    return {clamp((bits >> 4) & 0xFu), clamp(bits & 0xFu)};
}

namespace {

void read_sdo_indexes(const std::filesystem::path& dir, StoredPdoTable& table, MessageSink& sink) {
    load_rows(sdo_file::schema.path_in(dir), sink,
              [&](const RowReader& r) {
                  table.sdo_indexes.push_back(r.attr(sdo_file::IndexA));
                  return true;
              },
              {kMsgFileNotFound, kMsgErrorReadingSdo});
}

// A PDO list read only in part would drop the entries of the PDOs not read: `incomplete` notes
// the file, so the table is not saved over.
LoadOutcome read_pdo_list(const std::filesystem::path& dir, StoredPdoTable& table,
                          MessageSink& sink, IncompleteFiles* incomplete) {
    return load_rows(
        rpdo_file::schema.path_in(dir), sink,
        [&](const RowReader& r) {
            TClPdo pdo;
            pdo.cobid = r.attr(rpdo_file::cobid);
            pdo.number = static_cast<int>(table.pdos.size()) + 1;
            table.pdos.push_back(std::move(pdo));
            return true;
        },
        {kMsgFileNotFound, kMsgErrorReadingPdo}, incomplete);
}

// Entries of PDOs beyond the list are skipped; returns how many.
std::size_t read_entries(const std::filesystem::path& dir, StoredPdoTable& table, MessageSink& sink,
                         IncompleteFiles* incomplete, LoadOutcome& outcome) {
    std::size_t skipped = 0;
    outcome = load_rows(
        sdopdo_file::schema.path_in(dir), sink,
        [&](const RowReader& r) {
            using namespace sdopdo_file;
            const std::string pdo_number = r.attr(nrpdo);
            TClIndMB entry{r.attr(index), r.attr(poscomp)};
            // The PDO number is kept in seven bits: 129 is PDO 1.
            const auto p = static_cast<std::size_t>(str_to_int(pdo_number) & 0x7F);
            if (p == 0)
                throw TableReadError();
            if (p <= table.pdos.size())
                table.pdos[p - 1].entries.push_back(std::move(entry));
            else
                ++skipped;
            return true;
        },
        {kMsgFileNotFound, kMsgErrorReadingSdoPdo}, incomplete);
    return skipped;
}

} // namespace

std::string entries_beyond_pdos_message(std::size_t entries, std::size_t pdos) {
    const bool one = entries == 1;
    return std::string(sdopdo_file::schema.file_name) + " holds " +
           counted(entries, "entry for a PDO", "entries for PDOs") + " beyond the " +
           counted(pdos, "row", "rows") + " of " + rpdo_file::schema.file_name + ": " +
           (one ? "it is" : "they are") + " not shown and will not be kept when the table is saved";
}

StoredPdoTable load_stored_pdo_table(const std::filesystem::path& project_dir, MessageSink& sink,
                                     IncompleteFiles* incomplete) {
    StoredPdoTable table;
    read_sdo_indexes(project_dir, table, sink);
    const LoadOutcome pdos = read_pdo_list(project_dir, table, sink, incomplete);
    LoadOutcome entries = LoadOutcome::Loaded;
    const std::size_t skipped = read_entries(project_dir, table, sink, incomplete, entries);
    // Said only when both files were read whole; otherwise saving is refused anyway.
    if (skipped > 0 && pdos != LoadOutcome::ReadError && entries == LoadOutcome::Loaded)
        sink.show(entries_beyond_pdos_message(skipped, table.pdos.size()), MessageKind::Warning);
    return table;
}

bool index_is_unique(const StoredPdoTable& table, std::string_view candidate, const EntryRef* skip,
                     MessageSink& sink) {
    for (const std::string& sdo_index : table.sdo_indexes) {
        if (str_to_int(candidate) == str_to_int(sdo_index)) {
            sink.show(kMsgIndexIsSdoAddress, MessageKind::Warning);
            return false;
        }
    }
    for (std::size_t p = 0; p < table.pdos.size(); ++p) {
        const std::vector<TClIndMB>& entries = table.pdos[p].entries;
        for (std::size_t e = 0; e < entries.size(); ++e) {
            if (skip && skip->pdo == p && skip->entry == e)
                continue;
            if (str_to_int(candidate) == str_to_int(entries[e].index)) {
                sink.show(kMsgIndexInUse, MessageKind::Warning);
                return false;
            }
        }
    }
    return true;
}

namespace {

TableWriter document_of(const StoredPdoTable& table) {
    // The scan order: PDO by PDO, entries of a PDO in order.
    std::vector<std::pair<const TClPdo*, const TClIndMB*>> scan;
    std::vector<std::string> keys;
    for (const TClPdo& pdo : table.pdos) {
        for (const TClIndMB& entry : pdo.entries) {
            scan.emplace_back(&pdo, &entry);
            keys.push_back(entry.index);
        }
    }
    // Ordering converts every key first, so a bad index writes nothing.
    const std::vector<std::size_t> order = ordered_rows(keys);
    TableWriter writer(sdopdo_file::schema);
    for (const std::size_t i : order) {
        using namespace sdopdo_file;
        const auto [pdo, entry] = scan[i];
        writer.add_row(schema)
            .set(index, entry->index)
            .set(subindex, "0")
            .set(nrpdo, std::to_string(pdo->number))
            .set(poscomp, entry->poscomp);
    }
    return writer;
}

} // namespace

std::string serialize_stored_pdo_table(const StoredPdoTable& table) {
    return document_of(table).serialize();
}

void save_stored_pdo_table(const StoredPdoTable& table, const std::filesystem::path& path) {
    document_of(table).save(path);
}

} // namespace mk
