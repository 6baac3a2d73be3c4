#include <gtest/gtest.h>

#include <cstdio>

#include "firmware/banks.h"
#include "firmware/srecord_merge.h"
#include "firmware_test_support.h"
#include "test_dir.h"

namespace mk {
namespace {

namespace fs = std::filesystem;
using test::read_text;
using test::write_text;

std::string s2(std::uint32_t address, std::uint8_t fill = 0xEE) {
    unsigned sum = 0x05 + (address >> 16) + ((address >> 8) & 0xFF) + (address & 0xFF) + 2 * fill;
    char line[32];
    std::snprintf(line, sizeof line, "S205%06X%02X%02X%02X", address, fill, fill, ~sum & 0xFF);
    return line;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> out;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find("\r\n", at);
        EXPECT_NE(end, std::string::npos) << "every line ends in CR LF";
        if (end == std::string::npos)
            break;
        out.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    return out;
}

std::string join(const std::vector<std::string>& lines, const char* eol = "\r\n") {
    std::string out;
    for (const auto& l : lines)
        out += l + eol;
    return out;
}

class CountingProgress : public MergeProgress {
public:
    void reset() override { value = 0; }
    void set_maximum(int m) override { maximum = m; }
    void advance() override { ++value; }
    int value = 0;
    int maximum = 0;
};

class Merge : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(bin());
        banks.bank(1)[0] = 0x11;
        banks.bank(2)[0] = 0x22;
        for (int n = 1; n <= 5; ++n) {
            const auto b = banks.bank(n);
            write_text(bin() / ("bank" + std::to_string(n) + ".bin"),
                       std::string(reinterpret_cast<const char*>(b.data()), b.size()));
        }
    }
    fs::path bin() const { return dir.path() / "bin"; }
    fs::path base() const { return dir.path() / "base.sx"; }
    fs::path output() const { return dir.path() / "New_base.sx"; }
    bool merge(const std::string& image, const char* eol = "\r\n") {
        write_text(base(), join(lines_from(image), eol));
        return image_made(merge_all(base(), bin(), dir.path(), "New_base.sx", sink, progress));
    }
    static std::vector<std::string> lines_from(const std::string& image) {
        std::vector<std::string> out;
        std::size_t at = 0;
        while (at <= image.size()) {
            const std::size_t end = image.find('|', at);
            out.push_back(image.substr(at, end - at));
            if (end == std::string::npos)
                break;
            at = end + 1;
        }
        return out;
    }
    std::vector<std::string> bank_lines(int n) const {
        return lines_of(bank_records(banks.bank(n), n));
    }
    void expect_no_temporary_files() const {
        for (const fs::path& folder : {dir.path(), bin()}) {
            std::error_code ec;
            for (const auto& e : fs::directory_iterator(folder, ec))
                EXPECT_NE(e.path().filename().string().front(), '.') << e.path();
        }
        EXPECT_FALSE(fs::exists(bin() / "Bin.sx"));
    }

    test::TempDir dir;
    Banks banks;
    RecordingSink sink;
    CountingProgress progress;
};

TEST(BankRecords, ChecksumsOfEmptyBanks) {
    Banks banks;
    const auto one = lines_of(bank_records(banks.bank(1), 1));
    ASSERT_EQ(one.size(), 512u);
    EXPECT_EQ(one[0], "S224388000" + std::string(64, '0') + "23");
    EXPECT_EQ(one[1], "S224388020" + std::string(64, '0') + "03");
    EXPECT_EQ(one[511].substr(0, 10), "S22438BFE0");
    EXPECT_EQ(lines_of(bank_records(banks.bank(2), 2))[0],
              "S224398000" + std::string(64, '0') + "22");
    banks.bank(1)[31] = 0xFF;
    EXPECT_EQ(lines_of(bank_records(banks.bank(1), 1))[0],
              "S224388000" + std::string(62, '0') + "FF24");
}

