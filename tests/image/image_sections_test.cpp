#include <gtest/gtest.h>

#include "core/user_error.h"
#include "firmware_test_support.h"
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

class ImageSections : public ::testing::Test {
protected:
    void SetUp() override { file("pargen.xml", pargen_xml()); }
    void file(const char* name, const std::string& text) { write_file(dir.path() / name, text); }
    void build() { build_image(dir.path(), banks, sink, clock); }
    std::uint16_t word(int n) {
        return read_table_directory(banks)[static_cast<std::size_t>(n - 1)];
    }
    long count_of(const std::string& text) {
        const auto t = sink.texts();
        return std::count(t.begin(), t.end(), text);
    }

    test::TempDir dir;
    Banks banks;
    RecordingSink sink;
    FixedClock clock{BuildStamp{2024, 3, 5, 14, 37, 9}};
};

std::string stored(const std::string& index, const std::string& nrpdo) {
    return "<row index=\"" + index + "\" subindex=\"0\" nrpdo=\"" + nrpdo + "\" poscomp=\"33\"/>";
}

TEST_F(ImageSections, StoredPdoRowsFollowTheSdoEntriesAndCountOnlyBit7Clear) {
    file("sdo.xml", "<sdo>" + sdo_row("1", "1") + sdo_row("1", "2") + sdo_row("1", "3") + "</sdo>");
    file("sdopdo.xml", "<sdopdo>" + stored("0x10", "1") + stored("16", "2") + "</sdopdo>");
    build();
    EXPECT_EQ(bytes_at(banks, 1, 27, 10), hex({0, 0x10, 0, 1, 33, 0, 0x10, 0, 2, 33}));
    EXPECT_EQ(word(17), 27);
    EXPECT_EQ(word(18), 2);
    EXPECT_EQ(word(19), 37);

    file("sdopdo.xml", "<sdopdo>" + stored("5", "129") + stored("6", "") + stored("7", "x") +
                           stored("8", "3") + "</sdopdo>");
    build();
    EXPECT_EQ(banks.bank(1)[30], 0x81);
    EXPECT_EQ(word(18), 1); // 129, the empty text and the word all count as bit 7 set
    EXPECT_EQ(word(19), 27 + 5);
    EXPECT_EQ(count_of("Error in conversion string"), 3); // the bad nrpdo, reported three times
}

std::string emcy_def(const std::string& id, const std::string& code, const std::string& reg) {
    return "<row ID_EMCY=\"" + id + "\" EMCY_Error_Code=\"" + code + "\" Error_Register=\"" + reg +
           "\"/>";
}

std::string dati(int word, int byte) {
    return "<Dati Dati_Word=\"" + std::to_string(word) + "\" Dati_Byte=\"" + std::to_string(byte) +
           "\"/>";
}

TEST_F(ImageSections, EmcyRecordAndItsRegisterRows) {
    file("emcydef.xml", "<EMCY>" + emcy_def("5", "0x1000", "0x01") + "</EMCY>");
    file("emcyword.xml",
         "<EMCY_Word><EMCY_ROW>" + dati(100, 0x21) + dati(101, 0x03) + "</EMCY_ROW></EMCY_Word>");
    build();
    EXPECT_EQ(bytes_at(banks, 2, 0, 11),
              hex({0x05, 0x00, 0x10, 0x01, 0x02, 0x00, 0x00, 0x21, 0x01, 0x00, 0x03}));
    EXPECT_EQ(bytes_at(banks, 2, 11, 12), hex({0x64, 0x00, 0x01, 0x00, 0x00, 0x00, //
                                               0x65, 0x00, 0xFF, 0xFF, 0x02, 0x00}));
    EXPECT_EQ(word(5), 0);
    EXPECT_EQ(word(6), 1);
    EXPECT_EQ(word(8), 1);
    EXPECT_EQ(word(9), 11);
    EXPECT_EQ(word(11), 11);
    EXPECT_EQ(word(10), 2);
    EXPECT_EQ(word(12), 2);
    EXPECT_EQ(word(13), 23); // the receive table starts after the register rows
}

TEST_F(ImageSections, SlotsArePerEntryAndEntriesPairByPosition) {
    file("emcydef.xml", "<EMCY>" + emcy_def("5", "0x1000", "0x01") +
                            emcy_def("6", "0x2000", "0x02") + emcy_def("7", "0", "0") + "</EMCY>");
    file("emcyword.xml", "<EMCY_Word><EMCY_ROW>" + dati(100, 0x21) + "</EMCY_ROW><EMCY_ROW>" +
                             dati(200, 0x11) + "</EMCY_ROW></EMCY_Word>");
    build();
    EXPECT_EQ(word(6), 2); // three rows, two groups
    // Entry 2 uses byte 1 again: it gets slot 2, after entry 1's slots 0 and 1, for both nibbles.
    EXPECT_EQ(bytes_at(banks, 2, 16 + 6, 6), hex({0xC8, 0x00, 0x02, 0x00, 0x02, 0x00}));
    EXPECT_EQ(bytes_at(banks, 2, 16, 6), hex({0x64, 0x00, 0x01, 0x00, 0x00, 0x00}));
}

