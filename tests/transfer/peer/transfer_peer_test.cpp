// Round trips through a real spreadsheet writer: a table is exported as CSV, the CSV is turned
// into an .xls workbook by xlwt (as a user would by saving it from a spreadsheet program), and
// the workbook is imported again. Python's csv module reads the exported files as well.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "test_dir.h"
#include "test_files.h"
#include "transfer/freexl_workbook.h"
#include "transfer/rpdo_transfer.h"
#include "transfer/sdo_transfer.h"
#include "transfer/sdopdo_transfer.h"

using mk::test::read_file;

namespace {

namespace fs = std::filesystem;

const fs::path kWorkbooks = MK_WORKBOOKS_DIR;
constexpr const char* kPython = "/usr/bin/python3";

std::string quoted(const fs::path& p) {
    return "'" + p.string() + "'";
}

int run(const std::string& command) {
    return std::system(command.c_str());
}

class TransferPeer : public ::testing::Test {
protected:
    void SetUp() override {
        if (run(std::string(kPython) + " -c 'import xlwt' 2>/dev/null") != 0)
            GTEST_SKIP()
                << "Debian's python3-xlwt is not installed (scripts/bootstrap installs it)";
    }
    // Turns a CSV file into a workbook with one sheet; `edits` are "ROW COLUMN TEXT" triples.
    fs::path toWorkbook(const fs::path& csv, const std::string& sheet,
                        const std::string& edits = "") {
        const fs::path xls = dir.path() / (sheet + ".xls");
        EXPECT_EQ(run(std::string(kPython) + " " + quoted(kWorkbooks / "csv_to_xls.py") + " " +
                      quoted(csv) + " " + sheet + " " + quoted(xls) + " " + edits),
                  0);
        return xls;
    }
    mk::test::TempDir dir;
    mk::FreexlWorkbookReader reader;
};

mk::SdoTable sampleSdo() {
    mk::SdoTable t;
    t.row(0) = {"16", "4", "4", "1", "1", "4096", "0", "2", "valve, outlet"};
    t.row(1) = {"0x20", "31", "0", "0", "127", "0x6000", "1", "4", "pump \"A\""};
    t.row(2) = {"300", "0", "1", "0", "5", "8192", "255", "1", "più"};
    t.row(3) = {"400", "2", "3", "1", "6", "$2001", "3", "2", ""};
    return t;
}

TEST_F(TransferPeer, SdoTableSurvivesExportAndImport) {
    const mk::SdoTable table = sampleSdo();
    mk::export_sdo_csv(table, dir.path());
    const fs::path xls = toWorkbook(dir.path() / "sdo.csv", "sdo");
    mk::SdoTable back;
    ASSERT_EQ(mk::import_sdo_workbook(back, reader, xls), std::nullopt);
    // The file lists the rows in Addr Word order, which these already are.
    EXPECT_EQ(back, table);
}

TEST_F(TransferPeer, ConfOf1000ImportsAs31And0And0AndExportsAs992) {
    mk::SdoTable table;
    table.row(0) = {"100", "0", "0", "0", "1", "4096", "0", "1", "x"};
    mk::export_sdo_csv(table, dir.path());
    // A value the user typed into the workbook: conf 1000 in the first data row.
    const fs::path xls = toWorkbook(dir.path() / "sdo.csv", "SDO", "1 0 1000");
    mk::SdoTable back;
    ASSERT_EQ(mk::import_sdo_workbook(back, reader, xls), std::nullopt);
    EXPECT_EQ(back.row(0).hi_word, "31");
    EXPECT_EQ(back.row(0).rw, "0");
    EXPECT_EQ(back.row(0).lo_word, "0");
    mk::export_sdo_csv(back, dir.path());
    EXPECT_EQ(read_file(dir.path() / "sdo.csv"),
              "conf,IndexA,SubindexA,devIDB,IndexB,SubindexB,nbyteB,mnemonico\r\n"
              "992,100,0,1,4096,0,1,x\r\n");
}

TEST_F(TransferPeer, PythonCsvReadsEightFieldsWithTheCommaKept) {
    mk::export_sdo_csv(sampleSdo(), dir.path());
    const fs::path out = dir.path() / "fields.txt";
    ASSERT_EQ(run(std::string(kPython) +
                  " -c 'import csv,sys\n"
                  "rows=list(csv.reader(open(sys.argv[1],encoding=\"cp1252\",newline=\"\")))\n"
                  "open(sys.argv[2],\"w\",encoding=\"utf-8\").write(\"\\n\".join("
                  "str(len(r))+\"|\"+r[-1] for r in rows))' " +
                  quoted(dir.path() / "sdo.csv") + " " + quoted(out)),
              0);
    EXPECT_EQ(read_file(out), "8|mnemonico\n8|valve, outlet\n8|pump \"A\"\n8|più\n8|");
}

TEST_F(TransferPeer, ReceivePdoTableComesBackWithDimensionZero) {
    const mk::RpdoTable table(15, {{"0x181", "1", "8"}, {"0x201", "2", "4"}, {"385", "3", ""}});
    mk::export_rpdo_csv(table, dir.path());
    const fs::path xls = toWorkbook(dir.path() / "rpdodef.csv", "rpdodef");
    mk::RpdoTable back(15, {{"9", "9", "9"}});
    ASSERT_EQ(mk::import_rpdo_workbook(back, reader, xls), std::nullopt);
    // The file carries no dimension: the third column, en_bypass, is 0 on every row.
    EXPECT_EQ(back,
              mk::RpdoTable(15, {{"0x181", "1", "0"}, {"0x201", "2", "0"}, {"385", "3", "0"}}));
}

TEST_F(TransferPeer, StoredPdoTableLosesItsFirstEntryToTheHeadingsRow) {
    mk::StoredPdoTable table;
    table.pdos = {{"0x181", 1, {{"200", "33"}, {"0x10", "1"}}}, {"0x201", 2, {{"16", "18"}}}};
    mk::export_sdopdo_csv(table, dir.path());
    const fs::path xls = toWorkbook(dir.path() / "sdopdo.csv", "sdopdo");
    mk::StoredPdoTable back = table;
    ASSERT_EQ(mk::import_sdopdo_workbook(back, reader, xls), std::nullopt);
    EXPECT_EQ(back.pdos[0].entries, (std::vector<mk::TClIndMB>{{"0x10", "1"}}));
    EXPECT_EQ(back.pdos[1].entries, table.pdos[1].entries);
}

} // namespace
