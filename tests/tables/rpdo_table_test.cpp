#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/integer_text.h"
#include "core/table_file.h"
#include "tables/rpdo_table.h"
#include "test_dir.h"
#include "test_files.h"

using mk::test::read_file;
using mk::test::write_file;

namespace {

namespace fs = std::filesystem;
using mk::RecordingSink;
using mk::RpdoRow;
using mk::RpdoTable;

RpdoTable tableOf(std::size_t layoutRows, std::vector<RpdoRow> rows) {
    return RpdoTable(layoutRows, std::move(rows));
}

std::string row(const std::string& cobid, const std::string& id, const std::string& dim) {
    return "<row cobid=\"" + cobid + "\" id_dev_orig=\"" + id + "\" dimension=\"" + dim +
           "\" posind=\"0\" n_tpdo=\"0\"/>";
}

TEST(RpdoLayout, RowCountFollowsThePdoLayoutOption) {
    EXPECT_EQ(mk::rpdo_layout_rows(0), 15u);
    EXPECT_EQ(mk::rpdo_layout_rows(1), 8u);
    EXPECT_EQ(mk::rpdo_layout_rows(-3), 8u);
}

TEST(RpdoLoad, ReadsTextsAsTheyStandAndToleratesOlderFiles) {
    RecordingSink sink;
    // Whitespace between rows, another root name, an older row with en_bypass and no dimension.
    const RpdoTable t = mk::parse_rpdo_table(
        "<other>\n  <row cobid=\"0x181\" id_dev_orig=\" 1\" dimension=\"8\" posind=\"7\"/>\n"
        "  <row cobid=\"385\" id_dev_orig=\"$2\" en_bypass=\"1\"/>\n</other>\n",
        15, sink);
    EXPECT_TRUE(sink.entries.empty());
    ASSERT_EQ(t.size(), 15u);
    EXPECT_EQ(t.layout_rows(), 15u);
    EXPECT_EQ(t.row(0), (RpdoRow{"0x181", " 1", "8"}));
    EXPECT_EQ(t.row(1), (RpdoRow{"385", "$2", ""}));
    EXPECT_EQ(t.row(2), RpdoRow{});
    EXPECT_EQ(t.extent(), 2u);
}

TEST(RpdoLoad, RowLackingCobidOrDeviceStopsWithRowsBeforeKept) {
    for (const char* bad :
         {"<row id_dev_orig=\"1\" dimension=\"8\"/>", "<row cobid=\"0x201\" dimension=\"8\"/>"}) {
        RecordingSink sink;
        const RpdoTable t = mk::parse_rpdo_table("<rpdodef>" + row("0x181", "1", "8") + bad +
                                                     row("0x301", "3", "8") + "</rpdodef>",
                                                 8, sink);
        EXPECT_EQ(sink.texts(), std::vector<std::string>{"Error in reading file XML"}) << bad;
        EXPECT_EQ(t.extent(), 1u) << bad;
        EXPECT_EQ(t.row(1), RpdoRow{}) << bad;
    }
}

TEST(RpdoLoad, MissingAndMalformedFiles) {
    mk::test::TempDir dir;
    RecordingSink sink;
    RpdoTable t = mk::load_rpdo_table(dir.path() / "rpdodef.xml", 8, sink);
    EXPECT_EQ(sink.texts(), std::vector<std::string>{"File XML not found"});
    EXPECT_EQ(t.size(), 8u);
    EXPECT_EQ(t.extent(), 0u);

    for (const char* text :
         {"", "<rpdodef><row cobid=\"1\"", "not xml at all", "<rpdodef></other>"}) {
        write_file(dir.path() / "rpdodef.xml", text);
        RecordingSink s;
        t = mk::load_rpdo_table(dir.path() / "rpdodef.xml", 8, s);
        EXPECT_EQ(s.texts(), std::vector<std::string>{"Error in reading file XML"}) << text;
        EXPECT_EQ(t.size(), 8u);
    }
}

TEST(RpdoLoad, RowsBeyondTheLayoutGrowTheGridAndAreNoted) {
    std::string xml = "<rpdodef>";
    for (int i = 0; i < 15; ++i)
        xml += row(std::to_string(0x181 + i), std::to_string(i + 1), "8");
    xml += "</rpdodef>";
    RecordingSink sink;
    const RpdoTable t = mk::parse_rpdo_table(xml, 8, sink);
    ASSERT_EQ(t.size(), 15u);
    EXPECT_EQ(t.layout_rows(), 8u);
    EXPECT_EQ(t.row(14).cobid, std::to_string(0x181 + 14));
    EXPECT_FALSE(t.row_note(7).has_value());
    ASSERT_TRUE(t.row_note(8).has_value());
    EXPECT_NE(t.row_note(8)->find("(8 rows)"), std::string::npos);
    // Saving writes back what is shown, all fifteen rows.
    EXPECT_EQ(mk::TableDocument::parse(mk::serialize_rpdo_table(t)).row_count(), 15u);
}

TEST(RpdoSave, OrderedByValueWithTextFormsKept) {
    const RpdoTable t = tableOf(
        15, {{"0x281", "3", "8"}, {"0x181", "1", ""}, {"0x201", "", ""}, {"385", "9", "2"}});
    // 385 equals 0x181: the lower row in the grid comes first.
    EXPECT_EQ(mk::serialize_rpdo_table(t), "<rpdodef>" + row("385", "9", "2") +
                                               row("0x181", "1", "") + row("0x201", "", "") +
                                               row("0x281", "3", "8") + "</rpdodef>");
}

TEST(RpdoSave, OnlyRowsAboveTheFirstEmptyCobidAndNegativeFirst) {
    const RpdoTable t = tableOf(8, {{"0x181", "1", "8"}, {"", "2", "8"}, {"0x101", "3", "8"}});
    EXPECT_EQ(mk::serialize_rpdo_table(t), "<rpdodef>" + row("0x181", "1", "8") + "</rpdodef>");
    const RpdoTable neg = tableOf(8, {{"5", "1", "8"}, {"0xFFFFFFFF", "2", "8"}});
    EXPECT_EQ(mk::serialize_rpdo_table(neg),
              "<rpdodef>" + row("0xFFFFFFFF", "2", "8") + row("5", "1", "8") + "</rpdodef>");
    EXPECT_EQ(mk::serialize_rpdo_table(tableOf(8, {})), "<rpdodef/>");
}

TEST(RpdoSave, KeysAboveTheSearchStartStillEnd) {
    const RpdoTable t =
        tableOf(8, {{"0xA00000", "1", "8"}, {"0x999999", "2", "8"}, {"1", "3", "8"}});
    EXPECT_EQ(mk::serialize_rpdo_table(t), "<rpdodef>" + row("1", "3", "8") +
                                               row("0x999999", "2", "8") +
                                               row("0xA00000", "1", "8") + "</rpdodef>");
}

TEST(RpdoSave, BadCobidWritesNothingAndKeepsTheOldFile) {
    mk::test::TempDir dir;
    const fs::path file = dir.path() / "rpdodef.xml";
    write_file(file, "<rpdodef>" + row("1", "1", "1") + "</rpdodef>");
    for (const char* bad : {"0x", "abc", "0x1G"}) {
        const RpdoTable t = tableOf(8, {{"0x181", "1", "8"}, {bad, "2", "8"}});
        try {
            mk::save_rpdo_table(t, file);
            FAIL() << bad;
        } catch (const mk::ConversionError& e) {
            EXPECT_EQ(std::string(e.what()),
                      "'" + std::string(bad) + "' is not a valid integer value");
        }
        EXPECT_EQ(read_file(file), "<rpdodef>" + row("1", "1", "1") + "</rpdodef>");
    }
    // The other columns are written unchanged, even a lone prefix.
    mk::save_rpdo_table(tableOf(8, {{"0x181", "0x", "0x"}}), file);
    EXPECT_EQ(read_file(file), "<rpdodef>" + row("0x181", "0x", "0x") + "</rpdodef>");
}

TEST(RpdoSave, TenThousandRowFileRoundTripsQuickly) {
    mk::test::TempDir dir;
    const fs::path file = dir.path() / "rpdodef.xml";
    std::string xml = "<rpdodef>";
    for (int i = 10000; i > 0; --i)
        xml += row(std::to_string(i), "1", "8");
    xml += "</rpdodef>";
    write_file(file, xml);
    const auto start = std::chrono::steady_clock::now();
    RecordingSink sink;
    const RpdoTable t = mk::load_rpdo_table(file, 15, sink);
    ASSERT_EQ(t.size(), 10000u);
    mk::save_rpdo_table(t, file);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    const mk::TableDocument doc = mk::TableDocument::load(file);
    ASSERT_EQ(doc.row_count(), 10000u);
    EXPECT_EQ(doc.row(0).attr("cobid"), "1");
    EXPECT_EQ(doc.row(9999).attr("cobid"), "10000");
}

} // namespace
