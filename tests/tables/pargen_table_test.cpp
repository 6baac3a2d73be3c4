#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/table_file.h"
#include "core/user_error.h"
#include "tables/pargen_table.h"
#include "test_dir.h"
#include "test_files.h"

using mk::test::read_file;
using mk::test::write_file;

namespace {

namespace fs = std::filesystem;
using mk::ParGenLoad;
using mk::RecordingSink;
using mk::SerialLine;
using mk::TParGen;

// The document a first OK writes: every default, all 22 children.
const char* const kDefaultDocument =
    "<ParametriGenerali><idA>1</idA><BoudA>10</BoudA><idB>1</idB><BoudB>250</BoudB>"
    "<timeoutsdo>1000</timeoutsdo><baudmodbus>3</baudmodbus><parity>0</parity><ser>1</ser>"
    "<devid>1</devid><devnetip b1=\"0\" b2=\"0\" b3=\"0\" b4=\"0\"/>"
    "<devnetsubnetmask b1=\"255\" b2=\"255\" b3=\"255\" b4=\"0\"/>"
    "<devnet_snmp_read_community name=\"harbor\"/><devnet_snmp_read_community name=\"lantern\"/>"
    "<snmptrap_ip1 b1=\"0\" b2=\"0\" b3=\"0\" b4=\"0\"/>"
    "<snmptrap_ip2 b1=\"0\" b2=\"0\" b3=\"0\" b4=\"0\"/>"
    "<snmptrap_ip3 b1=\"0\" b2=\"0\" b3=\"0\" b4=\"0\"/>"
    "<operational_at_start start=\"false\"/><network_start start=\"false\"/>"
    "<network_start_modbus start=\"false\"/><network_start_modbus address=\"1\"/>"
    "<delay_network_start delay=\"0\"/><network_type_PDO type_PDO=\"0\"/></ParametriGenerali>";

// Positions 0 to 15 of a file from before the start-up parameters existed.
std::string first16(const std::string& ser = "0", const std::string& baud = "4",
                    const std::string& ip = "b1=\"192\" b2=\"168\" b3=\"0\" b4=\"10\"",
                    const std::string& parity = "2") {
    return "<ParametriGenerali><idA>7</idA><BoudA>95</BoudA><idB>2</idB><BoudB>125</BoudB>"
           "<timeoutsdo>500</timeoutsdo><baudmodbus>" +
           baud + "</baudmodbus><parity>" + parity + "</parity><ser>" + ser +
           "</ser><devid>9</devid><devnetip " + ip +
           "/><devnetsubnetmask b1=\"255\" b2=\"255\" b3=\"0\" b4=\"0\"/>"
           "<devnet_snmp_read_community name=\"pub\"/><devnet_snmp_read_community name=\"priv\"/>"
           "<snmptrap_ip1 b1=\"1\" b2=\"2\" b3=\"3\" b4=\"4\"/>"
           "<snmptrap_ip2 b1=\"5\" b2=\"6\" b3=\"7\" b4=\"8\"/>"
           "<snmptrap_ip3 b1=\"9\" b2=\"10\" b3=\"11\" b4=\"12\"/>";
}

class ParGenFile : public ::testing::Test {
protected:
    fs::path path() const { return dir.path() / "pargen.xml"; }
    void write(const std::string& text) const { write_file(path(), text); }
    std::string read() const { return read_file(path()); }
    ParGenLoad load(TParGen& r) { return mk::load_pargen(path(), r, sink); }

