#include <gtest/gtest.h>

#include "core/user_error.h"
#include "firmware_test_support.h"
#include "image/capacity_check.h"
#include "image/image_builder.h"
#include "test_dir.h"
#include "test_files.h"

namespace mk {
namespace {

using test::bytes_at;
using test::hex;
using test::pargen_xml;
using test::sdo_row;
using test::write_file;

class ImageBuilder : public ::testing::Test {
protected:
    void file(const char* name, const std::string& text) { write_file(dir.path() / name, text); }
    void build() { build_image(dir.path(), banks, sink, clock); }
    std::uint16_t word(int n) {
        return read_table_directory(banks)[static_cast<std::size_t>(n - 1)];
    }

    test::TempDir dir;
    Banks banks;
    RecordingSink sink;
    FixedClock clock{BuildStamp{2024, 3, 5, 14, 37, 9}};
};

TEST_F(ImageBuilder, EmptyProjectShowsTheMissingFileMessagesInBuildOrder) {
    build();
    EXPECT_EQ(sink.texts(),
              (std::vector<std::string>{"File SDO xml not found", "File SDO PDO xml not found",
                                        "File EMCY xml not found", "File reader PDO xml not found",
                                        "File Parametres xml not found",
                                        "File Transmit PDO xml not found"}));
    for (int b = 1; b <= kBankCount; ++b)
        for (std::uint8_t byte : banks.bank(b))
            ASSERT_EQ(byte, 0) << "bank " << b;
}

TEST_F(ImageBuilder, SdoEntryLayout) {
    file("sdo.xml", "<sdo>" + sdo_row("148", "0x1234") + sdo_row("148", "4660") + "</sdo>");
    build();
    const auto entry = hex({0x94, 0x12, 0x34, 0x00, 0x05, 0x20, 0x00, 0x01, 0x04});
    EXPECT_EQ(bytes_at(banks, 1, 0, 9), entry);
    EXPECT_EQ(bytes_at(banks, 1, 9, 9), entry); // 4660 and 0x1234 are the same value
}

TEST_F(ImageBuilder, RowsWithEmptyConfAreLeftOutAndTheDirectoryCountsTheRest) {
    file("pargen.xml", pargen_xml());
    file("sdo.xml", "<sdo>" + sdo_row("1", "10") + sdo_row("", "11") + sdo_row("2", "12") +
                        sdo_row("3", "13") + "</sdo>");
    build();
    EXPECT_EQ(bytes_at(banks, 1, 9, 3), hex({0x02, 0x00, 0x0C})); // row 3 follows row 1
    EXPECT_EQ(bytes_at(banks, 1, 27, 1), hex({0x00}));
    EXPECT_EQ(word(1), 0);
    EXPECT_EQ(word(2), 3);
    EXPECT_EQ(word(3), 27);
}

TEST_F(ImageBuilder, BadFieldTextsGiveAllOnesWithOrWithoutTheMessage) {
    file("sdo.xml", "<sdo>" + sdo_row("1", "abc", "", " 7 ") + "</sdo>");
    build();
    EXPECT_EQ(bytes_at(banks, 1, 0, 7), hex({0x01, 0xFF, 0xFF, 0x00, 0xFF, 0x00, 0x07}));
    EXPECT_EQ(sink.texts().at(0), "Error in conversion string");
    EXPECT_EQ(sink.texts().at(1), "File SDO PDO xml not found"); // the empty devIDB is silent
}

TEST_F(ImageBuilder, ParameterBlockHoldsFieldsStampNamesDirectoryAndFlags) {
    file("pargen.xml", pargen_xml("0", "abcdefghijklmnopqrst"));
    build();
    EXPECT_EQ(bytes_at(banks, 2, 16184, 13),
              hex({0x01, 0x00, 0x03, 0x00, 0x01, 0x00, 0x7D, 0x01, 0x00, 0xFA, 0x01, 0x03, 0xE8}));
    EXPECT_EQ(bytes_at(banks, 2, 16197, 8), hex({192, 168, 0, 10, 255, 255, 255, 0}));
    EXPECT_EQ(bytes_at(banks, 2, 16205, 4), hex({0x98, 0x29, 0xAE, 0x24}));
    const auto read = bytes_at(banks, 2, 16209, 14);
    EXPECT_EQ(std::string(read.begin(), read.begin() + 13), "abcdefghijklm");
    EXPECT_EQ(read[13], 0);
    EXPECT_EQ(bytes_at(banks, 2, 16223, 8), hex({'l', 'a', 'n', 't', 'e', 'r', 'n', 0}));
    EXPECT_EQ(bytes_at(banks, 2, 16237, 4), hex({10, 0, 0, 1}));
    // Flags True, yes, TRUE; the address 0x1234; the delay 7.
    EXPECT_EQ(bytes_at(banks, 2, 16287, 6), hex({1, 0, 1, 0x12, 0x34, 7}));
}

TEST_F(ImageBuilder, NameFieldsHoldLatin1BytesAndAQuestionMarkForOtherCharacters) {
    // "é" is Latin-1 0xE9; "Ā" (U+0100) lies just beyond Latin-1. Each counts as one character.
    file("pargen.xml", pargen_xml("0", "caf\xC3\xA9-\xC4\x80-\xC3\xBF-abcdefgh"));
    build();
    EXPECT_EQ(bytes_at(banks, 2, 16209, 14),
              hex({'c', 'a', 'f', 0xE9, '-', '?', '-', 0xFF, '-', 'a', 'b', 'c', 'd', 0}));
}

TEST_F(ImageBuilder, EmptyCommunityAndChildrenOfLaterYearsDefaultToZero) {
    // Only positions 0 to 15: the flags, address and delay are written as 0 without a message.
    std::string old = pargen_xml("0", "");
    old = old.substr(0, old.find("<operational_at_start")) + "</ParametriGenerali>";
    file("pargen.xml", old);
    build();
    EXPECT_EQ(bytes_at(banks, 2, 16209, 14), std::vector<std::uint8_t>(14, 0));
    EXPECT_EQ(bytes_at(banks, 2, 16287, 6), std::vector<std::uint8_t>(6, 0));
    const auto texts = sink.texts();
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "Error in conversion string"), 0);
}

