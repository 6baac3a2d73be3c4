#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/user_error.h"
#include "tables/sdo_schema.h"
#include "test_dir.h"
#include "test_files.h"
#include "transfer/csv_export.h"

using mk::test::read_file;

namespace {

namespace fs = std::filesystem;

TEST(CsvExport, PlainFieldsAreWrittenAsTheyAreWithCrLf) {
    EXPECT_EQ(mk::csv_bytes({{"cobid", "id_dev_orig", "en_bypass", "posind", "n_tpdo "},
                             {"0x181", "1", "0", "0", "0"},
                             {"16", "2", "33", ""}}),
              "cobid,id_dev_orig,en_bypass,posind,n_tpdo \r\n0x181,1,0,0,0\r\n16,2,33,\r\n");
    EXPECT_EQ(mk::csv_bytes({}), "");
}

TEST(CsvExport, OnlyCommasQuotesAndLineBreaksAreQuoted) {
    EXPECT_EQ(mk::csv_field("valve, outlet"), "\"valve, outlet\"");
    EXPECT_EQ(mk::csv_field("12\" pipe"), "\"12\"\" pipe\"");
    EXPECT_EQ(mk::csv_field("two\nlines"), "\"two\nlines\"");
    EXPECT_EQ(mk::csv_field("cr\r"), "\"cr\r\"");
    EXPECT_EQ(mk::csv_field(" spaced ; 'single' <&>"), " spaced ; 'single' <&>");
    EXPECT_EQ(mk::csv_field(""), "");
}

TEST(CsvExport, TextIsWindows1252AndOtherCharactersBecomeQuestionMarks) {
    EXPECT_EQ(mk::to_windows_1252("più €5 – ok"), "pi\xF9 \x80"
                                                  "5 \x96 ok");
    EXPECT_EQ(mk::to_windows_1252("Ω 中 😀"), "? ? ?");
    // Bytes that are not UTF-8: a stray continuation byte, a cut sequence, an overlong form.
    EXPECT_EQ(mk::to_windows_1252("a\x80z"), "a?z");
    EXPECT_EQ(mk::to_windows_1252("a\xE2\x82"), "a??");
    EXPECT_EQ(mk::to_windows_1252("\xC0\xAF"), "??");
}

TEST(CsvExport, EveryByteThatIsNoWindows1252CharacterIsAQuestionMark) {
    struct Row {
        const char* name;
        std::string utf8;
        std::string written;
    };
    const std::vector<Row> rows = {
        {"overlong three-byte form of ')'", "\xE0\x80\xA9", "???"},
        {"overlong four-byte form", "\xF0\x80\x80\xA9", "????"},
        {"U+0080, a C1 control", "\xC2\x80", "?"},
        {"U+009F, a C1 control", "\xC2\x9F", "?"},
        {"U+00A0, the first Latin-1 character", "\xC2\xA0", "\xA0"},
        {"a surrogate", "\xED\xA0\x80", "???"},
        {"beyond Unicode", "\xF4\x90\x80\x80", "????"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(mk::to_windows_1252(row.utf8), row.written) << row.name;
        EXPECT_EQ(mk::csv_bytes({{"a" + row.utf8}}), "a" + row.written + "\r\n") << row.name;
    }
}

TEST(CsvExport, FileNameFollowsTheTableFile) {
    EXPECT_EQ(mk::csv_path(mk::sdo_file::schema, "/p"), fs::path("/p/sdo.csv"));
}

TEST(CsvExport, WritesReplacingTheFileAndKeepsItOnFailure) {
    mk::test::TempDir dir;
    const fs::path file = dir.path() / "sdo.csv";
    std::ofstream(file) << "old";
    mk::write_csv(file, {{"a", "b"}});
    EXPECT_EQ(read_file(file), "a,b\r\n");

    // A folder in the file's place cannot be replaced: the error names the file, and nothing
    // else in the folder changes.
    const fs::path blocked = dir.path() / "rpdodef.csv";
    fs::create_directory(blocked);
    std::ofstream(blocked / "keep") << "kept";
    try {
        mk::write_csv(blocked, {{"new"}});
        FAIL() << "writing over a folder succeeded";
    } catch (const mk::UserError& e) {
        EXPECT_NE(std::string(e.what()).find("rpdodef.csv"), std::string::npos) << e.what();
    }
    EXPECT_EQ(read_file(blocked / "keep"), "kept");
    EXPECT_EQ(read_file(file), "a,b\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}

} // namespace
