#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/user_error.h"
#include "tables/emcy_table.h"
#include "test_dir.h"
#include "test_files.h"

using mk::test::read_file;
using mk::test::write_file;

namespace {

namespace fs = std::filesystem;
using mk::EmcyRow;
using mk::EmcyTable;
using mk::RecordingSink;

std::string row(const std::string& id, const std::string& code, const std::string& reg) {
    return "<row ID_EMCY=\"" + id + "\" EMCY_Error_Code=\"" + code + "\" Error_Register=\"" + reg +
           "\"/>";
}

EmcyTable parsed(const std::string& xml) {
    RecordingSink sink;
    EmcyTable t = mk::parse_emcy_table(xml, sink);
    EXPECT_TRUE(sink.entries.empty());
    return t;
}

TEST(EmcyFields, TypedValuesBecomeCanonicalTexts) {
    const auto canonical = [](EmcyRow typed) {
        const mk::EmcyCheck c = mk::canonical_emcy_row(typed);
        return c.row ? c.row->display_text() : std::string(c.message);
    };
    EXPECT_EQ(canonical({"0x1A", "4096", "1"}), "26\t0x1000\t0x01");
    EXPECT_EQ(canonical({"$1a", "0xabcd", "x1f"}), "26\t0xABCD\t0x1F");
    EXPECT_EQ(canonical({" +127", "0", "255"}), "127\t0x0000\t0xFF");
    EXPECT_EQ(canonical({"1", "65535", "0X0"}), "1\t0xFFFF\t0x00");
}

TEST(EmcyFields, ChecksRunIdThenCodeThenRegister) {
    const auto message = [](EmcyRow typed) {
        return std::string(mk::canonical_emcy_row(typed).message);
    };
    // The ID is checked first, whatever the other fields hold.
    for (const char* id : {"0", "128", "", "abc", "-1", "5 ", "0x"})
        EXPECT_EQ(message({id, "65536", ""}), mk::kMsgEmcyIdRange) << id;
    for (const char* code : {"65536", "-1", "", "abc", "0x10000", "0xFFFFFFFF"})
        EXPECT_EQ(message({"5", code, "x"}), mk::kMsgEmcyErrorCodeRange) << code;
    for (const char* reg : {"", "256", "-1", "300", "1A"})
        EXPECT_EQ(message({"5", "0x1000", reg}), mk::kMsgEmcyErrorRegisterRange) << reg;
}

TEST(EmcyTableEdit, EqualityIsTextualAndIncludesRowsFromTheFile) {
    EmcyTable t =
        parsed("<EMCY>" + row("5", "0x1000", "0x01") + row("7", "0x0a00", "0x00") + "</EMCY>");
    EXPECT_EQ(t.add({"5", "4096", "1"}), mk::kMsgEmcyAlreadyPresent);
    // 2560 is 0x0A00, which is not the text 0x0a00 of the file's row.
    EXPECT_EQ(t.add({"7", "2560", "0"}), std::nullopt);
    EXPECT_EQ(t.add({"7", "0xA00", "0x0"}), mk::kMsgEmcyAlreadyPresent);
    // The same ID with another code is a row of its own.
    EXPECT_EQ(t.add({"5", "0x1001", "1"}), std::nullopt);
    ASSERT_EQ(t.rows().size(), 4u);
    EXPECT_EQ(t.rows()[1].error_code, "0x0a00");
    EXPECT_EQ(t.rows()[2], (EmcyRow{"7", "0x0A00", "0x00"}));
    EXPECT_EQ(t.rows()[3], (EmcyRow{"5", "0x1001", "0x01"}));
    // A failed check changes nothing.
    EXPECT_EQ(t.add({"0", "1", "1"}), mk::kMsgEmcyIdRange);
    EXPECT_EQ(t.rows().size(), 4u);
}

TEST(EmcyTableEdit, ModifyReplacesTheSelectedRowAndComparesWithItToo) {
    EmcyTable t = parsed("<EMCY>" + row("5", "0x1000", "0x01") + row("0x6", "4096", "1") +
                         row("8", "0x2000", "0x02") + "</EMCY>");
    // A canonical row modified into itself is already present; a row read in another form is not.
    EXPECT_EQ(t.modify(0, {"5", "0x1000", "0x01"}), mk::kMsgEmcyAlreadyPresent);
    EXPECT_EQ(t.modify(1, {"0x6", "4096", "1"}), std::nullopt);
    EXPECT_EQ(t.rows()[1], (EmcyRow{"6", "0x1000", "0x01"}));
    // The checks run without a selection too, and then nothing changes.
    EXPECT_EQ(t.modify(std::nullopt, {"200", "0", "0"}), mk::kMsgEmcyIdRange);
    const auto before = t.rows();
    EXPECT_EQ(t.modify(std::nullopt, {"9", "0", "0"}), std::nullopt);
    EXPECT_EQ(t.rows(), before);
    EXPECT_EQ(t.modify(2, {"9", "0", "0"}), std::nullopt);
    EXPECT_EQ(t.rows()[2], (EmcyRow{"9", "0x0000", "0x00"}));
}

TEST(EmcyTableEdit, DeleteClosesTheGap) {
    EmcyTable t =
        parsed("<EMCY>" + row("1", "1", "1") + row("2", "2", "2") + row("3", "3", "3") + "</EMCY>");
    t.remove(std::nullopt);
    t.remove(3);
    EXPECT_EQ(t.rows().size(), 3u);
    t.remove(1);
    ASSERT_EQ(t.rows().size(), 2u);
    EXPECT_EQ(t.rows()[1].id, "3");
}

TEST(EmcyTableFile, ReadsTextsAsTheyStandWhateverTheNamesAndWhitespace) {
    const EmcyTable t = parsed("<Other>\n  <r ID_EMCY=\" 5\" Error_Register=\"abc\" "
                               "EMCY_Error_Code=\"0x0a00\" extra=\"1\"/>\n  " +
                               row("127", "$FFFF", "0xff") + "\n</Other>\n");
    ASSERT_EQ(t.rows().size(), 2u);
    EXPECT_EQ(t.rows()[0], (EmcyRow{" 5", "0x0a00", "abc"}));
    EXPECT_EQ(t.rows()[1].display_text(), "127\t$FFFF\t0xff");
    EXPECT_FALSE(t.fault());
}

TEST(EmcyTableFile, SavingWritesListOrderAndKeepsReadTexts) {
    mk::test::TempDir dir;
    const fs::path path = dir.path() / "emcydef.xml";
    RecordingSink sink;
    // A missing file is an empty table without a message, and saving it makes an empty root.
    EmcyTable t = mk::load_emcy_table(path, sink);
    EXPECT_TRUE(sink.entries.empty());
    EXPECT_TRUE(t.rows().empty());
    mk::save_emcy_table(t, path);
    EXPECT_EQ(read_file(path), "<EMCY/>");

    write_file(path, "<EMCY>" + row("5", "0x0a00", "abc") + "</EMCY>");
    t = mk::load_emcy_table(path, sink);
    ASSERT_EQ(t.add({"26", "1", "2"}), std::nullopt);
    mk::save_emcy_table(t, path);
    EXPECT_EQ(read_file(path),
              "<EMCY>" + row("5", "0x0a00", "abc") + row("26", "0x0001", "0x02") + "</EMCY>");
    EXPECT_TRUE(sink.entries.empty());
}

TEST(EmcyTableFile, FaultsNameTheFileKeepEarlierRowsAndBlockSaving) {
    mk::test::TempDir dir;
    const fs::path path = dir.path() / "emcydef.xml";
    struct Case {
        std::string content;
        std::size_t rows_kept;
        std::string message;
    };
    const Case cases[] = {
        {"<EMCY>" + row("5", "1", "1") + "<row ID_EMCY=\"6\" EMCY_Error_Code=\"1\"/>" +
             row("7", "1", "1") + "</EMCY>",
         1, "Error in reading file XML (emcydef.xml, row 2: no attribute Error_Register)"},
        {"<EMCY>" + row("5", "1", "1") + "stray text</EMCY>", 1,
         "Error in reading file XML (emcydef.xml, row 2: no attribute ID_EMCY)"},
        {"<EMCY>" + row("5", "1", "1"), 0,
         "Error in reading file XML (emcydef.xml: not a well-formed XML file)"},
        {"", 0, "Error in reading file XML (emcydef.xml: not a well-formed XML file)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        write_file(path, c.content);
        RecordingSink sink;
        EmcyTable t = mk::load_emcy_table(path, sink);
        EXPECT_EQ(sink.texts(), std::vector<std::string>{c.message}) << c.content;
        EXPECT_EQ(t.rows().size(), c.rows_kept) << c.content;
        ASSERT_TRUE(t.fault());
        // Editing goes on, but saving would drop what was not read: refused, file untouched.
        EXPECT_EQ(t.add({"9", "9", "9"}), std::nullopt);
        try {
            mk::save_emcy_table(t, path);
            ADD_FAILURE() << "saved over " << c.content;
        } catch (const mk::UserError& e) {
            EXPECT_EQ(std::string(e.what()), mk::incomplete_file_message("emcydef.xml"));
        }
        EXPECT_EQ(read_file(path), c.content);
    }
    EXPECT_EQ(mk::incomplete_file_message("emcydef.xml").rfind("Error!!! emcydef.xml ", 0), 0u);
}

TEST(EmcyTableFile, TenThousandRowsLoadAndSaveQuickly) {
    mk::test::TempDir dir;
    const fs::path path = dir.path() / "emcydef.xml";
    std::string xml = "<EMCY>";
    for (int i = 0; i < 10000; ++i) {
        char code[8];
        std::snprintf(code, sizeof code, "0x%04X", i);
        xml += row(std::to_string(i % 127 + 1), code, "0x00");
    }
    write_file(path, xml + "</EMCY>");
    const auto start = std::chrono::steady_clock::now();
    RecordingSink sink;
    EmcyTable t = mk::load_emcy_table(path, sink);
    ASSERT_EQ(t.rows().size(), 10000u);
    EXPECT_EQ(t.add({"1", "0", "0"}), mk::kMsgEmcyAlreadyPresent);
    EXPECT_EQ(t.add({"1", "0", "1"}), std::nullopt);
    mk::save_emcy_table(t, path);
    EXPECT_EQ(mk::load_emcy_table(path, sink).rows().size(), 10001u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

} // namespace
