#include "tables/tpdo_table.h"

#include <cstdint>
#include <functional>
#include <iostream>
#include <utility>

#include "core/integer_text.h"
#include "core/table_file.h"
#include "tables/tpdo_schema.h"

namespace mk {

const std::array<Column<TpdoRow>, 3> kTpdoColumns = {{
    {"COB-ID", &TpdoRow::cob_id, tpdo_file::COB_ID,
     [](std::int32_t v) { return v >= 1 && v <= 2047; },
     ". Cob-id must be between 0x001 and 0x7FF"},
    {"Dimension", &TpdoRow::dimension, tpdo_file::Dimension,
     [](std::int32_t v) { return v >= 1 && v <= 8; }, ". Dimension must be between 1 and 8"},
    {"Start Modbus Address", &TpdoRow::sma, tpdo_file::SMA,
     [](std::int32_t v) { return v >= 0 && v <= 65535; },
     ". Start Modbus Address must be between 0 and 65535"},
}};

std::size_t tpdo_layout_rows(int pdo_layout) {
    return pdo_layout == 0 ? 3 : 8;
}

namespace {

// The table has no reading message of its own: a damaged file is reported with the shared one,
// naming the file and the place where reading stopped.
constexpr ReadingMessages kTpdoReading{kMsgFileNotFound, kMsgErrorReading, true};

std::function<void(const TableDocument&)> collect(std::vector<TpdoRow>& rows) {
    return [&rows](const TableDocument& doc) {
        read_rows(doc, [&rows](const RowReader& r) {
            TpdoRow row;
            for (const Column<TpdoRow>& c : kTpdoColumns)
                row.*c.field = r.attr(c.attribute);
            rows.push_back(std::move(row));
            return true;
        });
    };
}

// The grid of the rows read; when all were read, one message for those it will not keep.
TpdoTable table_of(LoadOutcome outcome, std::size_t layout_rows, std::vector<TpdoRow> rows,
                   MessageSink& sink) {
    const std::size_t held = rows.size();
    TpdoTable table(layout_rows, std::move(rows));
    if (outcome == LoadOutcome::Loaded)
        if (auto gap = rows_after_empty_key(table, held, kTpdoColumns[0].title))
            sink.show(*gap, MessageKind::Warning);
    return table;
}

TableWriter document_of(const TpdoTable& table) {
    TableWriter writer(tpdo_file::schema);
    const std::size_t n = table.extent();
    for (std::size_t i = 0; i < n; ++i) {
        TableWriter::Row row = writer.add_row(tpdo_file::schema);
        for (const Column<TpdoRow>& c : kTpdoColumns)
            row.set(c.attribute, table.row(i).*c.field);
    }
    return writer;
}

} // namespace

TpdoTable load_tpdo_table(const std::filesystem::path& path, std::size_t layout_rows,
                          MessageSink& sink, IncompleteFiles* incomplete) {
    std::vector<TpdoRow> rows;
    const LoadOutcome outcome = load_document(path, sink, collect(rows), kTpdoReading, incomplete);
    return table_of(outcome, layout_rows, std::move(rows), sink);
}

TpdoTable parse_tpdo_table(std::string_view xml, std::size_t layout_rows, MessageSink& sink) {
    std::vector<TpdoRow> rows;
    const LoadOutcome outcome =
        parse_document(xml, sink, collect(rows), kTpdoReading, tpdo_file::schema.file_name);
    return table_of(outcome, layout_rows, std::move(rows), sink);
}

namespace {

// Calls `failed(row, column)` for every failing range test of "OK", in the order they are made.
template <typename Failed> void for_each_failed_test(const TpdoTable& table, Failed failed) {
    for (std::size_t i = 0; i < table.size(); ++i) {
        const TpdoRow& row = table.row(i);
        for (std::size_t c = 0; c < kTpdoColumns.size(); ++c) {
            const Column<TpdoRow>& column = kTpdoColumns[c];
            // The COB-ID is tested only in a row whose Dimension is filled; the other two only
            // when filled themselves.
            const std::string& gate =
                (column.field == &TpdoRow::cob_id) ? row.dimension : row.*column.field;
            if (!gate.empty() && !column.passes(str_to_int_def(row.*column.field, -1)))
                failed(i, c);
        }
    }
}

std::string failure_message(std::size_t row, std::size_t column) {
    return "Error in row " + std::to_string(row + 1) + std::string(kTpdoColumns[column].message);
}

} // namespace

CellFaults tpdo_cell_faults(const TpdoTable& table) {
    CellFaults faults;
    for_each_failed_test(table, [&](std::size_t row, std::size_t column) {
        faults.push_back({row, column, failure_message(row, column)});
    });
    return faults;
}

std::vector<std::string> check_tpdo_table(const TpdoTable& table) {
    std::vector<std::string> messages;
    std::size_t failures = 0;
    std::size_t first_unlisted_row = 0;
    for_each_failed_test(table, [&](std::size_t row, std::size_t column) {
        if (++failures <= kMaxTpdoMessages)
            messages.push_back(failure_message(row, column));
        else if (first_unlisted_row == 0)
            first_unlisted_row = row + 1;
    });
    if (first_unlisted_row != 0)
        messages.push_back("Further errors from row " + std::to_string(first_unlisted_row) +
                           " on are not listed");
    return messages;
}

std::string serialize_tpdo_table(const TpdoTable& table) {
    return document_of(table).serialize();
}

void save_tpdo_table(const TpdoTable& table, const std::filesystem::path& path) {
    try {
        document_of(table).save(path);
    } catch (const UserError& e) {
        // The reason (the file system's words) is for the log; the user reads the table's text.
        std::cerr << e.what() << '\n';
        throw UserError(std::string(kMsgErrorSavingTpdo));
    }
}

} // namespace mk
