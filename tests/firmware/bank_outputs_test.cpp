#include <gtest/gtest.h>

#include "core/user_error.h"
#include "firmware/bank_outputs.h"
#include "firmware_test_support.h"
#include "test_dir.h"
#include "test_files.h"

namespace mk {
namespace {

std::vector<std::string> split_crlf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find("\r\n", at);
        if (end == std::string::npos) {
            lines.push_back(text.substr(at) + "<no line end>");
            break;
        }
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

TEST(BankSource, LayoutOfTheTwoBanks) {
    Banks banks;
    const auto entry = test::hex({0x94, 0x12, 0x34, 0x00, 0x05, 0x20, 0x00, 0x01, 0x04});
    std::copy(entry.begin(), entry.end(), banks.bank(1).begin());
    banks.bank(1)[kBankSize - 1] = 0xAB;
    banks.bank(2)[16] = 0x5C;
    banks.bank(3)[0] = 0x77; // banks 3 to 5 do not appear in the source

    const std::string text = bank_source_text(banks);
    const auto lines = split_crlf(text);
    ASSERT_EQ(lines.size(), 2052u);
    EXPECT_EQ(lines[0], "#pragma CONST_SEG SEGMENT0");
    EXPECT_EQ(lines[1], "const char Bank1 [] = { 0x94, 0x12, 0x34, 0x00, 0x05, 0x20, 0x00, 0x01, "
                        "0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,");
    EXPECT_EQ(lines[2].substr(0, 22), std::string(17, ' ') + " 0x00");
    EXPECT_EQ(lines[1024].substr(lines[1024].size() - 13), " 0x00, 0xAB};");
    EXPECT_EQ(lines[1025], "");
    EXPECT_EQ(lines[1026].substr(0, 28), "const char Bank2 [] = { 0x00");
    EXPECT_EQ(lines[1027].substr(0, 22), std::string(17, ' ') + " 0x5C");
    EXPECT_EQ(lines[2049].substr(lines[2049].size() - 7), " 0x00};");
    EXPECT_EQ(lines[2050], "");
    EXPECT_EQ(lines[2051], "#pragma CONST_SEG DEFAULT");
    EXPECT_EQ(text.find("0x77"), std::string::npos);
}

TEST(BankFiles, FiveFilesOfOneBankEachAndTheSource) {
    test::TempDir dir;
    std::filesystem::create_directory(dir.path() / "bin");
    Banks banks;
    banks.bank(2)[5] = 9;
    write_bank_outputs(dir.path(), banks);
    for (int n = 1; n <= 5; ++n) {
        const std::string bytes =
            test::read_file(dir.path() / "bin" / ("bank" + std::to_string(n) + ".bin"));
        ASSERT_EQ(bytes.size(), kBankSize);
        EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\0'), n == 2 ? 16383 : 16384);
    }
    EXPECT_EQ(test::read_file(dir.path() / "bin" / "bankg.c"), bank_source_text(banks));
}

TEST(BankFiles, MissingBinFolderStopsWithTheCannotCreateMessage) {
    test::TempDir dir;
    Banks banks;
    try {
        write_bank_outputs(dir.path(), banks);
        FAIL();
    } catch (const UserError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file \"" +
                                             (dir.path() / "bin" / "bank1.bin").string() +
                                             "\". No such file or directory");
    }
}

} // namespace
} // namespace mk
