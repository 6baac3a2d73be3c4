#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/table_file.h"
#include "tables/tpdo_table.h"
#include "test_dir.h"
#include "test_files.h"

using mk::test::read_file;

namespace {

namespace fs = std::filesystem;
using mk::RecordingSink;
using mk::TpdoRow;
using mk::TpdoTable;
using Texts = std::vector<std::string>;

std::string row(const std::string& cob, const std::string& dim, const std::string& sma) {
    return "<row COB-ID=\"" + cob + "\" Dimension=\"" + dim + "\" SMA=\"" + sma + "\"/>";
}

TEST(TpdoLayout, RowCountFollowsThePdoLayoutOption) {
    EXPECT_EQ(mk::tpdo_layout_rows(0), 3u);
    EXPECT_EQ(mk::tpdo_layout_rows(1), 8u);
}

TEST(TpdoLoad, MissingAndDamagedFilesAreReportedWithTheirPlace) {
    mk::test::TempDir dir;
    RecordingSink sink;
    const TpdoTable t = mk::load_tpdo_table(dir.path() / "Transmit_Pdo.xml", 3, sink);
    EXPECT_EQ(sink.texts(), Texts{"File XML not found"});
    EXPECT_EQ(t.size(), 3u);

    // A row lacking an attribute, or a damaged file, ends the loading with the place.
    sink.entries.clear();
    const TpdoTable partial = mk::parse_tpdo_table("<Trasmit_PDO>" + row("0x181", "8", "100") +
                                                       "<row COB-ID=\"0x182\" Dimension=\"8\"/>" +
                                                       row("0x183", "8", "102") + "</Trasmit_PDO>",
                                                   8, sink);
    EXPECT_EQ(partial.extent(), 1u);
    EXPECT_EQ(partial.row(0), (TpdoRow{"0x181", "8", "100"}));
    const TpdoTable broken = mk::parse_tpdo_table("<Trasmit_PDO><row", 8, sink);
    EXPECT_EQ(broken.extent(), 0u);
    EXPECT_EQ(sink.texts(),
              (Texts{"Error in reading file XML (Transmit_Pdo.xml, row 2: no attribute SMA)",
                     "Error in reading file XML (Transmit_Pdo.xml: not a well-formed XML file)"}));
}

TEST(TpdoLoad, TwentyRowsAreAllShownBeyondTheLayout) {
    std::string xml = "<Trasmit_PDO>";
    for (int i = 0; i < 20; ++i)
        xml += row(std::to_string(0x181 + i), "8", std::to_string(100 + 4 * i));
    xml += "</Trasmit_PDO>";
    RecordingSink sink;
    const TpdoTable t = mk::parse_tpdo_table(xml, 3, sink);
    ASSERT_EQ(t.size(), 20u);
    EXPECT_EQ(t.layout_rows(), 3u);
    EXPECT_TRUE(t.row_note(3).has_value());
    EXPECT_TRUE(mk::check_tpdo_table(t).empty());
    EXPECT_EQ(mk::TableDocument::parse(mk::serialize_tpdo_table(t)).row_count(), 20u);
}

TEST(TpdoCheck, RangesAtTheirLimits) {
    EXPECT_TRUE(
        mk::check_tpdo_table(TpdoTable(3, {{"0x7FF", "8", "65535"}, {"1", "1", "0"}})).empty());
    const auto single = [](TpdoRow r) {
        return mk::check_tpdo_table(TpdoTable(3, {std::move(r)}));
    };
    EXPECT_EQ(single({"0x800", "8", "0"}),
              Texts{"Error in row 1. Cob-id must be between 0x001 and 0x7FF"});
    EXPECT_EQ(single({"0", "8", "0"}),
              Texts{"Error in row 1. Cob-id must be between 0x001 and 0x7FF"});
    EXPECT_EQ(single({"1", "0", "0"}), Texts{"Error in row 1. Dimension must be between 1 and 8"});
    EXPECT_EQ(single({"1", "9", "0"}), Texts{"Error in row 1. Dimension must be between 1 and 8"});
    // A Dimension that is not a number counts as -1.
    EXPECT_EQ(single({"1", "eight", ""}),
              Texts{"Error in row 1. Dimension must be between 1 and 8"});
    for (const char* sma : {"65536", "-1", "0x"})
        EXPECT_EQ(single({"1", "8", sma}),
                  Texts{"Error in row 1. Start Modbus Address must be between 0 and 65535"})
            << sma;
}

TEST(TpdoCheck, CobidIsTestedOnlyWithADimension) {
    // 5000 with an empty Dimension passes and is saved.
    const TpdoTable t(3, {{"5000", "", ""}});
    EXPECT_TRUE(mk::check_tpdo_table(t).empty());
    EXPECT_EQ(mk::serialize_tpdo_table(t),
              "<Trasmit_PDO>" + row("5000", "", "") + "</Trasmit_PDO>");
    // A filled Dimension with an empty COB-ID fails on the COB-ID.
    EXPECT_EQ(mk::check_tpdo_table(TpdoTable(3, {{"", "8", ""}})),
              Texts{"Error in row 1. Cob-id must be between 0x001 and 0x7FF"});
}

TEST(TpdoCheck, EveryFailureInRowOrderIncludingRowsBelowTheTable) {
    // Row 2 ends the table, row 3 is still checked; each failing test has its own message.
    const TpdoTable t(8, {{"0x900", "9", "70000"}, {"", "", ""}, {"1", "0", ""}});
    EXPECT_EQ(mk::check_tpdo_table(t),
              (Texts{"Error in row 1. Cob-id must be between 0x001 and 0x7FF",
                     "Error in row 1. Dimension must be between 1 and 8",
                     "Error in row 1. Start Modbus Address must be between 0 and 65535",
                     "Error in row 3. Dimension must be between 1 and 8"}));
}

TEST(TpdoCheck, DamagedHugeGridListsABoundedNumberOfMessages) {
    std::vector<TpdoRow> rows(10000, TpdoRow{"x", "x", "x"});
    const Texts messages = mk::check_tpdo_table(TpdoTable(3, rows));
    ASSERT_EQ(messages.size(), mk::kMaxTpdoMessages + 1);
    EXPECT_EQ(messages[32], "Error in row 11. Start Modbus Address must be between 0 and 65535");
    EXPECT_EQ(messages.back(), "Further errors from row 12 on are not listed");
}

TEST(TpdoSave, GridOrderUpToTheFirstEmptyCobid) {
    mk::test::TempDir dir;
    const fs::path file = dir.path() / "Transmit_Pdo.xml";
    mk::save_tpdo_table(TpdoTable(3, {{"0x201", "8", "10"}, {"", "", ""}, {"0x181", "8", "9"}}),
                        file);
    EXPECT_EQ(read_file(file), "<Trasmit_PDO>" + row("0x201", "8", "10") + "</Trasmit_PDO>");
}

TEST(TpdoSave, FailedWriteShowsTheSaveMessage) {
    mk::test::TempDir dir;
    const fs::path file = dir.path() / "missing-folder" / "Transmit_Pdo.xml";
    try {
        mk::save_tpdo_table(TpdoTable(3, {{"1", "1", "1"}}), file);
        FAIL();
    } catch (const mk::UserError& e) {
        EXPECT_EQ(std::string(e.what()), "Error in the save parameter");
    }
    EXPECT_FALSE(fs::exists(file));
}

} // namespace
