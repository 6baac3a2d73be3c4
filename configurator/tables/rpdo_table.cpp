#include "tables/rpdo_table.h"

#include <functional>
#include <utility>
#include <vector>

#include "core/integer_text.h"
#include "core/table_file.h"
#include "tables/ordered_write.h"
#include "tables/rpdo_schema.h"

namespace mk {

const std::array<Column<RpdoRow>, 3> kRpdoColumns = {{
    {"cobid", &RpdoRow::cobid, rpdo_file::cobid},
    {"id_dev_orig", &RpdoRow::id_dev_orig, rpdo_file::id_dev_orig},
    {"dimension", &RpdoRow::dimension, rpdo_file::dimension},
}};

std::size_t rpdo_layout_rows(int pdo_layout) {
    return pdo_layout == 0 ? 15 : 8;
}

namespace {

// The rows are collected first and the grid is sized after, so a file holding more rows than
// the layout is shown whole. A row is built whole before it is kept: a row that fails half way
// is not shown at all.
std::function<void(const TableDocument&)> collect(std::vector<RpdoRow>& rows) {
    return [&rows](const TableDocument& doc) {
        for (const RowReader& r : doc.rows()) {
            RpdoRow row;
            row.cobid = r.attr(rpdo_file::cobid);
            row.id_dev_orig = r.attr(rpdo_file::id_dev_orig);
            row.dimension = r.optional_attr(rpdo_file::dimension).value_or("");
            rows.push_back(std::move(row));
        }
    };
}

TableWriter document_of(const RpdoTable& table) {
    const std::size_t n = table.extent();
    std::vector<std::string> keys;
    keys.reserve(n);
    for (std::size_t i = 0; i < n; ++i)
        keys.push_back(table.row(i).cobid);
    // Ordering converts every key first, so a bad COB-ID writes nothing.
    const std::vector<std::size_t> order = ordered_rows(keys);
    TableWriter writer(rpdo_file::schema);
    for (const std::size_t i : order) {
        using namespace rpdo_file;
        const RpdoRow& r = table.row(i);
        writer.add_row(schema)
            .set(cobid, r.cobid)
            .set(id_dev_orig, r.id_dev_orig)
            .set(dimension, r.dimension)
            .set(posind, "0")
            .set(n_tpdo, "0");
    }
    return writer;
}

// The grid of the rows read; when all were read, one message for those it will not keep.
RpdoTable table_of(LoadOutcome outcome, std::size_t layout_rows, std::vector<RpdoRow> rows,
                   MessageSink& sink) {
    const std::size_t held = rows.size();
    RpdoTable table(layout_rows, std::move(rows));
    if (outcome == LoadOutcome::Loaded)
        if (auto gap = rows_after_empty_key(table, held, kRpdoColumns[0].title))
            sink.show(*gap, MessageKind::Warning);
    return table;
}

} // namespace

RpdoTable load_rpdo_table(const std::filesystem::path& path, std::size_t layout_rows,
                          MessageSink& sink, IncompleteFiles* incomplete) {
    std::vector<RpdoRow> rows;
    const LoadOutcome outcome = load_document(path, sink, collect(rows), {}, incomplete);
    return table_of(outcome, layout_rows, std::move(rows), sink);
}

RpdoTable parse_rpdo_table(std::string_view xml, std::size_t layout_rows, MessageSink& sink) {
    std::vector<RpdoRow> rows;
    const LoadOutcome outcome = parse_document(xml, sink, collect(rows));
    return table_of(outcome, layout_rows, std::move(rows), sink);
}

CellFaults rpdo_cell_faults(const RpdoTable& table) {
    CellFaults faults;
    const std::size_t n = table.extent();
    for (std::size_t i = 0; i < n; ++i)
        if (!parse_integer_text(table.row(i).cobid))
            faults.push_back({i, 0, invalid_integer_message(table.row(i).cobid)});
    return faults;
}

std::string serialize_rpdo_table(const RpdoTable& table) {
    return document_of(table).serialize();
}

void save_rpdo_table(const RpdoTable& table, const std::filesystem::path& path) {
    document_of(table).save(path);
}

} // namespace mk
