#include <gtest/gtest.h>

#include <limits>

#include "tables/freexl_workbook.h"

namespace {

namespace fs = std::filesystem;

fs::path fixture(const char* name) {
    return fs::path(MK_WORKBOOKS_DIR) / name;
}

std::vector<std::vector<mk::Cell>> sheet(mk::Workbook& book, std::size_t index) {
    book.select_sheet(index);
    std::vector<std::vector<mk::Cell>> rows;
    for (std::size_t r = 0; r < book.row_count(); ++r)
        rows.push_back(book.row(r));
    return rows;
}

TEST(FreexlWorkbook, NumberTextIsTheShortestDecimalForm) {
    EXPECT_EQ(mk::number_text(1000.0), "1000");
    EXPECT_EQ(mk::number_text(std::int64_t{1000}), "1000");
    EXPECT_EQ(mk::number_text(-0.0), "0");
    EXPECT_EQ(mk::number_text(-7.0), "-7");
    EXPECT_EQ(mk::number_text(0.1), "0.1");
    EXPECT_EQ(mk::number_text(2.5), "2.5");
    EXPECT_EQ(mk::number_text(1e20), "100000000000000000000");
    EXPECT_EQ(mk::number_text(std::numeric_limits<double>::infinity()), "INF");
}

TEST(FreexlWorkbook, IntegerAndFloatingPointCellsReadAlike) {
    mk::FreexlWorkbookReader reader;
    auto integers = reader.open(fixture("sdo_integers.xls"));
    auto doubles = reader.open(fixture("sdo_doubles.xls"));
    EXPECT_EQ(integers->sheet_names(), (std::vector<std::string>{"Foglio1", "sdo"}));
    EXPECT_EQ(doubles->sheet_names(), (std::vector<std::string>{"SDO"}));

    const auto a = sheet(*integers, 1);
    const auto b = sheet(*doubles, 0);
    ASSERT_EQ(a.size(), 5u); // the headings and four rows
    EXPECT_EQ(integers->column_count(), 8u);
    EXPECT_EQ(a[0][0], "conf");
    EXPECT_EQ(a[1],
              (std::vector<mk::Cell>{"148", "100", "0", "1", "4096", "0", "2", "valve, outlet"}));
    EXPECT_EQ(a[2][0], "1000");
    EXPECT_EQ(a[2][1], "0x20");
    EXPECT_EQ(a[3][7], std::nullopt);
    EXPECT_EQ(a[4][0], std::nullopt);
    // Stored as 8-byte floats, the same numbers read the same; a fraction keeps it.
    ASSERT_EQ(b.size(), 6u);
    for (std::size_t r = 0; r < a.size(); ++r)
        EXPECT_EQ(a[r], b[r]) << "row " << r;
    EXPECT_EQ(b[5][5], "2.5");
    EXPECT_EQ(b[5][7], "0.1");
}

TEST(FreexlWorkbook, FilesThatAreNoWorkbookFailToOpen) {
    mk::FreexlWorkbookReader reader;
    for (const char* name : {"truncated.xls", "not_a_workbook.xls", "missing.xls"})
        EXPECT_THROW(reader.open(fixture(name)), mk::WorkbookError) << name;
    // The reader holds nothing from a failed open: the next one works.
    EXPECT_NO_THROW(reader.open(fixture("sdopdo.xls")));
}

} // namespace