TEST_F(Merge, BankRecordsTakeThePlaceOfTheFirstRecordOfTheirPage) {
    ASSERT_TRUE(merge("S00600004844521B|S1051000AABB8F|" + s2(0x208000) + "|" + s2(0x388000) + "|" +
                      s2(0x388020) + "|S5030004F8|" + s2(0x398000) + "|" + s2(0x39BFFE) + "|" +
                      s2(0x3A8000) + "|S9030000FC"));
    std::vector<std::string> expected = {"S00600004844521B", "S1051000AABB8F", s2(0x208000)};
    const auto b1 = bank_lines(1), b2 = bank_lines(2);
    expected.insert(expected.end(), b1.begin(), b1.end());
    expected.push_back("S5030004F8");
    expected.insert(expected.end(), b2.begin(), b2.end());
    expected.push_back(s2(0x3A8000)); // bank 3's page is left as the base image has it
    expected.push_back("S9030000FC");
    EXPECT_EQ(lines_of(read_text(output())), expected);
    EXPECT_TRUE(sink.entries.empty());
    expect_no_temporary_files();
    EXPECT_EQ(progress.maximum, 512 + 520); // pass 2 reads the 520 lines pass 1 wrote
    EXPECT_EQ(progress.value, progress.maximum);
}

TEST_F(Merge, ABank2RecordBeforeTheBank1RecordsIsReplacedAtItsOwnPlace) {
    ASSERT_TRUE(merge("S0030000FC|" + s2(0x398000) + "|" + s2(0x208000) + "|" + s2(0x388000) + "|" +
                      s2(0x39BFE0) + "|S9030000FC"));
    std::vector<std::string> expected = {"S0030000FC"};
    const auto b1 = bank_lines(1), b2 = bank_lines(2);
    expected.insert(expected.end(), b2.begin(), b2.end());
    expected.push_back(s2(0x208000));
    expected.insert(expected.end(), b1.begin(), b1.end());
    expected.push_back("S9030000FC");
    EXPECT_EQ(lines_of(read_text(output())), expected);
}

TEST_F(Merge, APageEndsAtItsLastAddressInclusive) {
    // The last address of each page is replaced; the addresses just outside it are kept.
    ASSERT_TRUE(merge("S0030000FC|" + s2(0x387FFF) + "|" + s2(0x388000) + "|" + s2(0x38BFFF) + "|" +
                      s2(0x38C000) + "|" + s2(0x398000) + "|" + s2(0x39BFFF) + "|" + s2(0x39C000) +
                      "|S9030000FC"));
    std::vector<std::string> expected = {"S0030000FC", s2(0x387FFF)};
    const auto b1 = bank_lines(1), b2 = bank_lines(2);
    expected.insert(expected.end(), b1.begin(), b1.end());
    expected.push_back(s2(0x38C000));
    expected.insert(expected.end(), b2.begin(), b2.end());
    expected.push_back(s2(0x39C000));
    expected.push_back("S9030000FC");
    const auto merged = lines_of(read_text(output()));
    ASSERT_EQ(merged.size(), expected.size());
    EXPECT_EQ(merged, expected);

    // A page's last address alone is enough for the bank to be inserted there.
    ASSERT_TRUE(merge(s2(0x38BFFF) + "|" + s2(0x39BFFF) + "|S9030000FC"));
    const auto lines = lines_of(read_text(output()));
    ASSERT_EQ(lines.size(), 1025u);
    EXPECT_EQ(lines[0], b1[0]);
    EXPECT_EQ(lines[512], b2[0]);
}

TEST_F(Merge, PassResultsAndAPageMissingFromTheBase) {
    write_text(base(), join({s2(0x398000), s2(0x388000), "S9030000FC"}));
    const fs::path stage = dir.path() / "stage.sx";
    EXPECT_EQ(merge_bank(1, base(), stage, bin(), sink, progress), 1);
    EXPECT_EQ(merge_bank(3, base(), stage, bin(), sink, progress), 0);
    write_text(base(), join({s2(0x388000)}));
    EXPECT_TRUE(sink.entries.empty());
    fs::remove(stage);
    EXPECT_EQ(merge_bank(1, base(), stage, bin(), sink, progress), -1); // no S9 line
    EXPECT_EQ(sink.texts(),
              std::vector<std::string>{"File base.sx has no S9 end record,Abort Procedure"});
    EXPECT_FALSE(fs::exists(stage));

    // Without bank 1's page only bank 2 is inserted, at its own record's place, and the merge
    // says which bank is missing.
    sink.entries.clear();
    write_text(base(), join({s2(0x398000), s2(0x208000), "S9030000FC"}));
    ASSERT_EQ(merge_all(base(), bin(), dir.path(), "New_base.sx", sink, progress),
              MergeOutcome::MergedWithoutABank);
    EXPECT_EQ(sink.texts(), std::vector<std::string>{"Bank 1 was not inserted: base.sx has no S2 "
                                                     "records in its page (0x388000 to 0x38BFFF)"});
    const auto lines = lines_of(read_text(output()));
    ASSERT_EQ(lines.size(), 514u);
    EXPECT_EQ(lines[0], bank_lines(2)[0]);
    EXPECT_EQ(lines[512], s2(0x208000));
}

