#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/integer_text.h"
#include "memory_workbook.h"
#include "test_dir.h"
#include "test_files.h"
#include "transfer/freexl_workbook.h"
#include "transfer/sdo_transfer.h"

using mk::test::read_file;

namespace {

namespace fs = std::filesystem;
using mk::SdoRow;

fs::path fixture(const char* name) {
    return fs::path(MK_WORKBOOKS_DIR) / name;
}

// The rows of the sdo sheet in both fixture workbooks, as the grid takes them.
const std::vector<SdoRow> kImported = {
    {"100", "4", "4", "1", "1", "4096", "0", "2", "valve, outlet"},
    {"0x20", "31", "0", "0", "127", "0x6000", "1", "4", "pump"}, // conf 1000: bit 3 dropped
    {"300", "0", "0", "0", "5", "8192", "255", "1", ""},         // conf "abc"
    {"400", "", "", "", "6", "8193", "3", "2", "no conf"},       // conf empty
};

TEST(SdoTransfer, ImportsTheSheetWhateverFormItsNumbersHave) {
    for (const char* name : {"sdo_integers.xls", "sdo_doubles.xls"}) {
        mk::SdoTable table;
        table.row(1499).addr_word = "left over";
        mk::FreexlWorkbookReader reader;
        EXPECT_EQ(mk::import_sdo_workbook(table, reader, fixture(name)), std::nullopt) << name;
        for (std::size_t i = 0; i < kImported.size(); ++i)
            EXPECT_EQ(table.row(i), kImported[i]) << name << " row " << i;
        EXPECT_EQ(table.row(1499), SdoRow{}) << "the target is emptied first";
    }
}

TEST(SdoTransfer, FailedImportsLeaveTheTargetEmptyOrPartial) {
    mk::FreexlWorkbookReader reader;
    const struct {
        const char* file;
        std::string message;
        std::size_t rows;
    } cases[] = {
        {"no_sheet.xls", "No sheet named sdo in the workbook", 0},
        {"sdo_few_columns.xls",
         "Import stopped at sheet row 2: the sheet has 5 columns, the table reads 8", 0},
        {"truncated.xls", "Import stopped: the file cannot be read as an Excel workbook (.xls)", 0},
        {"not_a_workbook.xls",
         "Import stopped: the file cannot be read as an Excel workbook (.xls)", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        mk::SdoTable table;
        table.row(0) = kImported[0];
        EXPECT_EQ(mk::import_sdo_workbook(table, reader, fixture(c.file)), c.message);
        EXPECT_EQ(table, mk::SdoTable()) << c.file;
    }

    // More data rows than the grid holds: the grid is filled and the rest reported.
    mk::test::MemoryWorkbookReader big;
    big.sheets.push_back({"sdo", {{"conf"}}});
    for (int i = 0; i < 1501; ++i)
        big.sheets[0].second.push_back(
            {"0", std::to_string(i + 1), "0", "1", "4096", "0", "1", std::nullopt});
    mk::SdoTable table;
    EXPECT_EQ(mk::import_sdo_workbook(table, big, "big.xls"),
              "Import stopped at sheet row 1502: the table holds 1500 rows");
    EXPECT_EQ(table.extent(), 1500u);
    EXPECT_EQ(table.row(1499).addr_word, "1500");
    EXPECT_EQ(big.closed, 1);
}

TEST(SdoTransfer, ExportWritesTheRowsInSavingOrder) {
    mk::SdoTable table;
    table.row(0) = {"0x20", "31", "0", "0", "127", "0x6000", "1", "4", "pump"};
    table.row(1) = {"16", "4", "4", "1", "1", "4096", "0", "2", "valve, outlet"};
    table.row(2) = {"300", "0", "0", "0", "5", "8192", "255", "1", "più"};
    table.row(4) = {"1", "0", "0", "0", "1", "4096", "0", "1", "after the gap"};
    mk::test::TempDir dir;
    mk::export_sdo_csv(table, dir.path());
    EXPECT_EQ(read_file(dir.path() / "sdo.csv"),
              "conf,IndexA,SubindexA,devIDB,IndexB,SubindexB,nbyteB,mnemonico\r\n"
              "148,16,0,1,4096,0,2,\"valve, outlet\"\r\n"
              "992,0x20,0,127,0x6000,1,4,pump\r\n"
              "0,300,0,5,8192,255,1,pi\xF9\r\n");
}

TEST(SdoTransfer, ABadSelectorWritesNoFile) {
    mk::SdoTable table;
    table.row(0) = {"1", "0", "0", "0", "1", "4096", "0", "1", ""};
    table.row(1) = {"2", "x", "0", "0", "1", "4096", "0", "1", ""};
    mk::test::TempDir dir;
    std::ofstream(dir.path() / "sdo.csv") << "previous";
    try {
        mk::export_sdo_csv(table, dir.path());
        FAIL() << "exported a table with Hi Word x";
    } catch (const mk::ConversionError& e) {
        EXPECT_STREQ(e.what(), "'x' is not a valid integer value");
    }
    EXPECT_EQ(read_file(dir.path() / "sdo.csv"), "previous");
}

} // namespace
