#include <gtest/gtest.h>

#include "transfer/workbook_stream.h"

namespace {

using mk::Cell;
using Rows = std::vector<std::vector<Cell>>;

// Two readable sheets around one that cannot be read; the second sheet's third row cannot
// be read.
std::string sample() {
    std::string out;
    mk::WorkbookStreamWriter w(out, 3);
    w.begin_sheet("Foglio1", 2, 3);
    w.row({"a", std::nullopt, "c"});
    w.row({std::nullopt, "", std::nullopt}); // an empty text is not an empty cell
    w.unreadable_sheet("broken");
    w.begin_sheet("sdo", 4, 2);
    w.row({"conf", "Addr Word"});
    w.row({std::nullopt, std::nullopt});
    w.unreadable_rest();
    return out;
}

Rows readable_rows(mk::Workbook& book, std::size_t sheet) {
    book.select_sheet(sheet);
    Rows rows;
    for (std::size_t r = 0; r < book.row_count(); ++r) {
        try {
            rows.push_back(book.row(r));
        } catch (const mk::WorkbookError&) {
            break;
        }
    }
    return rows;
}

TEST(WorkbookStream, SheetsRowsAndUnreadablePartsComeBackAsWritten) {
    auto book = mk::decode_workbook_stream(sample());
    EXPECT_EQ(book->sheet_names(), (std::vector<std::string>{"Foglio1", "broken", "sdo"}));
    EXPECT_EQ(book->row_count(), 0u); // nothing selected yet
    EXPECT_THROW(book->row(0), mk::WorkbookError);

    EXPECT_EQ(readable_rows(*book, 0),
              (Rows{{"a", std::nullopt, "c"}, {std::nullopt, "", std::nullopt}}));
    EXPECT_EQ(book->column_count(), 3u);
    EXPECT_THROW(book->row(2), mk::WorkbookError);

    try {
        book->select_sheet(1);
        ADD_FAILURE() << "an unreadable sheet was selected";
    } catch (const mk::WorkbookError& e) {
        EXPECT_STREQ(e.what(), "the sheet cannot be read");
    }
    EXPECT_THROW(book->select_sheet(3), mk::WorkbookError);

    // The sheet still counts its rows; reading stops at the one that cannot be read.
    EXPECT_EQ(readable_rows(*book, 2), (Rows{{"conf", "Addr Word"}, {std::nullopt, std::nullopt}}));
    EXPECT_EQ(book->row_count(), 4u);
    EXPECT_THROW(book->row(2), mk::WorkbookError);
    EXPECT_THROW(book->row(3), mk::WorkbookError);
}

TEST(WorkbookStream, EveryDamagedStreamIsRefused) {
    const std::string whole = sample();
    // Cut anywhere, or with anything after it.
    for (std::size_t n = 0; n < whole.size(); ++n)
        EXPECT_THROW(mk::decode_workbook_stream(whole.substr(0, n)), mk::WorkbookError) << n;
    EXPECT_THROW(mk::decode_workbook_stream(whole + '\0'), mk::WorkbookError);

    const auto changed = [&](std::size_t at, std::string bytes) {
        std::string s = whole;
        return s.replace(at, bytes.size(), bytes);
    };
    EXPECT_THROW(mk::decode_workbook_stream(changed(0, "MKWX")), mk::WorkbookError);
    // Sheet state 3; cell kind 3 (first cell of Foglio1 at 4+4+4+7+1+8+4).
    EXPECT_THROW(mk::decode_workbook_stream(changed(4 + 4 + 4 + 7, "\x03")), mk::WorkbookError);
    EXPECT_THROW(mk::decode_workbook_stream(changed(32, "\x03")), mk::WorkbookError);
    // More cells in a row than the sheet has columns.
    EXPECT_THROW(mk::decode_workbook_stream(changed(28, std::string("\x04\0\0\0", 4))),
                 mk::WorkbookError);
    // More columns than any sheet has: every row would read as that many cells.
    EXPECT_THROW(mk::decode_workbook_stream(changed(24, std::string("\0\0\1\0", 4))),
                 mk::WorkbookError);
    // Counts far beyond the bytes there are.
    EXPECT_THROW(mk::decode_workbook_stream(std::string("MKWB\xff\xff\xff\xff", 8)),
                 mk::WorkbookError);
    EXPECT_THROW(mk::decode_workbook_stream(changed(4 + 4 + 4 + 7 + 1, "\xff\xff\xff\xff")),
                 mk::WorkbookError);
    EXPECT_THROW(mk::decode_workbook_stream(changed(4 + 4, "\xff\xff\xff\x7f")), mk::WorkbookError);

    // An empty workbook is a well-formed stream.
    std::string empty;
    const mk::WorkbookStreamWriter writer(empty, 0);
    EXPECT_EQ(mk::decode_workbook_stream(empty)->sheet_names(), std::vector<std::string>{});
}

// The column count bounds every row: a row with one cell more than the sheet's columns is refused
// however well-formed its cells are, and the widest sheet a reader can give still decodes.
TEST(WorkbookStream, RowsAreBoundByTheSheetsColumns) {
    struct Row {
        const char* name;
        std::uint32_t columns;
        std::vector<Cell> cells;
        bool decodes;
    };
    const std::vector<Row> rows = {
        {"as many cells as columns", 2, {"a", "b"}, true},
        {"one cell more than the columns", 2, {"a", "b", "c"}, false},
        {"no columns, one cell", 0, {"x"}, false},
        {"65535 columns", 0xFFFF, {"a"}, true},
        {"65536 columns", 0x10000, {"a"}, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::string stream;
        mk::WorkbookStreamWriter w(stream, 1);
        w.begin_sheet("s", 1, row.columns);
        w.row(row.cells);
        if (!row.decodes) {
            EXPECT_THROW(mk::decode_workbook_stream(stream), mk::WorkbookError);
            continue;
        }
        auto book = mk::decode_workbook_stream(stream);
        book->select_sheet(0);
        EXPECT_EQ(book->column_count(), row.columns);
        std::vector<Cell> expected = row.cells;
        expected.resize(row.columns);
        EXPECT_EQ(book->row(0), expected);
    }
}

TEST(WorkbookStream, ErrorCellsAndTheSheetOfACsvFileComeThrough) {
    std::string bytes;
    mk::WorkbookStreamWriter writer(bytes, 1);
    writer.begin_sheet("list", 1, 3, true);
    writer.row({"a", std::nullopt, "#N/A"}, {false, false, true});
    const auto book = mk::decode_workbook_stream(bytes);
    EXPECT_TRUE(book->named_by_file(0));
    EXPECT_FALSE(book->named_by_file(1));
    book->select_sheet(0);
    EXPECT_EQ(book->row(0), (Rows{{"a", std::nullopt, "#N/A"}}[0]));
    EXPECT_EQ(book->error_in_row(0, 2), std::nullopt); // only the columns the table reads
    EXPECT_EQ(book->error_in_row(0, 3), (std::pair<std::size_t, std::string>{2, "#N/A"}));
}

} // namespace
