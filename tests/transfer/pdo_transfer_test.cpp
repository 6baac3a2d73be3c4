#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/integer_text.h"
#include "memory_workbook.h"
#include "test_dir.h"
#include "test_files.h"
#include "transfer/freexl_workbook.h"
#include "transfer/rpdo_transfer.h"
#include "transfer/sdopdo_editor.h"
#include "transfer/sdopdo_transfer.h"

using mk::test::read_file;

namespace {

namespace fs = std::filesystem;
using mk::RpdoRow;
using mk::TClIndMB;

fs::path fixture(const char* name) {
    return fs::path(MK_WORKBOOKS_DIR) / name;
}

mk::RpdoTable rpdoTable(std::size_t layout, std::vector<RpdoRow> rows) {
    return mk::RpdoTable(layout, std::move(rows));
}

TEST(RpdoTransfer, ImportFindsTheUpperCaseSheetAndEmptiesTheRest) {
    mk::RpdoTable table =
        rpdoTable(8, {{"1", "1", "1"}, {"2", "2", "2"}, {"3", "3", "3"}, {"4", "4", "4"}});
    mk::FreexlWorkbookReader reader;
    EXPECT_EQ(mk::import_rpdo_workbook(table, reader, fixture("rpdodef_upper_case.xls")),
              std::nullopt);
    EXPECT_EQ(table, rpdoTable(8, {{"0x181", "1", "8"}, {"641", "2", "0"}, {"0x201", "3", ""}}));

    EXPECT_EQ(mk::import_rpdo_workbook(table, reader, fixture("no_sheet.xls")),
              "No sheet named rpdodef in the workbook");
    EXPECT_EQ(table, rpdoTable(8, {}));
}

TEST(RpdoTransfer, SheetRowsBeyondTheLayoutGrowTheTableAsFileRowsDo) {
    mk::test::MemoryWorkbookReader reader;
    reader.sheets.push_back({"rpdodef", {{"cobid", "id_dev_orig", "dimension"}}});
    for (int i = 0; i < 10; ++i)
        reader.sheets[0].second.push_back({std::to_string(0x181 + i), "1", "8"});
    reader.fail_at_row = 10; // the tenth data row cannot be read
    mk::RpdoTable table = rpdoTable(8, {});
    EXPECT_EQ(mk::import_rpdo_workbook(table, reader, "f.xls"),
              "Import stopped at sheet row 11: the sheet cannot be read");
    EXPECT_EQ(table.layout_rows(), 8u);
    ASSERT_EQ(table.size(), 9u);
    EXPECT_EQ(table.row(8).cobid, "393");
    EXPECT_TRUE(table.row_note(8));
}

TEST(RpdoTransfer, ExportWritesTheHeadingAndTheRowsInUseWithoutDimension) {
    std::vector<RpdoRow> rows;
    for (int i = 0; i < 15; ++i)
        rows.push_back({"0x" + std::to_string(281 - i), std::to_string(i + 1), "8"});
    mk::test::TempDir dir;
    mk::export_rpdo_csv(rpdoTable(15, rows), dir.path());
    const std::string full = read_file(dir.path() / "rpdodef.csv");
    EXPECT_EQ(std::count(full.begin(), full.end(), '\n'), 16);
    EXPECT_EQ(full.substr(0, 66), "cobid,id_dev_orig,en_bypass,posind,n_tpdo \r\n0x281,1,0,0,0\r\n"
                                  "0x280,2");

    // Table order, and the table ends at the first empty COB-ID.
    mk::export_rpdo_csv(
        rpdoTable(8, {{"0x201", "2", "8"}, {"0x181", "", ""}, {"", "9", "9"}, {"0x301", "3", "8"}}),
        dir.path());
    EXPECT_EQ(read_file(dir.path() / "rpdodef.csv"),
              "cobid,id_dev_orig,en_bypass,posind,n_tpdo \r\n0x201,2,0,0,0\r\n0x181,,0,0,0\r\n");
}

mk::StoredPdoTable twoPdos() {
    mk::StoredPdoTable t;
    t.sdo_indexes = {"100"};
    t.pdos = {{"0x181", 1, {{"300", "1"}}}, {"0x182", 2, {{"301", "2"}, {"302", "3"}}}};
    return t;
}

TEST(SdopdoTransfer, ImportReplacesEveryPdosEntriesFromTheSheet) {
    mk::StoredPdoTable table = twoPdos();
    mk::FreexlWorkbookReader reader;
    // 130 is PDO 2, PDO 9 is beyond the list and skipped, PDO 0 ends the import before 205.
    EXPECT_EQ(mk::import_sdopdo_workbook(table, reader, fixture("sdopdo.xls")),
              "Import stopped at sheet row 6: PDO number 0 is 0 modulo 128, which ends the "
              "import; 1 sheet row after it was not read");
    EXPECT_EQ(table.pdos[0].entries, (std::vector<TClIndMB>{{"200", "33"}}));
    EXPECT_EQ(table.pdos[1].entries, (std::vector<TClIndMB>{{"0x10", "18"}, {"203", "4"}}));
    EXPECT_EQ(table.pdos[1].cobid, "0x182");
    EXPECT_EQ(table.sdo_indexes, twoPdos().sdo_indexes);

    // Without the sheet, the entries stay as they were.
    table = twoPdos();
    EXPECT_EQ(mk::import_sdopdo_workbook(table, reader, fixture("no_sheet.xls")),
              "No sheet named sdopdo in the workbook");
    EXPECT_EQ(table, twoPdos());
}

TEST(SdopdoTransfer, APdoNumberOfZeroModulo128OnTheLastRowSaysSo) {
    mk::test::MemoryWorkbookReader reader;
    reader.sheets.push_back({"sdopdo", {{"i", "p", "c"}, {"200", "2", "17"}, {"201", "128", "1"}}});
    mk::StoredPdoTable table = twoPdos();
    EXPECT_EQ(mk::import_sdopdo_workbook(table, reader, "f.xls"),
              "Import stopped at sheet row 3: PDO number 128 is 0 modulo 128, which ends the "
              "import; it was the last row of the sheet");
    EXPECT_TRUE(table.pdos[0].entries.empty());
    EXPECT_EQ(table.pdos[1].entries, (std::vector<TClIndMB>{{"200", "17"}}));
}

TEST(SdopdoTransfer, AnEmptyPdoNumberStopsTheImportAndSaysWhere) {
    mk::test::MemoryWorkbookReader reader;
    reader.sheets.push_back(
        {"SdoPdo",
         {{"i", "p", "c"}, {"200", "2", "17"}, {"201", std::nullopt, "1"}, {"202", "1", "1"}}});
    mk::StoredPdoTable table = twoPdos();
    EXPECT_EQ(mk::import_sdopdo_workbook(table, reader, "f.xls"),
              "Import stopped at sheet row 3: '' is not a valid integer value");
    EXPECT_TRUE(table.pdos[0].entries.empty());
    EXPECT_EQ(table.pdos[1].entries, (std::vector<TClIndMB>{{"200", "17"}}));
}

TEST(SdopdoTransfer, EditorImportClearsTheSelectionAndTheFields) {
    mk::test::TempDir dir;
    mk::NullSink quiet;
    mk::StoredPdoEditor editor;
    editor.open(dir.path(), quiet);
    mk::test::MemoryWorkbookReader reader;
    reader.sheets.push_back({"sdopdo", {{"i", "p", "c"}, {"200", "1", "17"}}});
    editor.edit = "55";
    editor.choice = {2, 3};
    // No PDO list: the row is skipped, and the fields are emptied all the same.
    EXPECT_EQ(editor.import_workbook(reader, "f.xls"), std::nullopt);
    EXPECT_EQ(editor.edit, "");
    EXPECT_EQ(editor.choice, mk::ByteChoice{});
    EXPECT_FALSE(editor.selected_pdo());
    EXPECT_TRUE(editor.lines().empty());
}

TEST(SdopdoTransfer, ExportHasNoHeadingAFinalCommaAndTheEntriesUnsorted) {
    mk::test::TempDir dir;
    mk::export_sdopdo_csv(twoPdos(), dir.path());
    EXPECT_EQ(read_file(dir.path() / "sdopdo.csv"), "300,1,1,\r\n301,2,2,\r\n302,2,3,\r\n");
    mk::StoredPdoTable empty;
    mk::export_sdopdo_csv(empty, dir.path());
    EXPECT_EQ(read_file(dir.path() / "sdopdo.csv"), "");
}

} // namespace