TEST_F(Merge, LfAndCrLfImagesGiveTheSameOutputAndEmptyLinesAreCopied) {
    const std::string image = "S0030000FC||" + s2(0x388000) + "|S9030000FC";
    ASSERT_TRUE(merge(image, "\n"));
    const std::string from_lf = read_text(output());
    ASSERT_TRUE(merge(image, "\r\n"));
    EXPECT_EQ(read_text(output()), from_lf);
    EXPECT_EQ(lines_of(from_lf)[1], "");
    // A last line without a line end is still a line.
    write_text(base(), "S0030000FC\n" + s2(0x388000) + "\n" + s2(0x398000) + "\nS9030000FC");
    ASSERT_EQ(merge_all(base(), bin(), dir.path(), "New_base.sx", sink, progress),
              MergeOutcome::Merged);
    EXPECT_EQ(lines_of(read_text(output())).back(), "S9030000FC");
}

TEST_F(Merge, FailuresStopTheChainAndLeaveAnEarlierOutputAsItWas) {
    write_text(output(), "earlier");
    struct Case {
        std::string image;
        std::vector<std::string> messages;
    };
    const std::vector<Case> cases = {
        {s2(0x388000), {"File base.sx has no S9 end record,Abort Procedure"}},
        {"S0030000FC|S2053880|S9030000FC", {"File New Sx Not Create,Abort Procedure"}},
        {"S2|S9030000FC", {"File New Sx Not Create,Abort Procedure"}},
        {"S205388G00EEEE00|S9030000FC", {"File New Sx Not Create,Abort Procedure"}},
        {"S1|S9030000FC", {"File New Sx Not Create,Abort Procedure"}},
    };
    for (const Case& c : cases) {
        sink.entries.clear();
        EXPECT_FALSE(merge(c.image)) << c.image;
        EXPECT_EQ(sink.texts(), c.messages) << c.image;
        EXPECT_EQ(read_text(output()), "earlier");
        expect_no_temporary_files();
    }
}

TEST_F(Merge, MissingInputsGiveTheirMessages) {
    const std::string image = s2(0x388000) + "|S9030000FC";
    fs::remove(bin() / "bank2.bin");
    EXPECT_FALSE(merge(image));
    EXPECT_EQ(sink.texts(), std::vector<std::string>{"File bank2.bin Not Found,Abort Procedure"});
    EXPECT_FALSE(fs::exists(output()));
    expect_no_temporary_files();

    sink.entries.clear();
    write_text(bin() / "bank2.bin", std::string(kBankSize - 1, '\0'));
    EXPECT_FALSE(merge(image));
    EXPECT_EQ(sink.texts(),
              std::vector<std::string>{"File bank2.bin shorter than 16384 bytes,Abort Procedure"});

    sink.entries.clear();
    EXPECT_EQ(merge_all(dir.path() / "none.sx", bin(), dir.path(), "New_base.sx", sink, progress),
              MergeOutcome::Failed);
    EXPECT_EQ(sink.texts(), std::vector<std::string>{"File *.Sx Not Found,Abort Procedure"});

    sink.entries.clear();
    fs::remove_all(bin());
    EXPECT_FALSE(merge(image));
    EXPECT_EQ(sink.texts(), std::vector<std::string>{"Directory Bin Not Found,Abort Procedure"});
    expect_no_temporary_files();
}

} // namespace
} // namespace mk
