#include <gtest/gtest.h>

#include "core/integer_text.h"
#include "memory_workbook.h"
#include "transfer/sheet_import.h"

namespace {

using mk::Cell;
using mk::test::MemoryWorkbookReader;

// Collects the rows an import hands over; a row whose first cell is "stop" ends the import, a
// row whose second cell is not integer text fails it.
struct Collect {
    std::vector<std::vector<std::string>> rows;
    int found = 0;
    mk::SheetImport import(std::string_view base, std::size_t columns) {
        return {base, columns, [this] { ++found; },
                [this](const std::vector<std::string>& cells) -> std::optional<std::string> {
                    if (cells[0] == "stop")
                        return "the row says stop";
                    if (cells.size() > 1)
                        mk::str_to_int(cells[1]);
                    rows.push_back(cells);
                    return std::nullopt;
                }};
    }
};

MemoryWorkbookReader::Rows rows(std::initializer_list<std::vector<Cell>> r) {
    return MemoryWorkbookReader::Rows(r);
}

TEST(SheetImport, FindsTheSheetWithoutRegardToCaseAndSkipsTheHeadings) {
    MemoryWorkbookReader reader;
    reader.sheets = {{"sdo_old", rows({{"h"}, {"wrong", "1"}})},
                     {"RpdoDef", rows({{"a", "b"}, {"x", "1"}, {std::nullopt, "2"}})}};
    Collect c;
    EXPECT_EQ(mk::import_sheet(reader, "f.xls", c.import("rpdodef", 2)), std::nullopt);
    EXPECT_EQ(c.found, 1);
    ASSERT_EQ(c.rows.size(), 2u);
    EXPECT_EQ(c.rows[0], (std::vector<std::string>{"x", "1"}));
    EXPECT_EQ(c.rows[1], (std::vector<std::string>{"", "2"})); // an empty cell is empty text
    EXPECT_EQ(reader.closed, reader.open_count);
}

TEST(SheetImport, NoSheetOfTheNameIsReported) {
    MemoryWorkbookReader reader;
    reader.sheets = {{"Foglio1", rows({{"conf"}, {"1"}})}};
    Collect c;
    EXPECT_EQ(mk::import_sheet(reader, "f.xls", c.import("sdo", 1)),
              "No sheet named sdo in the workbook");
    EXPECT_EQ(c.found, 0);
    EXPECT_EQ(reader.closed, 1);
}

TEST(SheetImport, FailuresNameTheSheetRowAndKeepTheRowsTaken) {
    MemoryWorkbookReader reader;
    reader.sheets = {{"sdo", rows({{"a", "b"}, {"x", "1"}, {"y", "2"}, {"z", "3"}})}};
    reader.fail_at_row = 2;
    Collect c;
    EXPECT_EQ(mk::import_sheet(reader, "f.xls", c.import("sdo", 2)),
              "Import stopped at sheet row 3: the sheet cannot be read");
    EXPECT_EQ(c.rows.size(), 1u);

    reader.fail_at_row.reset();
    reader.sheets[0].second[3][1] = "3a";
    Collect d;
    EXPECT_EQ(mk::import_sheet(reader, "f.xls", d.import("sdo", 2)),
              "Import stopped at sheet row 4: '3a' is not a valid integer value");
    EXPECT_EQ(d.rows.size(), 2u);

    Collect e;
    EXPECT_EQ(mk::import_sheet(reader, "f.xls", e.import("sdo", 3)),
              "Import stopped at sheet row 2: the sheet has 2 columns, the table reads 3");
    EXPECT_TRUE(e.rows.empty());

    reader.open_fails = true;
    Collect f;
    EXPECT_EQ(mk::import_sheet(reader, "f.xls", f.import("sdo", 2)),
              "Import stopped: the file cannot be read as an Excel workbook (.xls)");
    // Every workbook that opened was closed again, failures included.
    EXPECT_EQ(reader.closed, 3);
}

TEST(SheetImport, TheTakerEndsTheImportSayingWhereWhyAndHowManyRowsAreLeft) {
    MemoryWorkbookReader reader;
    reader.sheets = {
        {"sdopdo", rows({{"h", "h"}, {"a", "1"}, {"stop", "x"}, {"b", "2"}, {"c", "3"}})}};
    Collect c;
    EXPECT_EQ(mk::import_sheet(reader, "f.xls", c.import("sdopdo", 2)),
              "Import stopped at sheet row 3: the row says stop; 2 sheet rows after it were not "
              "read");
    EXPECT_EQ(c.rows.size(), 1u);
    EXPECT_EQ(reader.closed, reader.open_count);
}

TEST(SheetImport, ASheetWithOnlyHeadingsImportsNothing) {
    MemoryWorkbookReader reader;
    reader.sheets = {{"sdo", rows({{"conf"}})}};
    Collect c;
    EXPECT_EQ(mk::import_sheet(reader, "f.xls", c.import("sdo", 8)), std::nullopt);
    EXPECT_EQ(c.found, 1);
    EXPECT_TRUE(c.rows.empty());
}

} // namespace
