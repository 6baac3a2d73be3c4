#include <gtest/gtest.h>

#include <random>

#include "firmware/image_source.h"
#include "firmware/srecord_merge.h"
#include "firmware_test_support.h"
#include "image/image_builder.h"
#include "image/image_reader.h"
#include "image/image_tables.h"
#include "test_dir.h"
#include "test_files.h"

namespace mk {
namespace {

using test::pargen_xml;
using test::sdo_row;
using test::write_file;

class ImageReadBack : public ::testing::Test {
protected:
    void SetUp() override { file("pargen.xml", pargen_xml()); }
    void file(const char* name, const std::string& text) { write_file(dir.path() / name, text); }
    ConfigurationImage build() {
        build_image(dir.path(), banks, sink, clock);
        return read_image(banks.bank(1), banks.bank(2));
    }
    void emcy_files() {
        file("emcydef.xml", "<EMCY><row ID_EMCY=\"5\" EMCY_Error_Code=\"0x1000\" "
                            "Error_Register=\"0x01\"/></EMCY>");
        file("emcyword.xml", "<EMCY_Word><EMCY_ROW><Dati Dati_Word=\"100\" Dati_Byte=\"33\"/>"
                             "<Dati Dati_Word=\"101\" Dati_Byte=\"3\"/></EMCY_ROW></EMCY_Word>");
    }
    std::span<std::uint8_t> bank(int n) { return banks.bank(n); }
    void set_word(int word, std::uint16_t value) {
        const std::size_t at = kTableDirectoryOffset + 2 * static_cast<std::size_t>(word - 1);
        bank(2)[at] = static_cast<std::uint8_t>(value >> 8);
        bank(2)[at + 1] = static_cast<std::uint8_t>(value);
    }
    std::string read_error() {
        try {
            read_image(banks.bank(1), banks.bank(2));
        } catch (const ImageError& e) {
            return e.what();
        }
        return "no error";
    }

