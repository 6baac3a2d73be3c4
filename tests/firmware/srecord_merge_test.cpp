#include <gtest/gtest.h>

#include <cstdio>

#include "firmware/output_set.h"
#include "firmware/srecord_merge.h"
#include "firmware_test_support.h"
#include "image/banks.h"
#include "test_dir.h"
#include "test_files.h"

namespace mk {
namespace {

namespace fs = std::filesystem;
using test::read_file;
using test::write_file;

std::string s2(std::uint32_t address, std::uint8_t fill = 0xEE) {
    unsigned sum = 0x06 + (address >> 16) + ((address >> 8) & 0xFF) + (address & 0xFF) + 2 * fill;
    char line[32];
    std::snprintf(line, sizeof line, "S206%06X%02X%02X%02X", address, fill, fill, ~sum & 0xFF);
    return line;
}

// A record of any type with its own count and checksum, upper-case digits.
std::string rec(char type, std::uint32_t address, const std::vector<std::uint8_t>& data) {
    const int address_bytes = type == '3' ? 4 : type == '2' ? 3 : 2;
    const unsigned count = static_cast<unsigned>(address_bytes + data.size() + 1);
    unsigned sum = count;
    std::string out = "S" + std::string(1, type);
    char hex[12];
    std::snprintf(hex, sizeof hex, "%02X", count);
    out += hex;
    for (int i = address_bytes - 1; i >= 0; --i) {
        std::snprintf(hex, sizeof hex, "%02X", (address >> (8 * i)) & 0xFF);
        out += hex;
        sum += (address >> (8 * i)) & 0xFF;
    }
    for (const std::uint8_t b : data) {
        std::snprintf(hex, sizeof hex, "%02X", b);
        out += hex;
        sum += b;
    }
    std::snprintf(hex, sizeof hex, "%02X", ~sum & 0xFF);
    return out + hex;
}

std::vector<std::uint8_t> filled(std::size_t n, std::uint8_t byte) {
    return std::vector<std::uint8_t>(n, byte);
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
            write_file(bin() / ("bank" + std::to_string(n) + ".bin"),
                       std::string(reinterpret_cast<const char*>(b.data()), b.size()));
        }
    }
    fs::path bin() const { return dir.path() / "bin"; }
    fs::path base() const { return dir.path() / "base.sx"; }
    fs::path output() const { return dir.path() / "New_base.sx"; }
    bool merge(const std::string& image, const char* eol = "\r\n") {
        write_file(base(), join(lines_from(image), eol));
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
    ASSERT_TRUE(merge("S00600004844521B|S1051000AABB85|" + s2(0x208000) + "|" + s2(0x388000) + "|" +
                      s2(0x388020) + "|S5030004F8|" + s2(0x398000) + "|" + s2(0x39BFFE) + "|" +
                      s2(0x3A8000) + "|S9030000FC"));
    std::vector<std::string> expected = {"S00600004844521B", "S1051000AABB85", s2(0x208000)};
    const auto b1 = bank_lines(1), b2 = bank_lines(2);
    expected.insert(expected.end(), b1.begin(), b1.end());
    expected.push_back("S5030004F8");
    expected.insert(expected.end(), b2.begin(), b2.end());
    expected.push_back(s2(0x3A8000)); // bank 3's page is left as the base image has it
    expected.push_back("S9030000FC");
    EXPECT_EQ(lines_of(read_file(output())), expected);
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
    EXPECT_EQ(lines_of(read_file(output())), expected);
}

TEST_F(Merge, APageEndsAtItsLastAddressInclusive) {
    // The last address of each page is replaced; the addresses just outside it are kept. Each
    // record holds one byte, so none of them runs over a page's edge.
    const auto one = [](std::uint32_t address) { return rec('2', address, {0xEE}); };
    ASSERT_TRUE(merge("S0030000FC|" + one(0x387FFF) + "|" + one(0x388000) + "|" + one(0x38BFFF) +
                      "|" + one(0x38C000) + "|" + one(0x398000) + "|" + one(0x39BFFF) + "|" +
                      one(0x39C000) + "|S9030000FC"));
    std::vector<std::string> expected = {"S0030000FC", one(0x387FFF)};
    const auto b1 = bank_lines(1), b2 = bank_lines(2);
    expected.insert(expected.end(), b1.begin(), b1.end());
    expected.push_back(one(0x38C000));
    expected.insert(expected.end(), b2.begin(), b2.end());
    expected.push_back(one(0x39C000));
    expected.push_back("S9030000FC");
    const auto merged = lines_of(read_file(output()));
    ASSERT_EQ(merged.size(), expected.size());
    EXPECT_EQ(merged, expected);

    // A page's last address alone is enough for the bank to be inserted there.
    ASSERT_TRUE(merge(one(0x38BFFF) + "|" + one(0x39BFFF) + "|S9030000FC"));
    const auto lines = lines_of(read_file(output()));
    ASSERT_EQ(lines.size(), 1025u);
    EXPECT_EQ(lines[0], b1[0]);
    EXPECT_EQ(lines[512], b2[0]);
}

TEST_F(Merge, PassResultsAndAPageMissingFromTheBase) {
    write_file(base(), join({s2(0x398000), s2(0x388000), "S9030000FC"}));
    const fs::path stage = dir.path() / "stage.sx";
    EXPECT_EQ(merge_bank(1, base(), stage, bin(), sink, progress), 1);
    EXPECT_EQ(merge_bank(3, base(), stage, bin(), sink, progress), 0);
    write_file(base(), join({s2(0x388000)}));
    EXPECT_TRUE(sink.entries.empty());
    fs::remove(stage);
    EXPECT_EQ(merge_bank(1, base(), stage, bin(), sink, progress), -1); // no S9 line
    EXPECT_EQ(sink.texts(),
              std::vector<std::string>{"File base.sx has no S9 end record,Abort Procedure"});
    EXPECT_FALSE(fs::exists(stage));

    // Without bank 1's page only bank 2 is inserted, at its own record's place, and the merge
    // says which bank is missing.
    sink.entries.clear();
    write_file(base(), join({s2(0x398000), s2(0x208000), "S9030000FC"}));
    ASSERT_EQ(merge_all(base(), bin(), dir.path(), "New_base.sx", sink, progress),
              MergeOutcome::MergedWithoutABank);
    EXPECT_EQ(sink.texts(), std::vector<std::string>{"Bank 1 was not inserted: base.sx has no S2 "
                                                     "records in its page (0x388000 to 0x38BFFF)"});
    const auto lines = lines_of(read_file(output()));
    ASSERT_EQ(lines.size(), 514u);
    EXPECT_EQ(lines[0], bank_lines(2)[0]);
    EXPECT_EQ(lines[512], s2(0x208000));
}

TEST_F(Merge, LfAndCrLfImagesGiveTheSameOutputAndAnEmptyLastLineIsCopied) {
    const std::string image = "S0030000FC|" + s2(0x388000) + "|S9030000FC|";
    ASSERT_TRUE(merge(image, "\n"));
    const std::string from_lf = read_file(output());
    ASSERT_TRUE(merge(image, "\r\n"));
    EXPECT_EQ(read_file(output()), from_lf);
    EXPECT_EQ(lines_of(from_lf).back(), "");
    // A last line without a line end is still a line.
    write_file(base(), "S0030000FC\n" + s2(0x388000) + "\n" + s2(0x398000) + "\nS9030000FC");
    ASSERT_EQ(merge_all(base(), bin(), dir.path(), "New_base.sx", sink, progress),
              MergeOutcome::Merged);
    EXPECT_EQ(lines_of(read_file(output())).back(), "S9030000FC");
}

// Every line of the base image is checked before anything is written: a damaged line anywhere
// stops the merge, names the line and the fault, and leaves an earlier output as it was.
TEST_F(Merge, ADamagedLineAnywhereStopsTheMergeAndIsNamed) {
    struct Row {
        const char* name;
        std::string damaged; // stands between the header and the page records
        std::string fault;
    };
    const std::string ten_mb(10'000'000, '0');
    const std::vector<Row> rows = {
        {"bad checksum", "S206208000EEEE7E", "line 2: bad checksum 0x7E, the bytes give 0x7D"},
        {"non-hex data byte", "S206208000EGEE7D",
         "line 2: a character that is not a hexadecimal digit at column 12"},
        {"NUL byte", std::string("S206208000EE\0E7D", 16),
         "line 2: a character that is not a hexadecimal digit at column 13 (a NUL byte)"},
        {"wrong byte count", "S205208000EEEE7D",
         "line 2: the record's length does not match its byte count (the file may be cut short)"},
        {"cut record", "S2053880",
         "line 2: the record's length does not match its byte count (the file may be cut short)"},
        {"type alone", "S1",
         "line 2: the record's length does not match its byte count (the file may be cut short)"},
        {"non-hex address", "S205388G00EEEE00",
         "line 2: a character that is not a hexadecimal digit at column 8"},
        {"no room for the address", "S2030000FC",
         "line 2: the record is too short for its address"},
        {"S4 record", "S4030000FC", "line 2: an S4 record, a type that S-record files do not use"},
        {"trailing space", "S206208000EEEE7D ",
         "line 2: a character that is not a hexadecimal digit at column 17 (a space)"},
        {"CR CR LF line end", "S206208000EEEE7D\r",
         "line 2: a character that is not a hexadecimal digit at column 17 (a carriage return)"},
        {"blank line", "", "line 2: an empty line (only the last line may be empty)"},
        {"garbage line", "hello", "line 2: not an S-record"},
        {"lower-case record in a page", "s206388000EEEE19",
         "line 2: not an S-record (a lower-case \"s\": records start with \"S\")"},
        {"indented record in a page", " " + s2(0x388000),
         "line 2: not an S-record (it starts with a space)"},
        {"end-of-file character", "\x1A", "line 2: not an S-record (it starts with the byte 0x1A)"},
        {"10 MB line", "S2" + ten_mb,
         "line 2: the line is 10000002 characters long; an S-record has at most 514"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        write_file(output(), "earlier");
        sink.entries.clear();
        EXPECT_FALSE(merge("S0030000FC|" + row.damaged + "|" + s2(0x388000) + "|" + s2(0x398000) +
                           "|S9030000FC"));
        EXPECT_EQ(sink.texts(),
                  std::vector<std::string>{"File New Sx Not Create,Abort Procedure\nbase.sx, " +
                                           row.fault});
        EXPECT_EQ(read_file(output()), "earlier");
        expect_no_temporary_files();
    }
    // The first line and the last line are checked as well.
    sink.entries.clear();
    EXPECT_FALSE(merge("\xEF\xBB\xBFS0030000FC|" + s2(0x388000) + "|S9030000FC"));
    EXPECT_EQ(sink.texts().back(), "File New Sx Not Create,Abort Procedure\nbase.sx, line 1: not "
                                   "an S-record (it starts with a UTF-8 byte-order mark)");
    sink.entries.clear();
    EXPECT_FALSE(merge("S0030000FC|" + s2(0x388000) + "|S9030000"));
    EXPECT_EQ(sink.texts().back(), "File New Sx Not Create,Abort Procedure\nbase.sx, line 3: the "
                                   "record's length does not match its byte count (the file may be "
                                   "cut short)");
    sink.entries.clear();
    EXPECT_FALSE(merge(s2(0x388000)));
    EXPECT_EQ(sink.texts(),
              std::vector<std::string>{"File base.sx has no S9 end record,Abort Procedure"});
}

// Data after the end record never reaches the device, whatever its address size; the message
// names the first end record.
TEST_F(Merge, DataAfterTheEndRecordIsRefusedAtTheFirstEndRecord) {
    struct Row {
        const char* name;
        std::string tail; // after the page records
        std::size_t end_line;
    };
    const std::vector<Row> rows = {
        {"S1 after S9", "S9030000FC|" + rec('1', 0x1000, {0xAA}), 4},
        {"S2 after S9", "S9030000FC|" + rec('2', 0x208000, {0xAA}), 4},
        {"S3 after S9", "S9030000FC|" + rec('3', 0x01000000, {0xAA}), 4},
        {"S3 after two S9 lines", "S9030000FC|S9030000FC|" + rec('3', 0x01000000, {0xAA}), 4},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        write_file(output(), "earlier");
        sink.entries.clear();
        EXPECT_FALSE(merge("S0030000FC|" + s2(0x388000) + "|" + s2(0x398000) + "|" + row.tail));
        EXPECT_EQ(sink.texts(), std::vector<std::string>{
                                    "File base.sx has records after its S9 end record (line " +
                                    std::to_string(row.end_line) + "),Abort Procedure"});
        EXPECT_EQ(read_file(output()), "earlier");
    }
}

// The merge is a build step: while another build holds the project it writes nothing.
TEST_F(Merge, AMergeWhileTheProjectIsLockedSaysAnotherBuildIsRunning) {
    const std::string image = "S0030000FC|" + s2(0x388000) + "|" + s2(0x398000) + "|S9030000FC";
    write_file(output(), "earlier");
    {
        const auto held = ProjectLock::take(dir.path());
        ASSERT_TRUE(held);
        EXPECT_FALSE(merge(image));
        EXPECT_EQ(sink.texts(), std::vector<std::string>{kMsgBuildRunning});
        EXPECT_EQ(read_file(output()), "earlier");
    }
    EXPECT_TRUE(merge(image));
}

// Old data never survives inside a page, whatever the record type; bytes outside a page are
// kept, in a record of their own type when their record ran into the page.
TEST_F(Merge, RecordsOverlappingAPageAreSplitAtItsEdge) {
    struct Row {
        const char* name;
        std::vector<std::string> base;     // between the header and the end record
        std::vector<std::string> expected; // "bank1" and "bank2" stand for the bank's records
    };
    const std::vector<Row> rows = {
        {"S2 running into bank 1's page",
         {rec('2', 0x387FF0, filled(32, 0xAA)), s2(0x398000)},
         {rec('2', 0x387FF0, filled(16, 0xAA)), "bank1", "bank2"}},
        {"S2 running out of bank 1's page",
         {rec('2', 0x38BFF0, filled(32, 0xBB)), s2(0x398000)},
         {"bank1", rec('2', 0x38C000, filled(16, 0xBB)), "bank2"}},
        {"S3 inside bank 1's page",
         {s2(0x208000), rec('3', 0x00388000, filled(4, 0xCC)), s2(0x398000)},
         {s2(0x208000), "bank1", "bank2"}},
        {"S3 across bank 2's first address",
         {s2(0x388000), rec('3', 0x00397FF8, filled(16, 0xDD))},
         {"bank1", rec('3', 0x00397FF8, filled(8, 0xDD)), "bank2"}},
        {"S3 across bank 2's last address, after its page records",
         {s2(0x388000), s2(0x398000), rec('3', 0x0039BFFC, filled(8, 0xEE))},
         {"bank1", "bank2", rec('3', 0x0039C000, filled(4, 0xEE))}},
        {"S1 records lie below every page",
         {rec('1', 0x8000, filled(4, 0x11)), s2(0x388000), s2(0x398000)},
         {rec('1', 0x8000, filled(4, 0x11)), "bank1", "bank2"}},
        {"a record without data in a page",
         {rec('2', 0x388000, {}), s2(0x398000)},
         {"bank1", "bank2"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        sink.entries.clear();
        std::string image = "S0030000FC";
        for (const std::string& line : row.base)
            image += "|" + line;
        ASSERT_TRUE(merge(image + "|S9030000FC"));
        std::vector<std::string> expected = {"S0030000FC"};
        for (const std::string& line : row.expected) {
            if (line == "bank1" || line == "bank2") {
                const auto bank = bank_lines(line == "bank1" ? 1 : 2);
                expected.insert(expected.end(), bank.begin(), bank.end());
            } else {
                expected.push_back(line);
            }
        }
        expected.push_back("S9030000FC");
        EXPECT_EQ(lines_of(read_file(output())), expected);
        EXPECT_TRUE(sink.entries.empty()) << sink.texts().front();
    }
}

// The read-back proof, on images a faulty merge could make from one base image: only the image
// with the banks in their pages and every other byte and line of the base image passes.
TEST(MergeProof, AnImageThatIsNotTheBaseWithTheBanksIsRefused) {
    const std::vector<std::uint8_t> b1(kBankSize, 0x11), b2(kBankSize, 0x22), zero(kBankSize, 0);
    const BankRecords bank1 = make_bank_records(b1, 1), bank2 = make_bank_records(b2, 2);
    const auto line = [](const std::string& l) { return l + "\r\n"; };
    const std::string head = line("S0030000FC"), count = line("S5030004F8"),
                      end = line("S9030000FC");
    const std::string into = line(rec('2', 0x387FF0, filled(32, 0xAA)));
    const std::string out_of = line(rec('2', 0x38BFF0, filled(32, 0xBB)));
    const std::string kept_before = line(rec('2', 0x387FF0, filled(16, 0xAA)));
    const std::string kept_after = line(rec('2', 0x38C000, filled(16, 0xBB)));
    const std::string base = head + into + out_of + count + line(s2(0x398000)) + end;
    const std::string right =
        head + kept_before + bank1.text + kept_after + count + bank2.text + end;
    struct Row {
        const char* name;
        std::string image;
        std::string wrong;
        bool bank2_inserted = true;
    };
    const std::vector<Row> rows = {
        {"the right image", right, ""},
        {"old data kept beside the bank",
         head + into + bank1.text + kept_after + count + bank2.text + end,
         "address 0x388000 of the bank 1 page is written more than once"},
        {"bytes outside the page dropped",
         head + kept_before + bank1.text + count + bank2.text + end,
         "outside the bank pages, the base image's byte at 0x38C000 is missing from the new image"},
        {"an outside byte changed",
         head + kept_before + bank1.text + line(rec('2', 0x38C000, filled(16, 0xBC))) + count +
             bank2.text + end,
         "outside the bank pages, address 0x38C000 holds 0xBC where the base image has 0xBB"},
        {"a page byte that is not the bank's",
         head + kept_before + make_bank_records(zero, 1).text + kept_after + count + bank2.text +
             end,
         "address 0x388000 holds 0x00 where bank 1 has 0x11"},
        {"a line without data dropped",
         head + kept_before + bank1.text + kept_after + bank2.text + end,
         "the base image's line \"S5030004F8\" is not in its place in the new image"},
        {"a damaged line", head + "S2!!\r\n" + right.substr(head.size()),
         "line 2 of the new image: a character that is not a hexadecimal digit at column 3"},
        {"data in the page of a bank that was not inserted", right,
         "address 0x398000 of the bank 2 page holds 0x22, which is not the bank's", false},
    };
    std::vector<std::string_view> lines;
    split_lines(base, lines);
    std::vector<LineRecord> records;
    ImageContent outside;
    const int banks[] = {1, 2};
    ASSERT_EQ(check_base_image(lines, banks, records, outside).result, 0);
    MergeScratch scratch;
    for (const Row& row : rows) {
        const PageCheck checks[] = {{&bank1, true}, {&bank2, row.bank2_inserted}};
        EXPECT_EQ(prove_merged_image(row.image, checks, outside, scratch), row.wrong) << row.name;
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
    write_file(bin() / "bank2.bin", std::string(kBankSize - 1, '\0'));
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
