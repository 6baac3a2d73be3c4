#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/integer_text.h"
#include "core/table_file.h"
#include "tables/sdo_table.h"
#include "test_dir.h"
#include "test_files.h"

using mk::test::read_file;

namespace {

namespace fs = std::filesystem;
using mk::RecordingSink;
using mk::SdoRow;
using mk::SdoTable;

SdoRow validRow(std::string addr, std::string mnemonico = "") {
    return SdoRow{std::move(addr), "4", "4", "1", "5", "0x2000", "1", "2", std::move(mnemonico)};
}

SdoTable tableOf(std::initializer_list<SdoRow> rows) {
    SdoTable t;
    std::size_t i = 0;
    for (const SdoRow& r : rows)
        t.row(i++) = r;
    return t;
}

std::string rowXml(const std::string& attrs) {
    return "<row " + attrs + "/>";
}

TEST(SdoConf, PacksAndUnpacksTheThreeSelectors) {
    EXPECT_EQ(mk::pack_conf({4, 1, 4}), 148);
    EXPECT_EQ(mk::pack_conf({0, 0, 0}), 0);
    const auto check = [](std::int32_t v, int hi, int rw, int lo) {
        const mk::SdoConf c = mk::unpack_conf(v);
        EXPECT_EQ(c.hi_word, hi) << v;
        EXPECT_EQ(c.rw, rw) << v;
        EXPECT_EQ(c.lo_word, lo) << v;
    };
    check(148, 4, 1, 4);
    check(8, 0, 0, 0);     // bit 3 is dropped
    check(65536, 0, 0, 0); // only the low 16 bits count
    check(1000, 31, 0, 0);
    check(-1, 2047, 1, 7);
}

TEST(SdoLoad, ReadsCellsAsTextAndUnpacksConf) {
    RecordingSink sink;
    const SdoTable t = mk::parse_sdo_table(
        "<?xml version=\"1.0\"?>\n<whatever>\n"
        "  <row conf=\"148\" IndexA=\"0x10\" SubindexA=\"9\" devIDB=\"$7F\" IndexB=\"0x1000\" "
        "SubindexB=\"x1a\" nbyteB=\" 4\" mnemonico=\"a, &quot;b&quot; &lt;c&gt; &amp; città\"/>\n"
        "  <other IndexA=\"2\" devIDB=\"1\" IndexB=\"4096\" SubindexB=\"0\" nbyteB=\"1\"/>\n"
        "  <row conf=\"abc\" IndexA=\"3\" devIDB=\"1\" IndexB=\"4096\" SubindexB=\"0\" "
        "nbyteB=\"1\"/>\n"
        "  <row conf=\"65536\" IndexA=\"4\" devIDB=\"1\" IndexB=\"4096\" SubindexB=\"0\" "
        "nbyteB=\"1\"/>\n"
        "</whatever>\n",
        sink);
    EXPECT_TRUE(sink.entries.empty());
    EXPECT_EQ(t.row(0), (SdoRow{"0x10", "4", "4", "1", "$7F", "0x1000", "x1a", " 4",
                                "a, \"b\" <c> & città"}));
    // A row without conf, or with conf not a number or beyond 16 bits, shows 0, 0, 0; a row
    // without mnemonico has an empty one.
    for (std::size_t i = 1; i <= 3; ++i) {
        EXPECT_EQ(t.row(i).hi_word, "0");
        EXPECT_EQ(t.row(i).rw, "0");
        EXPECT_EQ(t.row(i).lo_word, "0");
        EXPECT_EQ(t.row(i).mnemonico, "");
    }
    EXPECT_EQ(t.extent(), 4u);
}

TEST(SdoLoad, ReadingErrorKeepsTheRowsBeforeIt) {
    RecordingSink sink;
    const SdoTable t = mk::parse_sdo_table(
        "<sdo>" + rowXml("IndexA=\"1\" devIDB=\"1\" IndexB=\"4096\" SubindexB=\"0\" nbyteB=\"1\"") +
            rowXml("IndexA=\"2\" IndexB=\"4096\" SubindexB=\"0\" nbyteB=\"1\"") +
            rowXml("IndexA=\"3\" devIDB=\"1\" IndexB=\"4096\" SubindexB=\"0\" nbyteB=\"1\"") +
            "</sdo>",
        sink);
    EXPECT_EQ(sink.texts(), std::vector<std::string>{"Error in reading file XML"});
    EXPECT_EQ(t.row(0).addr_word, "1");
    // The row that failed is not shown in part, and reading stopped there.
    EXPECT_EQ(t.row(1), SdoRow{});
    EXPECT_EQ(t.row(2), SdoRow{});
    EXPECT_EQ(t.extent(), 1u);
}

TEST(SdoLoad, MissingMalformedAndStrayContent) {
    mk::test::TempDir dir;
    {
        RecordingSink sink;
        EXPECT_EQ(mk::load_sdo_table(dir.path() / "sdo.xml", sink), SdoTable());
        EXPECT_EQ(sink.texts(), std::vector<std::string>{"File XML not found"});
    }
    for (const char* bad : {"<sdo><row IndexA=\"1\"></sdo>", "", "\x01\x02garbage",
                            "<sdo><row IndexA=\"1\" devIDB=\"1\" IndexB=\"1\" SubindexB=\"1\" "
                            "nbyteB=\"1\"/>text between rows</sdo>"}) {
        { std::ofstream(dir.path() / "sdo.xml", std::ios::binary) << bad; }
        RecordingSink sink;
        const SdoTable t = mk::load_sdo_table(dir.path() / "sdo.xml", sink);
        EXPECT_EQ(sink.texts(), std::vector<std::string>{"Error in reading file XML"}) << bad;
        EXPECT_LE(t.extent(), 1u);
    }
}

TEST(SdoLoad, RowsAfterTheGridsCapacityAreNotLoaded) {
    std::string xml = "<sdo>";
    for (int i = 0; i < 10000; ++i)
        xml += rowXml("conf=\"17\" IndexA=\"" + std::to_string(i + 1) +
                      "\" devIDB=\"1\" IndexB=\"4096\" SubindexB=\"0\" nbyteB=\"1\"");
    xml += "<broken/></sdo>"; // beyond the grid: never read, so never reported as broken
    RecordingSink sink;
    const SdoTable t = mk::parse_sdo_table(xml, sink);
    // The user is told on opening that the rows beyond the grid will not be kept.
    EXPECT_EQ(sink.texts(), std::vector<std::string>{
                                "The file holds 10001 rows but the table shows 1500: the last "
                                "8501 rows are not loaded and will not be kept when the table "
                                "is saved"});
    EXPECT_EQ(t.extent(), SdoTable::kRows);
    EXPECT_EQ(t.row(SdoTable::kRows - 1).addr_word, "1500");
}

TEST(SdoValidate, ReportsTheLastFailingRowAndItsFirstFailingColumn) {
    SdoTable t = tableOf(
        {validRow("1"), validRow("2"), validRow("3"), validRow("4"), validRow("5"), validRow("6")});
    EXPECT_EQ(mk::validate_sdo_table(t), std::nullopt);

    t.row(1).hi_word = "5"; // N = 1
    EXPECT_EQ(mk::validate_sdo_table(t), "Value of range [0..4] column Hi Word row 2");
    t.row(4).index = "0x0FFF"; // N = 4: the later row wins
    EXPECT_EQ(mk::validate_sdo_table(t),
              "Value of range [4096..65535](hex 0x1000..0xFFFF ) column Index row 5");
    t.row(4).addr_word = "0"; // its first failing column wins within the row
    t.row(4).rw = "2";
    EXPECT_EQ(mk::validate_sdo_table(t),
              "Value of range [1..65535](hex 0x0001..0xFFFF ) column Addr Word row 5");
    // Once a row has failed, its later columns are not even read as numbers.
    t.row(4).nbyte = "not a number";
    EXPECT_EQ(mk::validate_sdo_table(t),
              "Value of range [1..65535](hex 0x0001..0xFFFF ) column Addr Word row 5");
}

TEST(SdoValidate, EachColumnHasItsRangeAndMessage) {
    struct Case {
        std::string SdoRow::*field;
        const char* bad;
        const char* good;
        const char* message;
    };
    const Case cases[] = {
        {&SdoRow::addr_word, "0x10000", "0xFFFF",
         "Value of range [1..65535](hex 0x0001..0xFFFF ) column Addr Word row 1"},
        {&SdoRow::hi_word, "-1", "0", "Value of range [0..4] column Hi Word row 1"},
        {&SdoRow::lo_word, "5", "$4", "Value of range [0..4] column Lo Word row 1"},
        {&SdoRow::rw, "2", "0", "Value of range [0,1] column R/W row 1"},
        {&SdoRow::id, "0", "127", "Value of range [1..127] column ID row 1"},
        {&SdoRow::id, "128", "1", "Value of range [1..127] column ID row 1"},
        {&SdoRow::index, "4095", "4096",
         "Value of range [4096..65535](hex 0x1000..0xFFFF ) column Index row 1"},
        {&SdoRow::subindex, "256", "0xff", "Value of range [0..255] column SubIndex row 1"},
        {&SdoRow::nbyte, "3", "4", "Value of range [1,2,4] column nByte row 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        SdoTable t = tableOf({validRow("1")});
        t.row(0).*c.field = c.bad;
        EXPECT_EQ(mk::validate_sdo_table(t), c.message) << c.bad;
        t.row(0).*c.field = c.good;
        EXPECT_EQ(mk::validate_sdo_table(t), std::nullopt) << c.good;
    }
}

// The text of the conversion error validation stops with, or "" when it does not throw.
std::string conversionFailure(const SdoTable& t) {
    try {
        mk::validate_sdo_table(t);
    } catch (const mk::ConversionError& e) {
        return e.what();
    }
    return "";
}

TEST(SdoValidate, TextThatIsNotANumberStopsAtOnce) {
    SdoTable t = tableOf({validRow("1"), validRow("2"), validRow("3")});
    t.row(0).hi_word = "9"; // a range failure before it does not matter
    t.row(1).hi_word = "";
    t.row(2).id = "0"; // nor one after it
    EXPECT_EQ(conversionFailure(t), "'' is not a valid integer value");
    t.row(1).hi_word = "1A";
    EXPECT_EQ(conversionFailure(t), "'1A' is not a valid integer value");
    t.row(1).hi_word = "0x";
    EXPECT_EQ(conversionFailure(t), "'0x' is not a valid integer value");
}

TEST(SdoSave, TableEndsAtTheFirstEmptyAddrWord) {
    SdoTable t = tableOf({validRow("1"), validRow("2"), validRow("3"), validRow(""),
                          SdoRow{"7", "junk", "", "", "", "", "", "", ""}});
    EXPECT_EQ(t.extent(), 3u);
    EXPECT_EQ(mk::validate_sdo_table(t), std::nullopt);
    EXPECT_EQ(mk::sdo_records_for_saving(t).size(), 3u);
}

TEST(SdoSave, WritesRowsStablySortedByNumericAddrWord) {
    const SdoTable t = tableOf({
        SdoRow{"100", "4", "4", "1", "5", "0x2000", "0", "4", "first 100"},
        SdoRow{"0x64", "0", "0", "0", "$7f", "4096", "0X1", "1", "second 100"},
        SdoRow{" +50", "1", "2", "0", "1", "0x1000", "x10", "2", "fifty"},
        SdoRow{"$10", "0", "3", "1", "1", "0x1000", "0", "2", ""},
    });
    EXPECT_EQ(mk::serialize_sdo_table(t),
              "<sdo>"
              "<row conf=\"19\" IndexA=\"$10\" SubindexA=\"0\" devIDB=\"1\" IndexB=\"0x1000\" "
              "SubindexB=\"0\" nbyteB=\"2\" mnemonico=\"\"/>"
              "<row conf=\"34\" IndexA=\" +50\" SubindexA=\"0\" devIDB=\"1\" IndexB=\"0x1000\" "
              "SubindexB=\"x10\" nbyteB=\"2\" mnemonico=\"fifty\"/>"
              "<row conf=\"148\" IndexA=\"100\" SubindexA=\"0\" devIDB=\"5\" IndexB=\"0x2000\" "
              "SubindexB=\"0\" nbyteB=\"4\" mnemonico=\"first 100\"/>"
              "<row conf=\"0\" IndexA=\"0x64\" SubindexA=\"0\" devIDB=\"$7f\" IndexB=\"4096\" "
              "SubindexB=\"0X1\" nbyteB=\"1\" mnemonico=\"second 100\"/>"
              "</sdo>");
}

TEST(SdoSave, EqualAddrWordsKeepTheirGridOrderInALongTable) {
    // Long enough that an unstable sort would visibly reorder equal keys.
    SdoTable t;
    const char* keys[] = {"3", "0x2", "1", "$3", "2", "0x1"};
    for (std::size_t i = 0; i < 300; ++i)
        t.row(i) = validRow(keys[i % 6], std::to_string(i));
    const std::vector<mk::TMyrec> records = mk::sdo_records_for_saving(t);
    ASSERT_EQ(records.size(), 300u);
    for (std::size_t i = 1; i < records.size(); ++i) {
        const int a = mk::str_to_int(records[i - 1].addr_word);
        const int b = mk::str_to_int(records[i].addr_word);
        ASSERT_LE(a, b) << i;
        if (a == b) {
            EXPECT_LT(std::stoi(records[i - 1].mnemonico), std::stoi(records[i].mnemonico)) << i;
        }
    }
}

TEST(SdoSave, EmptyTableIsARootWithoutChildren) {
    EXPECT_EQ(mk::serialize_sdo_table(SdoTable()), "<sdo/>");
}

TEST(SdoSave, FullTableRoundTripsThroughTheFile) {
    mk::test::TempDir dir;
    const fs::path file = dir.path() / "sdo.xml";
    SdoTable t;
    for (std::size_t i = 0; i < SdoTable::kRows; ++i)
        t.row(i) = validRow(std::to_string(SdoTable::kRows - i), "m" + std::to_string(i));
    t.row(7).mnemonico = "valvola, \"uscita\" <1> & più; tab\tend";
    ASSERT_EQ(mk::validate_sdo_table(t), std::nullopt);
    mk::save_sdo_table(t, file);

    RecordingSink sink;
    const SdoTable back = mk::load_sdo_table(file, sink);
    EXPECT_TRUE(sink.entries.empty());
    ASSERT_EQ(back.extent(), SdoTable::kRows);
    // Saved in Addr Word order: the grid's last row comes first.
    for (std::size_t i = 0; i < SdoTable::kRows; ++i)
        EXPECT_EQ(back.row(i), t.row(SdoTable::kRows - 1 - i)) << i;
    // A second save of what was read gives the same bytes.
    const std::string first = read_file(file);
    mk::save_sdo_table(back, file);
    EXPECT_EQ(read_file(file), first);
}

TEST(SdoSave, BadCellWritesNothing) {
    mk::test::TempDir dir;
    const fs::path file = dir.path() / "sdo.xml";
    { std::ofstream(file, std::ios::binary) << "<sdo/>"; }
    SdoTable t = tableOf({validRow("1"), validRow("2")});
    t.row(1).rw = "?";
    EXPECT_THROW(mk::save_sdo_table(t, file), mk::ConversionError);
    EXPECT_EQ(read_file(file), "<sdo/>");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

} // namespace