    mk::test::TempDir dir;
    RecordingSink sink;
};

TEST_F(ParGenFile, DefaultsAreWrittenAsAllTwentyTwoChildren) {
    EXPECT_EQ(mk::serialize_pargen(TParGen{}), kDefaultDocument);
    mk::save_pargen(path(), TParGen{});
    EXPECT_EQ(read(), kDefaultDocument);
    const auto doc = mk::TableDocument::load(path());
    ASSERT_EQ(doc.row_count(), 22u);
    EXPECT_EQ(doc.row(11).name(), std::string("devnet_snmp_read_community"));
    EXPECT_EQ(doc.row(12).name(), std::string("devnet_snmp_read_community"));
    EXPECT_EQ(doc.row(18).name(), std::string("network_start_modbus"));
    EXPECT_EQ(doc.row(19).name(), std::string("network_start_modbus"));
}

TEST_F(ParGenFile, MissingFileKeepsEveryValueButTheLineType) {
    TParGen r;
    r.idA = "42";
    r.ser = SerialLine::Rs232;
    EXPECT_EQ(load(r), ParGenLoad::FileMissing);
    EXPECT_EQ(sink.texts(), std::vector<std::string>{"File XML not found"});
    EXPECT_EQ(r.idA, "42");
    EXPECT_EQ(r.ser, SerialLine::Rs485);
}

TEST_F(ParGenFile, SixteenChildrenLoadWithTheLaterFallbacks) {
    write(first16() + "</ParametriGenerali>");
    TParGen r;
    r.operationalAtStart = r.networkStart = r.networkStartModbus = true;
    r.delay = 9;
    r.typePdo = 1;
    EXPECT_EQ(load(r), ParGenLoad::Loaded);
    EXPECT_TRUE(sink.entries.empty());
    EXPECT_EQ(r.idA, "7");
    EXPECT_EQ(r.boudA, "95");
    EXPECT_EQ(r.baudmodbus, 4);
    EXPECT_EQ(r.parity, 2);
    EXPECT_EQ(r.devnetip, (mk::OctetTexts{"192", "168", "0", "10"}));
    EXPECT_EQ(r.readCommunity, "pub");
    EXPECT_EQ(r.writeCommunity, "priv");
    EXPECT_EQ(r.snmptrapIp3, (mk::OctetTexts{"9", "10", "11", "12"}));
    EXPECT_FALSE(r.operationalAtStart || r.networkStart || r.networkStartModbus);
    EXPECT_EQ(r.modbusStartAddress, "0");
    EXPECT_EQ(r.delay, 0);
    EXPECT_EQ(r.typePdo, 0);
    EXPECT_EQ(mk::device_address_of(r), "192.168.0.10");

    mk::save_pargen(path(), r);
    EXPECT_EQ(mk::TableDocument::load(path()).row_count(), 22u);
}

TEST_F(ParGenFile, LaterPositionsReadTheirOwnValues) {
    write(first16() +
          "<operational_at_start start=\"TRUE\"/><network_start start=\"yes\"/>"
          "<network_start_modbus start=\"True\"/><network_start_modbus address=\"0x20\"/>"
          "<delay_network_start delay=\"300\"/><network_type_PDO type_PDO=\"2\"/>"
          "</ParametriGenerali>");
    TParGen r;
    load(r);
    EXPECT_TRUE(sink.entries.empty());
    EXPECT_TRUE(r.operationalAtStart);
    EXPECT_FALSE(r.networkStart);
    EXPECT_TRUE(r.networkStartModbus);
    EXPECT_EQ(r.modbusStartAddress, "0x20");
    EXPECT_EQ(r.delay, 255); // the spin field's limit
    EXPECT_EQ(r.typePdo, 1);
    const std::string written = mk::serialize_pargen(r);
    EXPECT_NE(written.find("<network_type_PDO type_PDO=\"1\"/>"), std::string::npos);
    EXPECT_NE(written.find("<delay_network_start delay=\"255\"/>"), std::string::npos);
}

TEST_F(ParGenFile, LaterPositionsWithBadTextsFallBackOneByOne) {
    write(first16() + "<operational_at_start/><network_start start=\"true\"/><x/><y/>"
                      "<delay_network_start delay=\"abc\"/><network_type_PDO type_PDO=\"zz\"/>"
                      "</ParametriGenerali>");
    TParGen r;
    r.typePdo = 1;
    load(r);
    EXPECT_TRUE(sink.entries.empty());
    EXPECT_FALSE(r.operationalAtStart);
    EXPECT_TRUE(r.networkStart);
    EXPECT_EQ(r.modbusStartAddress, "0");
    EXPECT_EQ(r.delay, 0);
    EXPECT_EQ(r.typePdo, 0);
}

TEST_F(ParGenFile, ListPositionsOutsideTheListSelectNothingAndAreWrittenAsMinusOne) {
    write(first16("0", "9") + "</ParametriGenerali>");
    TParGen r;
    r.ser = SerialLine::Rs232;
    load(r);
    EXPECT_EQ(r.baudmodbus, mk::kNoListItem);
    EXPECT_EQ(r.ser, SerialLine::Rs485); // the file's 0 is read but the line stays RS-485
    const std::string written = mk::serialize_pargen(r);
    EXPECT_NE(written.find("<baudmodbus>-1</baudmodbus>"), std::string::npos);
    EXPECT_NE(written.find("<ser>1</ser>"), std::string::npos);
}

TEST_F(ParGenFile, TheLastItemOfEachListIsAPositionAndTheListSizeIsNot) {
    const std::string ip = "b1=\"192\" b2=\"168\" b3=\"0\" b4=\"10\"";
    TParGen r;
    write(first16("1", "7", ip, "2") + "</ParametriGenerali>");
    load(r);
    EXPECT_EQ(r.baudmodbus, 7);
    EXPECT_EQ(r.parity, 2);
    write(first16("1", "8", ip, "3") + "</ParametriGenerali>");
    load(r);
    EXPECT_EQ(r.baudmodbus, mk::kNoListItem);
    EXPECT_EQ(r.parity, mk::kNoListItem);
    EXPECT_TRUE(sink.entries.empty());
}

TEST_F(ParGenFile, FailureInTheFirstSixteenStopsWhereItHappened) {
    TParGen r;
    r.devid = "old";
    r.ser = SerialLine::Rs232;
    write(first16("abc") + "</ParametriGenerali>");
    EXPECT_EQ(load(r), ParGenLoad::ReadError);
    EXPECT_EQ(sink.texts(), std::vector<std::string>{"Error in reading file XML"});
    EXPECT_EQ(r.idA, "7");     // read before the failure
    EXPECT_EQ(r.parity, 2);    // likewise
    EXPECT_EQ(r.devid, "old"); // after it: unchanged
    EXPECT_EQ(r.ser, SerialLine::Rs485);

    // A missing octet attribute stops at position 9: the octets before it are new, the
    // missing one and those after it keep their previous texts.
    sink.entries.clear();
    TParGen s;
    s.devnetip = {"1", "2", "3", "4"};
    write(first16("1", "4", "b1=\"10\" b2=\"0\" b4=\"7\"") + "</ParametriGenerali>");
    load(s);
    EXPECT_EQ(sink.texts(), std::vector<std::string>{"Error in reading file XML"});
    EXPECT_EQ(s.devid, "9");
    EXPECT_EQ(s.devnetip, (mk::OctetTexts{"10", "0", "3", "4"}));
    EXPECT_EQ(s.writeCommunity, "lantern");
}

TEST_F(ParGenFile, FilesThatAreNotUsableEndInTheReadingError) {
    for (const std::string& text :
         {std::string("not xml at all"), std::string("<ParametriGenerali><idA>1</idA>"),
          std::string("<ParametriGenerali/>"),
          first16().substr(0, first16().find("<devnetip")) + "</ParametriGenerali>"}) {
        sink.entries.clear();
        write(text);
        TParGen r;
        r.boudB = "kept";
        EXPECT_EQ(load(r), ParGenLoad::ReadError) << text;
        EXPECT_EQ(sink.texts(), std::vector<std::string>{"Error in reading file XML"});
        EXPECT_EQ(r.boudB, text.find("<BoudB>") == std::string::npos ? "kept" : "125");
    }
}

TEST_F(ParGenFile, PlainTextsAndOctetsTravelAsTheyAre) {
    TParGen r;
    r.boudA = "95";
    r.timeoutsdo = "";
    r.devnetip = {"300", "1A", "-2", "x"};
    mk::save_pargen(path(), r);
    TParGen back;
    load(back);
    EXPECT_EQ(back.boudA, "95");
    EXPECT_EQ(back.timeoutsdo, "");
    EXPECT_EQ(back.devnetip, r.devnetip);
    EXPECT_EQ(mk::serialize_pargen(back), mk::serialize_pargen(r));
}

TEST_F(ParGenFile, FailedSaveLeavesThePreviousFileAndReportsIt) {
    mk::save_pargen(path(), TParGen{});
    const fs::path gone = dir.path() / "gone" / "pargen.xml";
    EXPECT_THROW(mk::save_pargen(gone, TParGen{}), mk::UserError);
    EXPECT_FALSE(fs::exists(gone.parent_path()));
    EXPECT_EQ(read(), kDefaultDocument);
    // No temporary file is left beside the table.
    int files = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.path()))
        ++files;
    EXPECT_EQ(files, 1);
}

} // namespace
