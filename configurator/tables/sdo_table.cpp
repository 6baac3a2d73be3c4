#include "tables/sdo_table.h"

#include <algorithm>
#include <functional>
#include <string_view>
#include <system_error>
#include <utility>

#include "core/counted.h"
#include "core/integer_text.h"
#include "core/table_file.h"
#include "tables/sdo_schema.h"

namespace mk {

const std::array<Column<SdoRow>, 9> kSdoColumns = {{
    {"Addr Word", &SdoRow::addr_word, sdo_file::IndexA,
     [](std::int32_t v) { return v >= 1 && v <= 65535; },
     "Value of range [1..65535](hex 0x0001..0xFFFF ) column Addr Word row ", Shade::Modbus},
    {"Hi Word", &SdoRow::hi_word, nullptr, [](std::int32_t v) { return v >= 0 && v <= 4; },
     "Value of range [0..4] column Hi Word row ", Shade::Modbus},
    {"Lo Word", &SdoRow::lo_word, nullptr, [](std::int32_t v) { return v >= 0 && v <= 4; },
     "Value of range [0..4] column Lo Word row ", Shade::Modbus},
    {"R/W", &SdoRow::rw, nullptr, [](std::int32_t v) { return v == 0 || v == 1; },
     "Value of range [0,1] column R/W row "},
    {"ID", &SdoRow::id, sdo_file::devIDB, [](std::int32_t v) { return v >= 1 && v <= 127; },
     "Value of range [1..127] column ID row ", Shade::Canopen},
    {"Index", &SdoRow::index, sdo_file::IndexB,
     [](std::int32_t v) { return v >= 4096 && v <= 65535; },
     "Value of range [4096..65535](hex 0x1000..0xFFFF ) column Index row ", Shade::Canopen},
    {"SubIndex", &SdoRow::subindex, sdo_file::SubindexB,
     [](std::int32_t v) { return v >= 0 && v <= 255; },
     "Value of range [0..255] column SubIndex row ", Shade::Canopen},
    {"nByte", &SdoRow::nbyte, sdo_file::nbyteB,
     [](std::int32_t v) { return v == 1 || v == 2 || v == 4; },
     "Value of range [1,2,4] column nByte row ", Shade::Canopen},
    {"mnemonico", &SdoRow::mnemonico, sdo_file::mnemonico, nullptr, {}, Shade::Canopen, true},
}};

namespace {

// One file row as the grid shows it. The row is built whole before it is placed, so a row that
// fails half way leaves its grid row empty: the table then ends above it, and a following save
// writes back exactly the rows that were read.
SdoRow read_row(const RowReader& r) {
    SdoRow row;
    const SdoConf conf =
        unpack_conf(str_to_int_def(r.optional_attr(sdo_file::conf).value_or(""), 0));
    row.hi_word = std::to_string(conf.hi_word);
    row.rw = std::to_string(conf.rw);
    row.lo_word = std::to_string(conf.lo_word);
    // Cells kept as typed come from their attribute; only a free label may be absent.
    for (const Column<SdoRow>& c : kSdoColumns) {
        if (c.attribute)
            row.*c.field =
                c.label ? r.optional_attr(c.attribute).value_or("") : r.attr(c.attribute);
    }
    return row;
}

// Fills the table from the document's rows, in document order, up to the grid's capacity.
// Every child node of the root is a row, whatever its name.
std::function<void(const TableDocument&)> fill(SdoTable& table, MessageSink& sink) {
    return [&table, &sink](const TableDocument& doc) {
        std::size_t i = 0;
        read_rows(doc, [&](const RowReader& r) {
            table.row(i++) = read_row(r);
            return i < table.size();
        });
        // Rows the table will not keep would be lost by the next "OK" without a word: those
        // from a row without an Addr Word on, or else those the grid has no room for.
        const std::size_t held = doc.row_count();
        if (auto gap = rows_after_empty_key(table, held, kSdoColumns[0].title))
            sink.show(*gap, MessageKind::Warning);
        else if (held > table.size())
            sink.show(rows_not_kept_message(held, table.size()), MessageKind::Warning);
    };
}

} // namespace

std::string rows_not_kept_message(std::size_t held, std::size_t shown) {
    const std::size_t lost = held - shown;
    return "The file holds " + counted(held, "row", "rows") + " but the table shows " +
           std::to_string(shown) + ": " + the_last(lost, "row is", "rows are") +
           " not loaded and will not be kept when the table is saved";
}

std::int32_t pack_conf(const SdoConf& conf) {
    // Unsigned arithmetic: unchecked cells (the CSV export collects before validating) wrap
    // instead of overflowing.
    const std::uint32_t v = static_cast<std::uint32_t>(conf.hi_word) * 32u +
                            static_cast<std::uint32_t>(conf.rw) * 16u +
                            static_cast<std::uint32_t>(conf.lo_word);
    return static_cast<std::int32_t>(v);
}

SdoConf unpack_conf(std::int32_t value) {
    const std::uint32_t v = static_cast<std::uint32_t>(value) & 0xFFFFu;
    return {static_cast<int>(v >> 5), static_cast<int>((v >> 4) & 1u), static_cast<int>(v & 7u)};
}

SdoTable load_sdo_table(const std::filesystem::path& path, MessageSink& sink,
                        IncompleteFiles* incomplete) {
    SdoTable table;
    load_document(path, sink, fill(table, sink), {}, incomplete);
    return table;
}

SdoTable parse_sdo_table(std::string_view xml, MessageSink& sink) {
    SdoTable table;
    parse_document(xml, sink, fill(table, sink));
    return table;
}

std::optional<std::string> validate_sdo_table(const SdoTable& table) {
    // Every failing row replaces the pending message, so the last failing row is reported.
    std::optional<std::string> pending;
    const std::size_t rows = table.extent();
    for (std::size_t i = 0; i < rows; ++i) {
        if (const auto failure = first_range_failure<SdoRow>(table.row(i), kSdoColumns))
            pending = std::string(*failure) + std::to_string(i + 1);
    }
    return pending;
}

CellFaults sdo_cell_faults(const SdoTable& table) {
    CellFaults faults;
    const std::size_t rows = table.extent();
    for (std::size_t i = 0; i < rows; ++i) {
        const SdoRow& row = table.row(i);
        for (std::size_t c = 0; c < kSdoColumns.size(); ++c) {
            const Column<SdoRow>& column = kSdoColumns[c];
            switch (check_cell(row, column)) {
            case CellCheck::Passes:
                break;
            case CellCheck::OutOfRange:
                faults.push_back({i, c, std::string(column.message) + std::to_string(i + 1)});
                break;
            case CellCheck::NotInteger:
                faults.push_back({i, c, invalid_integer_message(row.*column.field)});
                break;
            }
        }
    }
    return faults;
}

std::vector<TMyrec> sdo_records_for_saving(const SdoTable& table) {
    const std::size_t rows = table.extent();
    std::vector<std::pair<std::int32_t, TMyrec>> keyed;
    keyed.reserve(rows);
    for (std::size_t i = 0; i < rows; ++i) {
        const SdoRow& r = table.row(i);
        const SdoConf conf{str_to_int(r.hi_word), str_to_int(r.rw), str_to_int(r.lo_word)};
        keyed.push_back(
            {str_to_int(r.addr_word), TMyrec{std::to_string(pack_conf(conf)), r.addr_word, r.id,
                                             r.index, r.subindex, r.nbyte, r.mnemonico}});
    }
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<TMyrec> records;
    records.reserve(keyed.size());
    for (auto& k : keyed)
        records.push_back(std::move(k.second));
    return records;
}

namespace {

void fill_document(TableWriter& writer, const SdoTable& table) {
    for (const TMyrec& rec : sdo_records_for_saving(table)) {
        using namespace sdo_file;
        writer.add_row(schema)
            .set(conf, rec.conf)
            .set(IndexA, rec.addr_word)
            .set(SubindexA, "0")
            .set(devIDB, rec.id)
            .set(IndexB, rec.index)
            .set(SubindexB, rec.subindex)
            .set(nbyteB, rec.nbyte)
            .set(mnemonico, rec.mnemonico);
    }
}

} // namespace

std::string serialize_sdo_table(const SdoTable& table) {
    TableWriter writer(sdo_file::schema);
    fill_document(writer, table);
    return writer.serialize();
}

void save_sdo_table(const SdoTable& table, const std::filesystem::path& path) {
    // The records are collected before anything touches the disk, so a bad cell writes nothing.
    TableWriter writer(sdo_file::schema);
    fill_document(writer, table);
    writer.save(path);
}

} // namespace mk
