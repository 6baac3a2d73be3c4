#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/user_error.h"
#include "tables/emcy_table.h"
#include "tables/emcy_word_table.h"
#include "test_dir.h"
#include "test_files.h"

using mk::test::read_file;
using mk::test::write_file;

namespace {

namespace fs = std::filesystem;
using mk::EmcyWordTable;
using mk::RecordingSink;
using mk::TWordObj;

std::string emcyRows(int count) {
    std::string xml = "<EMCY>";
    for (int i = 1; i <= count; ++i)
        xml += "<row ID_EMCY=\"" + std::to_string(i) +
               "\" EMCY_Error_Code=\"0x1000\" Error_Register=\"0x01\"/>";
    return xml + "</EMCY>";
}

std::string dati(const std::string& word, const std::string& byte) {
    return "<Dati Dati_Word=\"" + word + "\" Dati_Byte=\"" + byte + "\"/>";
}

std::string group(const std::string& content) {
    return content.empty() ? "<EMCY_ROW/>" : "<EMCY_ROW>" + content + "</EMCY_ROW>";
}

EmcyWordTable parsed(int rows, std::optional<std::string> word) {
    RecordingSink sink;
    const std::string emcy = emcyRows(rows);
    EmcyWordTable t = mk::parse_emcy_word_table(emcy, word, sink);
    EXPECT_TRUE(sink.entries.empty()) << (sink.entries.empty() ? "" : sink.texts().front());
    return t;
}

std::vector<TWordObj> mappings(const EmcyWordTable& t, std::size_t entry) {
    return t.entries().at(entry).mappings;
}

TEST(ByteSelection, GroupsAndNibbles) {
    EXPECT_EQ(mk::byte_selection(5, 0), 80);
    EXPECT_EQ(mk::byte_selection(0, 1), 1);
    EXPECT_EQ(mk::byte_selection(2, 1), 0x21);
    EXPECT_EQ(mk::hi_byte_choice(0x21), 2);
    EXPECT_EQ(mk::lo_byte_choice(0x21), 1);
    EXPECT_EQ(mk::hi_byte_choice(80), 5);
    EXPECT_EQ(mk::lo_byte_choice(80), 0);
    // Nibbles outside 1 to 5 show as "None".
    EXPECT_EQ(mk::hi_byte_choice(102), mk::kNoByte);
    EXPECT_EQ(mk::lo_byte_choice(102), mk::kNoByte);
    EXPECT_EQ(mk::hi_byte_choice(0xF5), mk::kNoByte);
    EXPECT_EQ(mk::lo_byte_choice(0xF5), 5);
}

TEST(EmcyWordEdit, NewChecksInOrderAndKeepsRegistersUnique) {
    EmcyWordTable t = parsed(2, std::nullopt);
    // The byte groups come first, even without an EMCY row.
    EXPECT_EQ(t.add(std::nullopt, 0, 0, "abc"), mk::kMsgSelectByte);
    EXPECT_EQ(t.add(std::nullopt, 1, 0, "abc"), mk::kMsgSelectEmcy);
    EXPECT_EQ(t.add(2, 1, 0, "1"), mk::kMsgSelectEmcy);
    for (const char* bad : {"65536", "-1", "", "abc", " 1 ", "0xFFFFFFFF"})
        EXPECT_EQ(t.add(0, 1, 0, bad), mk::kMsgRegisterRange) << bad;
    EXPECT_EQ(t.add(0, 5, 0, "0"), std::nullopt);
    EXPECT_EQ(t.add(0, 0, 1, "65535"), std::nullopt);
    EXPECT_EQ(t.add(0, 2, 1, "100"), std::nullopt);
    // A register is used once in the whole table, compared as a number.
    EXPECT_EQ(t.add(1, 1, 1, "0x64"), mk::kMsgRegisterUsed);
    EXPECT_EQ(t.add(1, 1, 1, "$FFFF"), mk::kMsgRegisterUsed);
    EXPECT_EQ(t.add(1, 3, 3, "101"), std::nullopt);
    EXPECT_EQ(mappings(t, 0), (std::vector<TWordObj>{{0, 80}, {65535, 1}, {100, 0x21}}));
    EXPECT_EQ(mappings(t, 1), (std::vector<TWordObj>{{101, 0x33}}));
}

TEST(EmcyWordEdit, ModifyAndDeleteCheckInOrder) {
    EmcyWordTable t = parsed(2, "<EMCY_Word>" + group(dati("100", "33") + dati("101", "3")) +
                                    group(dati("200", "1")) + "</EMCY_Word>");
    EXPECT_EQ(t.modify(std::nullopt, std::nullopt, 0, 0, "x"), mk::kMsgSelectByte);
    EXPECT_EQ(t.modify(std::nullopt, 0, 1, 0, "x"), mk::kMsgSelectEmcy);
    EXPECT_EQ(t.modify(0, std::nullopt, 1, 0, "x"), mk::kMsgSelectRegister);
    EXPECT_EQ(t.modify(0, 2, 1, 0, "x"), mk::kMsgSelectRegister);
    EXPECT_EQ(t.modify(0, 0, 1, 0, "65536"), mk::kMsgRegisterRange);
    EXPECT_EQ(t.modify(0, 0, 1, 0, "200"), mk::kMsgRegisterUsed);
    EXPECT_EQ(t.modify(0, 0, 1, 0, "101"), mk::kMsgRegisterUsed);
    // The selected mapping may keep its own number with another byte choice.
    EXPECT_EQ(t.modify(0, 0, 4, 5, "100"), std::nullopt);
    EXPECT_EQ(t.modify(0, 1, 0, 2, "102"), std::nullopt);
    EXPECT_EQ(mappings(t, 0), (std::vector<TWordObj>{{100, 0x45}, {102, 2}}));

    EXPECT_EQ(t.remove(std::nullopt, 0), mk::kMsgSelectEmcy);
    EXPECT_EQ(t.remove(1, std::nullopt), mk::kMsgSelectRegister);
    EXPECT_EQ(t.remove(0, 0), std::nullopt);
    EXPECT_EQ(mappings(t, 0), (std::vector<TWordObj>{{102, 2}}));
    EXPECT_EQ(mappings(t, 1), (std::vector<TWordObj>{{200, 1}}));
}

TEST(EmcyWordFile, GroupsPairWithEmcyRowsByPosition) {
    const std::string five = "<Any>" + group(dati("1", "1")) + group(dati("2", "2")) +
                             group(dati("3", "3")) + group(dati("4", "4")) + group(dati("5", "5")) +
                             "</Any>";
    RecordingSink surplus;
    EmcyWordTable t = mk::parse_emcy_word_table(emcyRows(3), five, surplus);
    EXPECT_EQ(surplus.texts(), std::vector<std::string>{mk::groups_beyond_rows_message(5, 3)});
    ASSERT_EQ(t.entries().size(), 3u);
    EXPECT_EQ(t.entries()[2].emcy.id, "3");
    EXPECT_EQ(mappings(t, 2), (std::vector<TWordObj>{{3, 3}}));
    // Surplus groups are dropped when the table is written again.
    EXPECT_EQ(mk::serialize_emcy_word_table(t), "<EMCY_Word>" + group(dati("1", "1")) +
                                                    group(dati("2", "2")) + group(dati("3", "3")) +
                                                    "</EMCY_Word>");
    // One group for three rows: the others start empty and are written as empty groups.
    t = parsed(3, "<EMCY_Word>" + group(dati("0x64", "0x21")) + "</EMCY_Word>");
    EXPECT_TRUE(mappings(t, 1).empty());
    EXPECT_EQ(mk::serialize_emcy_word_table(t),
              "<EMCY_Word>" + group(dati("100", "33")) + group("") + group("") + "</EMCY_Word>");
    // Without EMCY rows nothing is loaded and nothing but the root is written.
    RecordingSink sink;
    t = mk::parse_emcy_word_table(std::nullopt, five, sink);
    EXPECT_TRUE(t.entries().empty());
    EXPECT_EQ(mk::serialize_emcy_word_table(t), "<EMCY_Word/>");
    // Values the editor never offers but that fit their fields are kept as they are.
    t = parsed(1, "<EMCY_Word>" + group(dati("7", "102") + dati("8", "0")) + "</EMCY_Word>");
    EXPECT_EQ(mappings(t, 0), (std::vector<TWordObj>{{7, 102}, {8, 0}}));
}

TEST(EmcyWordFile, DeletingTheFirstEmcyRowShiftsTheMappings) {
    mk::test::TempDir dir;
    write_file(dir.path() / "emcydef.xml", emcyRows(3));
    write_file(dir.path() / "emcyword.xml", "<EMCY_Word>" + group(dati("10", "1")) +
                                                group(dati("20", "2")) + group(dati("30", "3")) +
                                                "</EMCY_Word>");
    RecordingSink sink;
    mk::EmcyTable emcy = mk::load_emcy_table(dir.path() / "emcydef.xml", sink);
    emcy.remove(0);
    mk::save_emcy_table(emcy, dir.path() / "emcydef.xml");

    EmcyWordTable t = mk::load_emcy_word_table(dir.path(), sink);
    ASSERT_EQ(t.entries().size(), 2u);
    EXPECT_EQ(t.entries()[0].emcy.id, "2");
    EXPECT_EQ(mappings(t, 0), (std::vector<TWordObj>{{10, 1}}));
    EXPECT_EQ(mappings(t, 1), (std::vector<TWordObj>{{20, 2}}));
    mk::save_emcy_word_table(t, dir.path() / "emcyword.xml");
    EXPECT_EQ(read_file(dir.path() / "emcyword.xml"),
              "<EMCY_Word>" + group(dati("10", "1")) + group(dati("20", "2")) + "</EMCY_Word>");
    EXPECT_EQ(sink.texts(), std::vector<std::string>{mk::groups_beyond_rows_message(3, 2)});
}

TEST(EmcyWordFile, TextBetweenGroupsIsAReadingErrorAsInTheBuild) {
    // Paired with an EMCY row, the text would shift every later group onto the wrong row.
    const std::string content = "<EMCY_Word>" + group(dati("1", "1")) + "stray" +
                                group(dati("2", "2")) + group(dati("3", "3")) + "</EMCY_Word>";
    RecordingSink sink;
    EmcyWordTable t = mk::parse_emcy_word_table(emcyRows(3), content, sink);
    EXPECT_EQ(sink.texts(), std::vector<std::string>{"Error in reading file XML (emcyword.xml, "
                                                     "group 2: text between the groups)"});
    EXPECT_EQ(mappings(t, 0), (std::vector<TWordObj>{{1, 1}}));
    EXPECT_TRUE(mappings(t, 1).empty());
    EXPECT_TRUE(mappings(t, 2).empty());
    mk::test::TempDir dir;
    EXPECT_THROW(mk::save_emcy_word_table(t, dir.path() / "emcyword.xml"), mk::UserError);
    EXPECT_FALSE(fs::exists(dir.path() / "emcyword.xml"));
}

TEST(EmcyWordFile, FaultsNameFileGroupAndMappingAndBlockSaving) {
    mk::test::TempDir dir;
    const fs::path word = dir.path() / "emcyword.xml";
    write_file(dir.path() / "emcydef.xml", emcyRows(3));
    struct Case {
        std::string second_group;
        std::string where;
    };
    const Case cases[] = {
        {dati("5", "1") + "<Dati Dati_Word=\"6\"/>", "mapping 2: no attribute Dati_Byte"},
        {dati("5", "1") + "<Dati Dati_Byte=\"1\"/>", "mapping 2: no attribute Dati_Word"},
        {dati("abc", "1"), "mapping 1: Dati_Word \"abc\" is not a valid integer value"},
        {dati("6", ""), "mapping 1: Dati_Byte \"\" is not a valid integer value"},
        {dati("65536", "1"), "mapping 1: Dati_Word 65536 is outside 0 to 65535"},
        {dati("-1", "1"), "mapping 1: Dati_Word -1 is outside 0 to 65535"},
        {dati("5", "1") + dati("6", "300"), "mapping 2: Dati_Byte 300 is outside 0 to 255"},
        {dati("5", "1") + dati("6", "-1"), "mapping 2: Dati_Byte -1 is outside 0 to 255"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.where);
        const std::string content = "<EMCY_Word>" + group(dati("1", "1")) + group(c.second_group) +
                                    group(dati("9", "9")) + "</EMCY_Word>";
        write_file(word, content);
        RecordingSink sink;
        EmcyWordTable t = mk::load_emcy_word_table(dir.path(), sink);
        EXPECT_EQ(sink.texts(),
                  std::vector<std::string>{"Error in reading file XML (emcyword.xml, group 2, " +
                                           c.where + ")"});
        // What was read before the fault stays; the rest is not read.
        ASSERT_EQ(t.entries().size(), 3u);
        EXPECT_EQ(mappings(t, 0), (std::vector<TWordObj>{{1, 1}}));
        EXPECT_EQ(mappings(t, 1).size(), c.where.starts_with("mapping 2") ? 1u : 0u);
        EXPECT_TRUE(mappings(t, 2).empty());
        try {
            mk::save_emcy_word_table(t, word);
            ADD_FAILURE() << "saved over " << content;
        } catch (const mk::UserError& e) {
            EXPECT_EQ(std::string(e.what()), mk::incomplete_file_message("emcyword.xml"));
        }
        EXPECT_EQ(read_file(word), content);
    }
}

TEST(EmcyWordFile, BrokenFilesOfEitherKindAreReportedAndKeptFromSaving) {
    mk::test::TempDir dir;
    RecordingSink sink;
    write_file(dir.path() / "emcydef.xml", emcyRows(2));
    write_file(dir.path() / "emcyword.xml", "<EMCY_Word><EMCY_ROW>");
    EmcyWordTable t = mk::load_emcy_word_table(dir.path(), sink);
    EXPECT_EQ(sink.texts(),
              std::vector<std::string>{
                  "Error in reading file XML (emcyword.xml: not a well-formed XML file)"});
    EXPECT_EQ(t.entries().size(), 2u);
    EXPECT_THROW(mk::save_emcy_word_table(t, dir.path() / "emcyword.xml"), mk::UserError);

    // A translation table read only in part would cut the word table's groups short.
    write_file(
        dir.path() / "emcydef.xml",
        "<EMCY><row ID_EMCY=\"1\" EMCY_Error_Code=\"1\" Error_Register=\"1\"/><row/></EMCY>");
    write_file(dir.path() / "emcyword.xml",
               "<EMCY_Word>" + group(dati("1", "1")) + group(dati("2", "2")) + "</EMCY_Word>");
    sink.entries.clear();
    t = mk::load_emcy_word_table(dir.path(), sink);
    EXPECT_EQ(sink.texts(), std::vector<std::string>{"Error in reading file XML (emcydef.xml, "
                                                     "row 2: no attribute ID_EMCY)"});
    EXPECT_EQ(t.entries().size(), 1u);
    try {
        mk::save_emcy_word_table(t, dir.path() / "emcyword.xml");
        ADD_FAILURE();
    } catch (const mk::UserError& e) {
        EXPECT_EQ(std::string(e.what()), mk::incomplete_file_message("emcydef.xml"));
    }

    // Missing files are no error: no message, an empty table, and saving writes the root.
    mk::test::TempDir empty;
    sink.entries.clear();
    t = mk::load_emcy_word_table(empty.path(), sink);
    EXPECT_TRUE(sink.entries.empty());
    mk::save_emcy_word_table(t, empty.path() / "emcyword.xml");
    EXPECT_EQ(read_file(empty.path() / "emcyword.xml"), "<EMCY_Word/>");
}

TEST(EmcyWordFile, TenThousandRowsWithMappingsLoadCheckAndSave) {
    mk::test::TempDir dir;
    write_file(dir.path() / "emcydef.xml", emcyRows(10000));
    std::string word = "<EMCY_Word>";
    for (int i = 0; i < 10000; ++i)
        word += group(dati(std::to_string(2 * i), "1") + dati(std::to_string(2 * i + 1), "16"));
    write_file(dir.path() / "emcyword.xml", word + "</EMCY_Word>");
    const auto start = std::chrono::steady_clock::now();
    RecordingSink sink;
    EmcyWordTable t = mk::load_emcy_word_table(dir.path(), sink);
    ASSERT_EQ(t.entries().size(), 10000u);
    EXPECT_EQ(t.add(9999, 1, 0, "19999"), mk::kMsgRegisterUsed);
    EXPECT_EQ(t.add(9999, 1, 0, "20000"), std::nullopt);
    mk::save_emcy_word_table(t, dir.path() / "emcyword.xml");
    EXPECT_EQ(mk::load_emcy_word_table(dir.path(), sink).entries()[9999].mappings.size(), 3u);
    EXPECT_TRUE(sink.entries.empty());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

} // namespace