TEST_F(ImageBuilder, OnlyTheTextTrueInAnyCaseSetsAFlagAndUnreadableLaterChildrenGiveZero) {
    // Children 16 to 18 present, 16 without its start attribute; 19 without address, 20 absent.
    std::string pargen = pargen_xml();
    pargen = pargen.substr(0, pargen.find("<operational_at_start")) +
             "<operational_at_start/><network_start start=\"true\"/>"
             "<network_start_modbus start=\"1\"/><network_start_modbus/></ParametriGenerali>";
    file("pargen.xml", pargen);
    build();
    EXPECT_EQ(bytes_at(banks, 2, 16287, 6), hex({0, 1, 0, 0, 0, 0}));
    EXPECT_EQ(sink.texts().back(), "File Transmit PDO xml not found"); // the build went on

    pargen = pargen_xml();
    const std::string ticked = "start=\"True\"";
    file("pargen.xml", pargen.replace(pargen.find(ticked), ticked.size(), "start=\"\""));
    build();
    EXPECT_EQ(banks.bank(2)[16287], 0); // an empty start text
}

TEST_F(ImageBuilder, WithoutPargenTheTransmitTableFollowsTheReceiveTable) {
    file("rpdodef.xml", "<rpdodef><row cobid=\"0x181\" id_dev_orig=\"1\" dimension=\"8\" "
                        "posind=\"0\" n_tpdo=\"0\"/></rpdodef>");
    file("Transmit_Pdo.xml",
         "<Trasmit_PDO><row COB-ID=\"0x181\" Dimension=\"8\" SMA=\"100\"/></Trasmit_PDO>");
    build();
    EXPECT_EQ(bytes_at(banks, 2, 6, 6), hex({1, 0x01, 0x81, 0x08, 0x00, 0x64}));
    EXPECT_EQ(bytes_at(banks, 2, 16184, 200), std::vector<std::uint8_t>(200, 0));
    const auto texts = sink.texts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), "File Parametres xml not found"), texts.end());
}

TEST_F(ImageBuilder, AbsentAttributeOrUnreadableFileStopsTheBuild) {
    file("sdo.xml", "<sdo><row conf=\"1\" IndexA=\"1\" SubindexA=\"0\"/></sdo>");
    EXPECT_THROW(build(), UserError);
    file("sdo.xml", "<sdo><row conf=");
    try {
        build();
        FAIL() << "a file that is not XML must stop the build";
    } catch (const UserError& e) {
        EXPECT_EQ(std::string(e.what()), "Error in reading file XML (sdo.xml)");
    }
    file("sdo.xml", "<sdo/>");
    file("pargen.xml", "<ParametriGenerali><idA>1</idA></ParametriGenerali>");
    EXPECT_THROW(build(), UserError); // child 7 is missing
}

std::string rows(const std::string& row, int count) {
    std::string out;
    for (int i = 0; i < count; ++i)
        out += row;
    return out;
}

std::string thrown_text(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const UserError& e) {
        return e.what();
    }
    return "";
}