// Rows and groups beyond the shorter EMCY file stay out of the image, and the build says so.
TEST_F(ImageSections, EmcyRowsOrGroupsWithoutAPartnerAreCounted) {
    const std::string group = "<EMCY_ROW>" + dati(100, 0x21) + "</EMCY_ROW>";
    struct Row {
        const char* name;
        int rows, groups;
        std::string message;
    };
    const std::vector<Row> rows = {
        {"more rows", 3, 2,
         "EMCY tables of different length: emcydef.xml has 3 rows, emcyword.xml 2 groups. The "
         "image holds the 2 EMCY entries paired by position; 1 row of emcydef.xml was left out."},
        {"more groups", 1, 3,
         "EMCY tables of different length: emcydef.xml has 1 row, emcyword.xml 3 groups. The "
         "image holds the 1 EMCY entry paired by position; 2 groups of emcyword.xml were left "
         "out."},
        {"no groups", 2, 0,
         "EMCY tables of different length: emcydef.xml has 2 rows, emcyword.xml 0 groups. The "
         "image holds no EMCY entries; 2 rows of emcydef.xml were left out."},
        {"as many", 2, 2, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::string defs = "<EMCY>", groups = "<EMCY_Word>";
        for (int i = 0; i < row.rows; ++i)
            defs += emcy_def(std::to_string(i + 1), "0x1000", "1");
        for (int i = 0; i < row.groups; ++i)
            groups += group;
        file("emcydef.xml", defs + "</EMCY>");
        file("emcyword.xml", groups + "</EMCY_Word>");
        sink.entries.clear();
        build();
        EXPECT_EQ(word(6), std::min(row.rows, row.groups)) << row.name;
        const auto t = sink.texts();
        EXPECT_EQ(std::count_if(t.begin(), t.end(),
                                [](const std::string& m) { return m.starts_with("EMCY tables"); }),
                  row.message.empty() ? 0 : 1)
            << row.name;
        if (!row.message.empty()) {
            EXPECT_EQ(count_of(row.message), 1) << row.name;
        }
    }
}

TEST_F(ImageSections, EmcyWordFileMissingGivesNoEntries) {
    file("emcydef.xml", "<EMCY>" + emcy_def("5", "0x1000", "0x01") + "</EMCY>");
    build();
    EXPECT_EQ(count_of("File EMCY Word xml not found"), 1);
    EXPECT_EQ(word(6), 0);
    EXPECT_EQ(word(9), 0);
}

TEST_F(ImageSections, BadEmcyNumbersAndByteNumbersAboveFiveStopTheBuild) {
    file("emcydef.xml", "<EMCY>" + emcy_def("5", "abc", "0x01") + "</EMCY>");
    file("emcyword.xml", "<EMCY_Word><EMCY_ROW/></EMCY_Word>");
    try {
        build();
        FAIL();
    } catch (const UserError& e) {
        EXPECT_EQ(std::string(e.what()), "'abc' is not a valid integer value");
    }
    file("emcydef.xml", "<EMCY>" + emcy_def("5", "1", "1") + "</EMCY>");
    file("emcyword.xml", "<EMCY_Word><EMCY_ROW>" + dati(1, 0x61) + "</EMCY_ROW></EMCY_Word>");
    EXPECT_THROW(build(), UserError);
    file("emcyword.xml", "<EMCY_Word><EMCY_ROW><Dati Dati_Word=\"1\"/></EMCY_ROW></EMCY_Word>");
    EXPECT_THROW(build(), UserError);
    // An empty group is a record with no mappings.
    file("emcyword.xml", "<EMCY_Word><EMCY_ROW/></EMCY_Word>");
    build();
    EXPECT_EQ(bytes_at(banks, 2, 0, 6), hex({5, 1, 0, 1, 0, 0}));
}

TEST_F(ImageSections, StrayTextInTheEmcyWordFileIsAReadingError) {
    // Text between the groups would be paired with an EMCY row as a group without mappings,
    // shifting every later group to the wrong row.
    file("emcydef.xml",
         "<EMCY>" + emcy_def("5", "0x1000", "0x01") + emcy_def("6", "0x2000", "0x02") + "</EMCY>");
    for (const std::string& stray : {std::string("stray"), std::string("<![CDATA[x]]>")}) {
        file("emcyword.xml", "<EMCY_Word>" + stray + "<EMCY_ROW>" + dati(100, 0x21) +
                                 "</EMCY_ROW><EMCY_ROW>" + dati(200, 0x11) +
                                 "</EMCY_ROW></EMCY_Word>");
        try {
            build();
            ADD_FAILURE() << "the build went on with " << stray;
        } catch (const UserError& e) {
            EXPECT_EQ(std::string(e.what()), "Error in reading file XML (emcyword.xml)");
        }
    }
    // Spaces and line breaks between the groups are layout, not text.
    file("emcyword.xml", "<EMCY_Word>\n  <EMCY_ROW>" + dati(100, 0x21) +
                             "</EMCY_ROW>\n  <EMCY_ROW>" + dati(200, 0x11) +
                             "</EMCY_ROW>\n</EMCY_Word>");
    build();
    EXPECT_EQ(word(6), 2);
    EXPECT_EQ(word(10), 2);
}

TEST_F(ImageSections, ByteNumberFiveIsTheLastAcceptedInEitherNibble) {
    file("emcydef.xml", "<EMCY>" + emcy_def("5", "1", "1") + "</EMCY>");
    file("emcyword.xml",
         "<EMCY_Word><EMCY_ROW>" + dati(1, 0x05) + dati(2, 0x55) + "</EMCY_ROW></EMCY_Word>");
    build();
    EXPECT_EQ(bytes_at(banks, 2, 0, 11), hex({5, 1, 0, 1, 2, 0, 0, 0x05, 1, 0, 0x55}));
    // Byte 5 keeps its one slot for both nibbles of the second mapping.
    EXPECT_EQ(bytes_at(banks, 2, 11, 12), hex({0x01, 0x00, 0xFF, 0xFF, 0x00, 0x00, //
                                               0x02, 0x00, 0x00, 0x00, 0x00, 0x00}));

    for (const int selection : {0x06, 0x60}) {
        file("emcyword.xml",
             "<EMCY_Word><EMCY_ROW>" + dati(1, selection) + "</EMCY_ROW></EMCY_Word>");
        try {
            build();
            ADD_FAILURE() << selection;
        } catch (const UserError& e) {
            EXPECT_EQ(std::string(e.what()), "Error in EMCY Word: Dati_Byte " +
                                                 std::to_string(selection) +
                                                 " names a message byte above 5. Build stopped.");
        }
    }
}

std::string rpdo(const std::string& cobid) {
    return "<row cobid=\"" + cobid +
           "\" id_dev_orig=\"1\" dimension=\"8\" posind=\"0\" n_tpdo=\"0\"/>";
}

TEST_F(ImageSections, ReceiveRowsWithCobIdZeroAreWrittenButNotCounted) {
    file("rpdodef.xml", "<rpdodef>" + rpdo("0x181") + rpdo("0") + rpdo("0x201") + "</rpdodef>");
    build();
    EXPECT_EQ(bytes_at(banks, 2, 0, 18), hex({0x01, 0x81, 1, 8, 0, 0, 0, 0, 1, 8, 0, 0, //
                                              0x02, 0x01, 1, 8, 0, 0}));
    EXPECT_EQ(word(13), 0);
    EXPECT_EQ(word(14), 2);
    EXPECT_EQ(word(16), 2);
    EXPECT_EQ(word(15), 12);

    file("rpdodef.xml", "<rpdodef>" + rpdo("zz") + "</rpdodef>");
    build();
    EXPECT_EQ(word(14), 1); // 0xFFFF is not 0
    EXPECT_EQ(count_of("Error in conversion string"), 3);
}

TEST_F(ImageSections, TransmitTableFollowsTheParameterBlock) {
    file("Transmit_Pdo.xml", "<Trasmit_PDO><row COB-ID=\"0x181\" Dimension=\"8\" SMA=\"100\"/>"
                             "<row COB-ID=\"0x182\" Dimension=\"\" SMA=\"1\"/>"
                             "<row COB-ID=\"0x183\" Dimension=\"2\" SMA=\"2\"/></Trasmit_PDO>");
    build();
    EXPECT_EQ(banks.bank(2)[16293], 3);
    EXPECT_EQ(bytes_at(banks, 2, 16294, 10),
              hex({0x01, 0x81, 0x08, 0x00, 0x64, 0x01, 0x82, 0xFF, 0x00, 0x01}));
}

} // namespace
} // namespace mk
