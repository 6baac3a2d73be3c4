// The import from every format "Import" offers: .xls, .xlsx (openpyxl, XlsxWriter), .ods (odfpy)
// and CSV, the fixtures made by workbooks/make_sheet_fixtures.py. The format comes from the
// content, so a fixture may be copied under any name.
#include <gtest/gtest.h>

#include <filesystem>

#include "test_dir.h"
#include "test_files.h"
#include "transfer/csv_import.h"
#include "transfer/rpdo_transfer.h"
#include "transfer/sdo_transfer.h"
#include "transfer/sdopdo_transfer.h"
#include "transfer/spreadsheet_reader.h"

namespace {

namespace fs = std::filesystem;

fs::path fixture(const std::string& name) {
    return fs::path(MK_WORKBOOKS_DIR) / name;
}

constexpr const char* kNoFormat =
    "Import stopped: the file cannot be read as an Excel workbook (.xls, .xlsx), an "
    "OpenDocument spreadsheet (.ods) or a CSV file (.csv)";

// ---- The same table from every format ------------------------------------------------------

struct Format {
    const char* name;
    const char* sdo;
    const char* rpdodef;
    const char* sdopdo;
};

class EveryFormat : public ::testing::TestWithParam<Format> {
protected:
    mk::SpreadsheetReader reader;
};

TEST_P(EveryFormat, ImportsTheTablesOfTheXlsWorkbooks) {
    const Format f = GetParam();
    mk::SdoTable sdo, sdo_xls;
    EXPECT_EQ(mk::import_sdo_workbook(sdo, reader, fixture(f.sdo)), std::nullopt);
    ASSERT_EQ(mk::import_sdo_workbook(sdo_xls, reader, fixture("sdo_integers.xls")), std::nullopt);
    EXPECT_EQ(sdo, sdo_xls);
    EXPECT_EQ(sdo.row(0).mnemonico, "valve, outlet");
    EXPECT_EQ(sdo.row(1).hi_word, "31");

    mk::RpdoTable rpdo(15, {}), rpdo_xls(15, {});
    EXPECT_EQ(mk::import_rpdo_workbook(rpdo, reader, fixture(f.rpdodef)), std::nullopt);
    ASSERT_EQ(mk::import_rpdo_workbook(rpdo_xls, reader, fixture("rpdodef_upper_case.xls")),
              std::nullopt);
    EXPECT_EQ(rpdo, rpdo_xls);

    mk::StoredPdoTable pdo, pdo_xls;
    pdo.pdos = pdo_xls.pdos = {{"0x181", 1, {}}, {"0x201", 2, {}}};
    const auto ended = mk::import_sdopdo_workbook(pdo, reader, fixture(f.sdopdo));
    EXPECT_EQ(ended, mk::import_sdopdo_workbook(pdo_xls, reader, fixture("sdopdo.xls")));
    ASSERT_NE(ended, std::nullopt); // PDO 0 in sheet row 6
    EXPECT_EQ(pdo, pdo_xls);
    EXPECT_EQ(pdo.pdos[1].entries.size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, EveryFormat,
    ::testing::Values(Format{"xlsx", "sdo.xlsx", "rpdodef_upper_case.xlsx", "sdopdo.xlsx"},
                      Format{"ods", "sdo.ods", "rpdodef_upper_case.ods", "sdopdo.ods"},
                      Format{"csv", "sdo.csv", "RPDODEF.csv", "sdopdo.csv"},
                      // One book of openpyxl holds the three sheets.
                      Format{"openpyxl", "openpyxl.xlsx", "openpyxl.xlsx", "openpyxl.xlsx"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Cells of .xlsx and .ods ----------------------------------------------------------------

struct CellsCase {
    const char* name;
    const char* file;
    std::vector<mk::RpdoRow> rows;
    std::optional<std::string> message;
};

class WorkbookCells : public ::testing::TestWithParam<CellsCase> {};

TEST_P(WorkbookCells, GiveTheirValuesOrStopAtAnError) {
    const CellsCase& c = GetParam();
    mk::SpreadsheetReader reader;
    mk::RpdoTable table(15, {});
    EXPECT_EQ(mk::import_rpdo_workbook(table, reader, fixture(c.file)), c.message);
    EXPECT_EQ(table, mk::RpdoTable(15, c.rows));
}

// Whole numbers stored as floating point lose the fraction, booleans read 1 and 0, a formula
// gives its last result, an error in a column the table does not read is passed over.
const std::vector<mk::RpdoRow> kCellRows = {
    {"0x181", "1", "8"}, {"385", "1", "0"}, {"0x201", "2.5", ""}, {"0x181", "1", "8"}};
constexpr const char* kErrorInRow3 =
    "Import stopped at sheet row 3: the cell in column 2 holds an error, or a formula without "
    "its result";
constexpr const char* kNoResultInRow5 =
    "Import stopped at sheet row 5: the cell in column 2 holds an error, or a formula without "
    "its result";

INSTANTIATE_TEST_SUITE_P(
    Kinds, WorkbookCells,
    ::testing::Values(
        CellsCase{"Xlsx", "rpdodef_cells.xlsx", kCellRows, {}},
        CellsCase{"Ods",
                  "rpdodef_cells.ods",
                  {kCellRows[0], {"385", "", "0"}, kCellRows[2], kCellRows[3]},
                  {}},
        CellsCase{"XlsxError", "rpdodef_error.xlsx", {kCellRows[0]}, kErrorInRow3},
        CellsCase{"OdsError", "rpdodef_error.ods", {kCellRows[0]}, kErrorInRow3},
        // Text inside the cells, sheets named by absolute paths (openpyxl, whose formulas carry
        // no result), shared strings and an error cell read without liborcus's sheet reader.
        CellsCase{"XlsxInlineText", "rpdodef_inline.xlsx", kCellRows, {}},
        CellsCase{"XlsxByOpenpyxl",
                  "rpdodef_openpyxl.xlsx",
                  {kCellRows[0], kCellRows[1], kCellRows[2]},
                  kNoResultInRow5},
        CellsCase{"XlsxErrorAbsolutePaths",
                  "rpdodef_error_absolute.xlsx",
                  {kCellRows[0]},
                  std::string(kErrorInRow3) + " (#DIV/0!)"},
        CellsCase{"XlsxDamaged", "truncated.xlsx", {}, kNoFormat},
        CellsCase{"OdsDamaged", "truncated.ods", {}, kNoFormat}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- The format comes from the content --------------------------------------------------------

class ContentDecides : public ::testing::Test {
protected:
    fs::path copy(const std::string& from, const std::string& as) {
        const fs::path to = dir.path() / as;
        fs::copy_file(fixture(from), to);
        return to;
    }
    mk::test::TempDir dir;
    mk::SpreadsheetReader reader;
};

TEST_F(ContentDecides, NotTheExtension) {
    mk::SdoTable expected, table;
    ASSERT_EQ(mk::import_sdo_workbook(expected, reader, fixture("sdo_integers.xls")), std::nullopt);
    for (const char* from : {"sdo.xlsx", "sdo.ods", "sdo_integers.xls"}) {
        SCOPED_TRACE(from);
        EXPECT_EQ(mk::import_sdo_workbook(table, reader, copy(from, std::string(from) + ".csv")),
                  std::nullopt);
        EXPECT_EQ(table, expected);
    }
}

TEST_F(ContentDecides, FilesOfNoFormatAreNamedWithTheList) {
    mk::test::write_file(dir.path() / "binary.xlsx", std::string("\x01\x02\x03zz\0", 6));
    mk::test::write_file(dir.path() / "empty.csv", "");
    mk::test::write_file(dir.path() / "zip.ods", std::string("PK\x03\x04", 4) + "not a zip");
    for (const char* name : {"binary.xlsx", "empty.csv", "zip.ods", "missing.csv"}) {
        SCOPED_TRACE(name);
        mk::SdoTable table;
        table.row(0).id = "1";
        EXPECT_EQ(mk::import_sdo_workbook(table, reader, dir.path() / name), kNoFormat);
        EXPECT_EQ(table, mk::SdoTable());
    }
}

// Fuzz findings end the reading process or fail in it, and the file is refused: liborcus
// allocates what a zip entry claims to unpack to (the process bounds its memory, so a claim of
// 3.5 GB cannot take the machine's memory); its parser asserts, or reads past the end, on a
// part that ends inside an element.
TEST_F(ContentDecides, FuzzFindingsAreRefused) {
    for (const char* name :
         {"orcus_zip_entry_claims_3_5_gb.xlsx", "liborcus_asserts_past_the_end.xlsx",
          "sax_parser_reads_past_the_end.xlsx"}) {
        SCOPED_TRACE(name);
        mk::SdoTable table;
        const auto message =
            mk::import_sdo_workbook(table, reader, fs::path(MK_FUZZ_FINDINGS_DIR) / name);
        ASSERT_TRUE(message);
        EXPECT_TRUE(message->starts_with("Import stopped: the file cannot be read as")) << *message;
        EXPECT_EQ(table, mk::SdoTable());
    }
}

TEST_F(ContentDecides, ACsvFileNamedAfterAnotherTableIsNotTaken) {
    mk::RpdoTable table(15, {});
    EXPECT_EQ(mk::import_rpdo_workbook(table, reader, copy("sdo.csv", "sdo.csv")),
              "No sheet named rpdodef in the workbook");
    // Under a name that is no table's, the file is the table of the editor that imports it.
    EXPECT_EQ(mk::import_rpdo_workbook(table, reader, copy("RPDODEF.csv", "my list.csv")),
              std::nullopt);
    EXPECT_EQ(table.row(0).cobid, "0x181");
}

// ---- CSV text -----------------------------------------------------------------------------------

struct CsvCase {
    const char* name;
    std::string bytes;
    std::vector<std::vector<mk::Cell>> rows;
    std::optional<std::size_t> unreadable_from = std::nullopt;
};

class CsvText : public ::testing::TestWithParam<CsvCase> {};

TEST_P(CsvText, ReadsAsTheExportWrites) {
    const CsvCase& c = GetParam();
    const mk::CsvSheet sheet = mk::parse_csv(c.bytes);
    EXPECT_EQ(sheet.rows, c.rows);
    EXPECT_EQ(sheet.unreadable_from, c.unreadable_from);
}

using R = std::vector<mk::Cell>;
const mk::Cell none;

INSTANTIATE_TEST_SUITE_P(
    Cases, CsvText,
    ::testing::Values(
        CsvCase{"CrLf", "a,b\r\n1,2\r\n", {R{"a", "b"}, R{"1", "2"}}},
        CsvCase{"LfAndNoLastLineEnd", "a,b\n1,2", {R{"a", "b"}, R{"1", "2"}}},
        CsvCase{"EmptyFieldsAreEmptyCells", "1,,3,\r\n", {R{"1", none, "3", none}}},
        CsvCase{"QuotedCommaQuoteAndLineBreak",
                "\"valve, outlet\",\"pump \"\"A\"\"\",\"two\r\nlines\"\r\n",
                {R{"valve, outlet", "pump \"A\"", "two\r\nlines"}}},
        CsvCase{"Windows1252", "pi\xF9,\x80\r\n", {R{"più", "€"}}},
        CsvCase{"Utf8", "più,€\r\n", {R{"più", "€"}}},
        CsvCase{"Utf8WithByteOrderMark", "\xEF\xBB\xBFpiù\r\n", {R{"più"}}},
        CsvCase{"BlankLinesAtTheEndAreNoRows", "a\r\n\r\nb\r\n\r\n\n", {R{"a"}, R{none}, R{"b"}}},
        CsvCase{"UnclosedQuoteEndsTheSheet", "a\r\n\"b,c\r\nd\r\n", {R{"a"}}, 1}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Export, then import ----------------------------------------------------------------------

TEST(CsvRoundTrip, ExportThenImportGivesTheSdoTableBack) {
    mk::test::TempDir dir;
    mk::SdoTable table;
    // In Addr Word order, as the export writes them; texts kept as typed, 1252 letters too.
    table.row(0) = {"16", "4", "4", "1", "1", "4096", "0", "2", "valve, outlet"};
    table.row(1) = {"0x20", "31", "0", "0", "127", "0x6000", "1", "4", "pump \"A\""};
    table.row(2) = {"300", "0", "1", "0", "5", "8192", "255", "1", "più €"};
    table.row(3) = {"400", "2", "3", "1", "6", "$2001", "3", "2", ""};
    mk::export_sdo_csv(table, dir.path());
    mk::SpreadsheetReader reader;
    mk::SdoTable back;
    ASSERT_EQ(mk::import_sdo_workbook(back, reader, dir.path() / "sdo.csv"), std::nullopt);
    EXPECT_EQ(back, table);
}

} // namespace