TEST_F(ImageBuilder, TablesThatDoNotFitStopTheBuildNamingTableAndLimit) {
    // 1820 SDO entries take 16380 bytes: they fit, and one stored-PDO row does not.
    file("sdo.xml", "<sdo>" + rows(sdo_row("1", "1"), 1820) + "</sdo>");
    file("sdopdo.xml",
         "<sdopdo><row index=\"1\" subindex=\"0\" nrpdo=\"1\" poscomp=\"1\"/></sdopdo>");
    EXPECT_EQ(thrown_text([&] { build(); }),
              "The stored-PDO table does not fit in bank 1: it must end at or before offset "
              "16384. Build stopped; remove rows from the table.");
    file("sdo.xml", "<sdo>" + rows(sdo_row("1", "1"), 1821) + "</sdo>");
    EXPECT_NE(thrown_text([&] { build(); }).find("The SDO access table does not fit in bank 1"),
              std::string::npos);

    // Bank 2 holds the receive table up to offset 16184: 2697 rows end at 16182.
    file("sdo.xml", "<sdo/>");
    std::filesystem::remove(dir.path() / "sdopdo.xml");
    const std::string rpdo =
        "<row cobid=\"1\" id_dev_orig=\"1\" dimension=\"8\" posind=\"0\" n_tpdo=\"0\"/>";
    file("rpdodef.xml", "<rpdodef>" + rows(rpdo, 2697) + "</rpdodef>");
    EXPECT_EQ(thrown_text([&] { build(); }), "");
    file("rpdodef.xml", "<rpdodef>" + rows(rpdo, 2698) + "</rpdodef>");
    EXPECT_NE(thrown_text([&] { build(); })
                  .find("receive-PDO table does not fit in bank 2: it "
                        "must end at or before offset 16184"),
              std::string::npos);
    EXPECT_EQ(bytes_at(banks, 2, 16182, 2), hex({0, 0})); // nothing past the last whole row

    // After the parameter block there is room for 18 transmit rows.
    std::filesystem::remove(dir.path() / "rpdodef.xml");
    file("pargen.xml", pargen_xml());
    const std::string tpdo = "<row COB-ID=\"1\" Dimension=\"8\" SMA=\"1\"/>";
    file("Transmit_Pdo.xml", "<Trasmit_PDO>" + rows(tpdo, 18) + "</Trasmit_PDO>");
    EXPECT_EQ(thrown_text([&] { build(); }), "");
    EXPECT_EQ(banks.bank(2)[16293], 18);
    file("Transmit_Pdo.xml", "<Trasmit_PDO>" + rows(tpdo, 19) + "</Trasmit_PDO>");
    EXPECT_NE(thrown_text([&] { build(); }).find("transmit-PDO table does not fit in bank 2"),
              std::string::npos);
}

// An editor's "OK" asks whether the table it is about to save would stop the build for lack of
// room: the table in the window counts, not the file it replaces.
TEST_F(ImageBuilder, CapacityRefusalJudgesTheTableAboutToBeSaved) {
    file("pargen.xml", pargen_xml());
    const std::filesystem::path tpdo_file = dir.path() / "Transmit_Pdo.xml";
    const std::string tpdo = "<row COB-ID=\"1\" Dimension=\"8\" SMA=\"1\"/>";
    const std::string fits = "<Trasmit_PDO>" + rows(tpdo, 18) + "</Trasmit_PDO>";
    const std::string too_large = "<Trasmit_PDO>" + rows(tpdo, 19) + "</Trasmit_PDO>";

    file("Transmit_Pdo.xml", too_large);
    const std::string refused = thrown_text([&] { build(); });
    ASSERT_NE(refused, "");
    EXPECT_EQ(capacity_refusal(tpdo_file, too_large), refused);
    EXPECT_EQ(capacity_refusal(tpdo_file, fits), std::nullopt); // rows removed in the window

    file("Transmit_Pdo.xml", fits);
    EXPECT_EQ(capacity_refusal(tpdo_file, too_large), refused); // rows added in the window
    EXPECT_EQ(capacity_refusal(tpdo_file, fits), std::nullopt);

    // A build stopped by an unreadable file is that file's to report, at "Up date Device".
    file("sdo.xml", "<sdo><row");
    EXPECT_EQ(capacity_refusal(tpdo_file, too_large), std::nullopt);
}

TEST_F(ImageBuilder, EachBuildStartsFromClearedBanks) {
    file("sdo.xml", "<sdo>" + sdo_row("1", "1") + sdo_row("1", "2") + "</sdo>");
    build();
    file("sdo.xml", "<sdo>" + sdo_row("1", "1") + "</sdo>");
    build();
    EXPECT_EQ(bytes_at(banks, 1, 9, 9), std::vector<std::uint8_t>(9, 0));
}

} // namespace
} // namespace mk
