#include "tables/sdo_table.h"

#include <algorithm>
#include <string_view>
#include <system_error>
#include <utility>

#include "tables/integer_text.h"
#include "tables/table_file.h"

namespace mk {

namespace {

// One range check of the validation: the cell, whether its value passes, and the message that
// names the column (the row number is appended).
struct RangeCheck {
    std::string SdoRow::*field;
    bool (*passes)(std::int32_t);
    std::string_view message;
};

// In the order a row is checked; a row stops at its first failing column.
constexpr RangeCheck kRangeChecks[] = {
    {&SdoRow::addr_word, [](std::int32_t v) { return v >= 1 && v <= 65535; },
     "Value of range [1..65535](hex 0x0001..0xFFFF ) column Addr Word row "},
    {&SdoRow::hi_word, [](std::int32_t v) { return v >= 0 && v <= 4; },
     "Value of range [0..4] column Hi Word row "},
    {&SdoRow::lo_word, [](std::int32_t v) { return v >= 0 && v <= 4; },
     "Value of range [0..4] column Lo Word row "},
    {&SdoRow::rw, [](std::int32_t v) { return v == 0 || v == 1; },
     "Value of range [0,1] column R/W row "},
    {&SdoRow::id, [](std::int32_t v) { return v >= 1 && v <= 127; },
     "Value of range [1..127] column ID row "},
    {&SdoRow::index, [](std::int32_t v) { return v >= 4096 && v <= 65535; },
     "Value of range [4096..65535](hex 0x1000..0xFFFF ) column Index row "},
    {&SdoRow::subindex, [](std::int32_t v) { return v >= 0 && v <= 255; },
     "Value of range [0..255] column SubIndex row "},
    {&SdoRow::nbyte, [](std::int32_t v) { return v == 1 || v == 2 || v == 4; },
     "Value of range [1,2,4] column nByte row "},
};

// One file row as the grid shows it. The row is built whole before it is placed, so a row that
// fails half way leaves its grid row empty: the table then ends above it, and a following save
// writes back exactly the rows that were read.
SdoRow read_row(const RowReader& r) {
    SdoRow row;
    const SdoConf conf = unpack_conf(str_to_int_def(r.optional_attr("conf").value_or(""), 0));
    row.hi_word = std::to_string(conf.hi_word);
    row.rw = std::to_string(conf.rw);
    row.lo_word = std::to_string(conf.lo_word);
    row.addr_word = r.attr("IndexA");
    row.id = r.attr("devIDB");
    row.index = r.attr("IndexB");
    row.subindex = r.attr("SubindexB");
    row.nbyte = r.attr("nbyteB");
    row.mnemonico = r.optional_attr("mnemonico").value_or("");
    return row;
}

// Fills the table from the document's rows, in document order, up to the grid's capacity.
// Every child node of the root is a row, whatever its name.
void read_rows(const TableDocument& doc, SdoTable& table) {
    std::size_t i = 0;
    for (pugi::xml_node n = doc.root().first_child(); n && i < table.size(); n = n.next_sibling())
        table.row(i++) = read_row(RowReader(n));
}

template <typename LoadDocument> SdoTable read_table(LoadDocument load, MessageSink& sink) {
    SdoTable table;
    try {
        const TableDocument doc = load();
        // Rows the grid cannot show would be lost by the next "OK" without a word.
        if (const std::size_t held = doc.row_count(); held > table.size())
            sink.show(rows_not_kept_message(held, table.size()), MessageKind::Warning);
        read_rows(doc, table);
    } catch (const TableReadError&) {
        sink.show(kMsgErrorReading, MessageKind::Error);
    }
    return table;
}

} // namespace

std::string rows_not_kept_message(std::size_t held, std::size_t shown) {
    return "The file holds " + std::to_string(held) + " rows but the table shows " +
           std::to_string(shown) + ": the last " + std::to_string(held - shown) +
           " rows are not loaded and will not be kept when the table is saved";
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

std::size_t SdoTable::extent() const {
    const auto end = std::find_if(rows_.begin(), rows_.end(),
                                  [](const SdoRow& r) { return r.addr_word.empty(); });
    return static_cast<std::size_t>(end - rows_.begin());
}

SdoTable load_sdo_table(const std::filesystem::path& path, MessageSink& sink) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        sink.show(kMsgFileNotFound, MessageKind::Information);
        return SdoTable();
    }
    return read_table([&] { return TableDocument::load(path); }, sink);
}

SdoTable parse_sdo_table(std::string_view xml, MessageSink& sink) {
    return read_table([&] { return TableDocument::parse(xml); }, sink);
}

std::optional<std::string> validate_sdo_table(const SdoTable& table) {
    // Every failing row replaces the pending message, so the last failing row is reported.
    std::optional<std::string> pending;
    const std::size_t rows = table.extent();
    for (std::size_t i = 0; i < rows; ++i) {
        const SdoRow& row = table.row(i);
        for (const RangeCheck& check : kRangeChecks) {
            if (!check.passes(str_to_int(row.*check.field))) {
                pending = std::string(check.message) + std::to_string(i + 1);
                break;
            }
        }
    }
    return pending;
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
        writer.add_row(kSdoRowElement)
            .set(kSdoAttributes[0], rec.conf)
            .set(kSdoAttributes[1], rec.addr_word)
            .set(kSdoAttributes[2], "0")
            .set(kSdoAttributes[3], rec.id)
            .set(kSdoAttributes[4], rec.index)
            .set(kSdoAttributes[5], rec.subindex)
            .set(kSdoAttributes[6], rec.nbyte)
            .set(kSdoAttributes[7], rec.mnemonico);
    }
}

} // namespace

std::string serialize_sdo_table(const SdoTable& table) {
    TableWriter writer(kSdoRootElement);
    fill_document(writer, table);
    return writer.serialize();
}

void save_sdo_table(const SdoTable& table, const std::filesystem::path& path) {
    // The records are collected before anything touches the disk, so a bad cell writes nothing.
    TableWriter writer(kSdoRootElement);
    fill_document(writer, table);
    writer.save(path);
}

} // namespace mk