    test::TempDir dir;
    Banks banks;
    RecordingSink sink;
    FixedClock clock{BuildStamp{2024, 3, 5, 14, 37, 9}};
};

TEST_F(ImageReadBack, SdoEntryAndParameterBlockReadBackToTheirFields) {
    file("sdo.xml",
         "<sdo>" + sdo_row("148", "0x1234") + sdo_row("", "7") + sdo_row("1", "4660") + "</sdo>");
    const ConfigurationImage image = build();
    ASSERT_EQ(image.sdo.size(), 2u); // the row without conf gives no entry
    EXPECT_EQ(image.sdo[0], (SdoEntry{148, 0x1234, 0, 5, 0x2000, 1, 4}));
    EXPECT_EQ(image.sdo[1].IndexA, 0x1234);

    const ImageParameters& p = image.parameters;
    EXPECT_EQ(p.BoudA, 125);
    EXPECT_EQ(p.BoudB, 250);
    EXPECT_EQ(p.baudmodbus, 3);
    EXPECT_EQ(p.devnetip, (std::array<std::uint8_t, 4>{192, 168, 0, 10}));
    EXPECT_EQ(p.devnetsubnetmask, (std::array<std::uint8_t, 4>{255, 255, 255, 0}));
    EXPECT_EQ(p.read_community, "harbor");
    EXPECT_EQ(p.write_community, "lantern");
    EXPECT_EQ(p.snmptrap_ip[0], (std::array<std::uint8_t, 4>{10, 0, 0, 1}));
    // "True", "yes" and "TRUE"
    EXPECT_EQ(p.operational_at_start, 1);
    EXPECT_EQ(p.network_start, 0);
    EXPECT_EQ(p.network_start_modbus, 1);
    EXPECT_EQ(p.modbus_start_address, 0x1234);
    EXPECT_EQ(p.delay_network_start, 7);
    EXPECT_EQ(p.date_word, 10648);
    EXPECT_EQ(p.time_word, 9390);
    const ImageStamp s = decode_stamp(p.date_word, p.time_word);
    EXPECT_EQ(std::vector<int>({s.year, s.month, s.day, s.hour, s.minute, s.second}),
              std::vector<int>({24, 3, 5, 14, 37, 8})); // the word keeps seconds halved

    // The view names the packed selectors and the addresses as the windows show them.
    const ImageView view = view_of(image);
    const ImageTable& sdo = view.tables[0];
    std::vector<std::string> cells;
    for (std::size_t c = 0; c < sdo.columns.size(); ++c)
        cells.push_back(std::string(sdo.columns[c].title) + "=" +
                        cell_text(sdo.columns[c], sdo.rows[0][c]));
    EXPECT_EQ(cells, (std::vector<std::string>{"N=0", "Addr Word=4660", "Hi Word=4", "Lo Word=4",
                                               "R/W=1", "ID=5", "Index=0x2000", "SubIndex=1",
                                               "nByte=4", "SubindexA=0"}));
    std::map<std::string, std::string> params;
    for (const ImageParameter& q : view.parameters)
        params[std::string(q.key)] = q.text;
    EXPECT_EQ(params["devnetip"], "192.168.0.10");
    EXPECT_EQ(params["baudmodbus"], "3 (9600)");
    EXPECT_EQ(params["build_date"], "2024-03-05");
    EXPECT_EQ(params["build_time"], "14:37:08");
    EXPECT_EQ(params["operational_at_start"], "true");
}

TEST_F(ImageReadBack, PdoAndEmcySectionsReadBackToTheirRows) {
    file("sdo.xml", "<sdo>" + sdo_row("1", "1") + sdo_row("1", "2") + sdo_row("1", "3") + "</sdo>");
    file("sdopdo.xml", "<sdopdo><row index=\"0x10\" subindex=\"0\" nrpdo=\"1\" poscomp=\"33\"/>"
                       "<row index=\"16\" subindex=\"0\" nrpdo=\"2\" poscomp=\"33\"/></sdopdo>");
    emcy_files();
    file("rpdodef.xml",
         "<rpdodef><row cobid=\"0x181\" id_dev_orig=\"1\" dimension=\"8\" posind=\"0\" "
         "n_tpdo=\"0\"/><row cobid=\"0x201\" id_dev_orig=\"2\" dimension=\"4\" "
         "posind=\"0\" n_tpdo=\"0\"/></rpdodef>");
    file("Transmit_Pdo.xml", "<Trasmit_PDO><row COB-ID=\"0x181\" Dimension=\"8\" SMA=\"100\"/>"
                             "</Trasmit_PDO>");
    const ConfigurationImage image = build();
    EXPECT_EQ(image.stored_pdo, (std::vector<StoredPdoRow>{{0x10, 0, 1, 33}, {0x10, 0, 2, 33}}));
    ASSERT_EQ(image.emcy.size(), 1u);
    const EmcyRecord& e = image.emcy[0];
    EXPECT_EQ(e.id, 5);
    EXPECT_EQ(e.error_code, 0x1000);
    EXPECT_EQ(e.error_register, 1);
    // The low nibble 1 got slot 0, the high nibble 2 slot 1, the second mapping's 3 slot 2.
    EXPECT_EQ(e.mappings,
              (std::vector<EmcyMapping>{{0, 0x21, 100, 1, 0}, {1, 0x03, 101, 0xFFFF, 2}}));
    EXPECT_EQ(image.receive_pdo,
              (std::vector<ReceivePdoRow>{{0x181, 1, 8, 0, 0}, {0x201, 2, 4, 0, 0}}));
    EXPECT_EQ(image.transmit_pdo, (std::vector<TransmitPdoRow>{{0x181, 8, 100}}));
    EXPECT_EQ(image.directory[12], 23); // the receive-PDO table follows the register rows

    const ImageView view = view_of(image);
    const ImageTable& words = view.tables[3];
    ASSERT_EQ(words.rows.size(), 2u);
    EXPECT_EQ(cell_text(words.columns[2], words.rows[0][2]), "Second Byte");
    EXPECT_EQ(cell_text(words.columns[3], words.rows[0][3]), "First Byte");
    EXPECT_EQ(cell_text(words.columns[2], words.rows[1][2]), "None");
    EXPECT_EQ(cell_text(words.columns[5], words.rows[1][5]), "none");
    const ImageTable& stored = view.tables[1];
    EXPECT_EQ(cell_text(stored.columns[4], stored.rows[0][4]), "B2");
}

// The device reads the rows the directory counts from the first one: a receive-PDO row with
// COB-ID 0 is written but not counted, so the last row falls outside what the device reads.
TEST_F(ImageReadBack, ReceiveRowsAreTheCountedOnesFromTheFirst) {
    file("rpdodef.xml", "<rpdodef><row cobid=\"0\" id_dev_orig=\"1\" dimension=\"8\" posind=\"0\" "
                        "n_tpdo=\"0\"/><row cobid=\"0x181\" id_dev_orig=\"2\" dimension=\"4\" "
                        "posind=\"0\" n_tpdo=\"0\"/><row cobid=\"0x201\" id_dev_orig=\"3\" "
                        "dimension=\"4\" posind=\"0\" n_tpdo=\"0\"/></rpdodef>");
    const ConfigurationImage image = build();
    ASSERT_EQ(image.receive_pdo.size(), 2u);
    EXPECT_EQ(image.receive_pdo[0].cobid, 0);
    EXPECT_EQ(image.receive_pdo[1].cobid, 0x181);
}

TEST_F(ImageReadBack, DirectoryPlacesOutsideTheBankOrOverlappingAreNamed) {
    file("sdo.xml", "<sdo>" + sdo_row("1", "1") + sdo_row("1", "2") + sdo_row("1", "3") + "</sdo>");
    emcy_files();
    build();
    const Banks good = banks;

    set_word(2, 2000); // 2000 SDO entries of 9 bytes
    set_word(3, 18000 & 0xFFFF);
    EXPECT_EQ(read_error(), "The SDO access table (table directory words 1 and 2: bank 1, offset "
                            "0, 18000 bytes) runs to offset 18000, past the end of bank 1 at "
                            "offset 16384");
    banks = good;
    set_word(3, 30);
    EXPECT_EQ(read_error(), "The table directory word 3 (bank 2, offset 16253) holds 30 where 27 "
                            "was expected (9 bytes for each SDO entry of word 2)");
    banks = good;
    set_word(17, 18); // stored rows inside the SDO entries
    set_word(18, 1);
    set_word(19, 23);
    EXPECT_EQ(read_error(), "The stored-PDO table (bank 1, offsets 18 to 22, table directory words "
                            "17 and 18) overlaps the SDO access table (bank 1, offsets 0 to 26, "
                            "table directory words 1 and 2)");
    banks = good;
    set_word(13, 16180); // receive rows into the parameter block
    set_word(14, 1);
    set_word(15, 16186);
    set_word(16, 1);
    EXPECT_NE(read_error().find("runs to offset 16186, past the parameter block of bank 2"),
              std::string::npos);
    banks = good;
    set_word(10, 1); // the second mapping names register row 1
    set_word(12, 1);
    EXPECT_EQ(read_error(), "EMCY record 1, mapping 2 names register row 1, but the EMCY register "
                            "table (table directory word 10) has 1 rows");
    banks = good;
    set_word(6, 300); // EMCY records read from zeros run into the parameter block... or not
    set_word(8, 300);
    EXPECT_NE(read_error(), "no error");
    banks = good;
    bank(2)[kTransmitTableOffset] = 19;
    EXPECT_EQ(read_error(), "The transmit-PDO count (bank 2, offset 16293) is 19: its rows would "
                            "run to offset 16389, past the end of bank 2 at offset 16384");
    bank(2)[kTransmitTableOffset] = 18;
    EXPECT_EQ(read_error(), "no error");
}

// Fields whose neighbours hold other values, so that a swapped or widened field shows.
TEST_F(ImageReadBack, FieldsAreReadFromTheirOwnBytes) {
    file("sdo.xml", "<sdo>" + sdo_row("65", "0x10") + "</sdo>"); // Hi Word 2, R/W 0, Lo Word 1
    build();
    bank(2)[param_offset::network_start] = 2;
    const char fourteen[] = "ABCDEFGHIJKLMN";
    std::copy(fourteen, fourteen + 14, bank(2).begin() + param_offset::read_community);
    const ConfigurationImage image = read_image(banks.bank(1), banks.bank(2));
    EXPECT_EQ(image.parameters.read_community, "ABCDEFGHIJKLM"); // 13 characters at most

    const ImageView view = view_of(image);
    std::map<std::string, std::string> cells, texts, json;
    for (std::size_t c = 0; c < view.tables[0].columns.size(); ++c)
        cells[std::string(view.tables[0].columns[c].title)] =
            cell_text(view.tables[0].columns[c], view.tables[0].rows[0][c]);
    for (const ImageParameter& q : view.parameters) {
        texts[std::string(q.key)] = q.text;
        json[std::string(q.key)] = q.json;
    }
    struct Row {
        const char* name;
        std::string got;
        const char* expected;
    };
    const std::vector<Row> rows = {
        {"Hi Word", cells["Hi Word"], "2"},
        {"Lo Word", cells["Lo Word"], "1"},
        {"R/W", cells["R/W"], "0"},
        {"flag byte 2 as text", texts["network_start"], "2"},
        {"flag byte 2 in JSON", json["network_start"], "2"},
        {"flag byte 1", texts["operational_at_start"], "true"},
        {"flag byte 1 in JSON", json["network_start_modbus"], "true"},
        {"name in JSON", json["read_community"], "\"ABCDEFGHIJKLM\""},
        {"JSON backslash", json_string("C:\\bin"), "\"C:\\\\bin\""},
        {"JSON quote and control", json_string("a\"\x01\x7F"), "\"a\\\"\\u0001\\u007f\""},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.got, row.expected) << row.name;
}

// A table may end on the last byte its bank has for it.
TEST_F(ImageReadBack, ATableEndingExactlyAtItsLimitReads) {
    file("sdo.xml", "<sdo>" + sdo_row("148", "0x1234") + "</sdo>");
    build();
    const Banks good = banks;
    struct Row {
        const char* name;
        int start_word, count_word;
        std::size_t start;
    };
    const std::vector<Row> rows = {
        {"SDO entry at the end of bank 1", 1, 2, kBankSize - kSdoEntrySize},
        {"receive-PDO row before the parameter block", 13, 14,
         kBank2TablesEnd - kReceivePdoRowSize},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        banks = good;
        set_word(row.start_word, static_cast<std::uint16_t>(row.start));
        set_word(row.count_word, 1);
        if (row.start_word == 13) { // its end and count copy
            set_word(15, static_cast<std::uint16_t>(kBank2TablesEnd));
            set_word(16, 1);
        }
        EXPECT_EQ(read_error(), "no error");
        // One unit further, it is refused.
        set_word(row.start_word, static_cast<std::uint16_t>(row.start + 1));
        if (row.start_word == 13)
            set_word(15, static_cast<std::uint16_t>(kBank2TablesEnd + 1));
        EXPECT_NE(read_error(), "no error");
    }
}

// Any bank contents give an image or an ImageError, never a read outside the banks.
TEST_F(ImageReadBack, RandomBanksAreReadOrRefused) {
    std::mt19937 rng(77);
    int refused = 0;
    for (int round = 0; round < 400; ++round) {
        for (int n = 1; n <= 2; ++n)
            for (auto& b : bank(n))
                b = static_cast<std::uint8_t>(rng() & (round % 2 ? 0xFF : 0x03));
        // Half the rounds keep a consistent directory of small random counts.
        if (round % 4 == 0) {
            for (int w = 1; w <= 19; ++w)
                set_word(w, 0);
            set_word(2, rng() % 20);
            set_word(3, static_cast<std::uint16_t>(9 * (rng() % 20)));
        }
        try {
            read_image(banks.bank(1), banks.bank(2));
        } catch (const ImageError&) {
            ++refused;
        }
    }
    EXPECT_GT(refused, 0);
}

std::string merged(const Banks& banks) {
    return "S00600004844521B\r\nS1130000000102030405060708090A0B0C0D0E0F74\r\n" +
           bank_records(banks.bank(1), 1) + bank_records(banks.bank(2), 2) + "S9030000FC\r\n";
}

std::string srecord_error(const std::string& text) {
    try {
        banks_from_srecords(text, "New_RZ41902_15_3.sx");
    } catch (const ImageError& e) {
        return e.what();
    }
    return "no error";
}

TEST_F(ImageReadBack, SrecordImagesAreCheckedLineByLine) {
    file("sdo.xml", "<sdo>" + sdo_row("148", "0x1234") + "</sdo>");
    build();
    const std::string good = merged(banks);
    const ImageBanks read = banks_from_srecords(good, "x");
    EXPECT_TRUE(std::equal(read.bank1.begin(), read.bank1.end(), banks.bank(1).begin()));
    EXPECT_TRUE(std::equal(read.bank2.begin(), read.bank2.end(), banks.bank(2).begin()));

    // Line 3 is the first record of bank 1: S224388000 94 12 34 ...; change a data digit.
    std::string bad = good;
    const std::size_t line3 = bad.find("S224388000");
    bad[line3 + 10] = '8';
    EXPECT_EQ(srecord_error(bad), "New_RZ41902_15_3.sx, line 3: bad checksum 0x1F, the bytes give "
                                  "0x2F");
    // Cut in the middle of a record, and at a line end before the end record.
    EXPECT_EQ(srecord_error(good.substr(0, line3 + 40)),
              "New_RZ41902_15_3.sx, line 3: the record's length does not match its byte count "
              "(the file may be cut short)");
    const std::size_t end = good.find("S9");
    EXPECT_EQ(srecord_error(good.substr(0, end)),
              "New_RZ41902_15_3.sx has no end record (S7, S8 or S9): the file is cut short");
    // Without the bank 2 records, and with one record of them missing.
    const std::size_t bank2 = good.find("S224398000");
    EXPECT_EQ(srecord_error(good.substr(0, bank2) + "S9030000FC\r\n"),
              "New_RZ41902_15_3.sx holds no records of the bank 2 page (0x398000 to 0x39BFFF): it "
              "is not a configured firmware image");
    std::string gap = good;
    const std::size_t r = gap.find("S224398040");
    gap.erase(r, gap.find('\n', r) + 1 - r);
    EXPECT_EQ(srecord_error(gap), "New_RZ41902_15_3.sx: the bank 2 page (0x398000 to 0x39BFFF) is "
                                  "incomplete; no record holds address 0x398040");
    EXPECT_EQ(srecord_error("hello\r\n"), "New_RZ41902_15_3.sx, line 1: not an S-record");
    EXPECT_EQ(srecord_error("S2240G\r\n"), "New_RZ41902_15_3.sx, line 1: a character that is not a "
                                           "hexadecimal digit at column 6");
}

TEST(ImageSource, RandomTextIsRefusedWithAMessage) {
    std::mt19937 rng(5);
    const std::string alphabet = "S0123456789ABCDEF\r\n";
    for (int round = 0; round < 300; ++round) {
        std::string text(static_cast<std::size_t>(rng() % 600), ' ');
        for (char& c : text)
            c = round % 2 ? static_cast<char>(rng()) : alphabet[rng() % alphabet.size()];
        EXPECT_THROW(banks_from_srecords(text, "random"), ImageError);
    }
}

TEST(ImageSource, BankFoldersNeedBothFullBankFiles) {
    test::TempDir dir;
    const auto bin = dir.path() / "bin";
    std::filesystem::create_directory(bin);
    write_file(bin / "bank1.bin", std::string(kBankSize, '\0'));
    try {
        load_image_source(dir.path());
        FAIL() << "no error";
    } catch (const ImageError& e) {
        EXPECT_EQ(std::string(e.what()), "No bank2.bin in " + bin.string());
    }
    write_file(bin / "bank2.bin", std::string(100, '\0'));
    try {
        load_image_source(bin);
        FAIL() << "no error";
    } catch (const ImageError& e) {
        EXPECT_EQ(std::string(e.what()),
                  (bin / "bank2.bin").string() + " holds 100 bytes; a bank file holds 16384");
    }
    write_file(bin / "bank2.bin", std::string(kBankSize, '\0'));
    EXPECT_EQ(load_image_source(dir.path()).bank2.size(), kBankSize);
    EXPECT_THROW(load_image_source(dir.path() / "none.sx"), ImageError);
}

} // namespace
} // namespace mk
