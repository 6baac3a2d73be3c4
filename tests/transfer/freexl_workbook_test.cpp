#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <limits>

#include "test_dir.h"
#include "transfer/freexl_workbook.h"
#include "transfer/sdo_transfer.h"

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

// Cells formatted as a date, a time or both are read as the text FreeXL gives them, never empty.
TEST(FreexlWorkbook, DateAndTimeCellsGiveTheirText) {
    mk::FreexlWorkbookReader reader;
    auto book = reader.open(fixture("dates.xls"));
    const auto rows = sheet(*book, 0);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1], (std::vector<mk::Cell>{"2024-03-05", "14:37:09", "2024-03-05 14:37:09"}));
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

// The reader leaves no process behind, running or unreaped.
bool no_child_left() {
    return ::waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD;
}

TEST(FreexlWorkbook, AFileThatBreaksTheLibraryIsReportedAndTheProgramGoesOn) {
    // FreeXL writes below a stack buffer while opening this file; only the reading process
    // is exposed to that.
    const fs::path finding = fs::path(MK_FUZZ_FINDINGS_DIR) / "freexl_open_stack_underflow.xls";
    ASSERT_TRUE(fs::exists(finding));
    mk::FreexlWorkbookReader reader;
    mk::SdoTable table;
    EXPECT_EQ(mk::import_sdo_workbook(table, reader, finding),
              "Import stopped: the file cannot be read as an Excel workbook (.xls)");
    EXPECT_TRUE(no_child_left());
    EXPECT_EQ(reader.open(fixture("sdo_doubles.xls"))->sheet_names(),
              std::vector<std::string>{"SDO"});
}

TEST(FreexlWorkbook, AReadingProcessThatDiesOrSendsNothingIsReported) {
    using Hook = void (*)();
    const Hook hooks[] = {
        [] { ::raise(SIGKILL); },
        [] { ::raise(SIGSEGV); },
        [] { ::_exit(0); }, // "success" without a stream
        [] { ::_exit(7); },
    };
    for (const Hook hook : hooks) {
        mk::WorkbookReadLimits limits;
        limits.in_reading_process = hook;
        mk::FreexlWorkbookReader reader(limits);
        EXPECT_THROW(reader.open(fixture("sdo_integers.xls")), mk::WorkbookError);
        EXPECT_TRUE(no_child_left());
    }
}

TEST(FreexlWorkbook, AReadingProcessIsStoppedAtTheTimeAndSizeLimits) {
    // Opening a pipe without a writer blocks the reading process in freexl_open.
    mk::test::TempDir dir;
    const fs::path fifo = dir.path() / "blocked.xls";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    mk::WorkbookReadLimits limits;
    limits.time = std::chrono::milliseconds(150);
    mk::FreexlWorkbookReader slow(limits);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(slow.open(fifo), mk::WorkbookError);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, limits.time);
    EXPECT_LT(took, std::chrono::seconds(3));
    EXPECT_TRUE(no_child_left());

    // A process that hangs after it is started is stopped the same way.
    limits.in_reading_process = [] {
        for (;;)
            ::pause();
    };
    EXPECT_THROW(mk::FreexlWorkbookReader(limits).open(fixture("sdopdo.xls")), mk::WorkbookError);
    EXPECT_TRUE(no_child_left());

    // The workbook as sent must fit the size limit; the same workbook fits the default one.
    mk::WorkbookReadLimits small;
    small.max_bytes = 64;
    EXPECT_THROW(mk::FreexlWorkbookReader(small).open(fixture("sdopdo.xls")), mk::WorkbookError);
    EXPECT_TRUE(no_child_left());
    EXPECT_NO_THROW(mk::FreexlWorkbookReader().open(fixture("sdopdo.xls")));
    EXPECT_TRUE(no_child_left());
}

} // namespace
