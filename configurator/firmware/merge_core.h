#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace mk {

// The merge reports its progress: the bar is reset, given its maximum (512 plus the number of
// input lines), and advanced once per line read and per record inserted.
class MergeProgress {
public:
    virtual ~MergeProgress() = default;
    virtual void reset() = 0;
    virtual void set_maximum(int maximum) = 0;
    virtual void advance() = 0;
};

class NoProgress : public MergeProgress {
public:
    void reset() override {}
    void set_maximum(int) override {}
    void advance() override {}
};

inline constexpr int kRecordsPerBank = 512;

// Banks 1 to 5 occupy 0x388000-0x38BFFF, 0x398000-0x39BFFF, ... in the S-record address space.
std::uint32_t bank_first_address(int bank);
std::uint32_t bank_last_address(int bank);

// The 512 S224 records that carry one bank, each followed by CR LF.
std::string bank_records(std::span<const std::uint8_t> bank, int bank_number);

// The lines of S-record text: split at LF, with a CR before the LF dropped. A last line without
// a line end is still a line; a text that ends in a line end has no empty line after it. The
// views point into `text`. `lines` is cleared first, so a caller may reuse it.
void split_lines(std::string_view text, std::vector<std::string_view>& lines);

// A bank's records as text and as lines pointing into that text.
struct BankRecords {
    std::string text;
    std::vector<std::string_view> lines;
};
BankRecords make_bank_records(std::span<const std::uint8_t> bank, int bank_number);

// Why a pass ended without a result.
enum class PassStop {
    None,
    BadRecord,   // an S1 or S2 line too short for its address, or with a non-hexadecimal one
    NoEndRecord, // no line starting with "S9"
    // a data record ("S1", "S2" or "S3") after an "S9" line: a loader ends at the first end
    // record, so the records after it would never reach the device
    RecordAfterEnd,
};

struct PassOutcome {
    // -1: the pass stopped (see `stop`); 0: the input has no record of the bank's page, so the
    // bank was not inserted; 1: the bank was inserted.
    int result = -1;
    PassStop stop = PassStop::None;
    // The 1-based number of the line that stopped the pass (BadRecord), or of the first "S9"
    // line (RecordAfterEnd).
    std::size_t line = 0;
};

// One pass in memory: the lines of `input` with the records of bank `bank`'s page replaced by
// `records` at the place of the page's first record; every other line is kept, in order. An
// "S2" line carries a 24-bit address in characters 5 to 10, an "S1" line a 16-bit one in
// characters 5 to 8 (never in a bank page). `output` is cleared first and holds views into
// `input`'s and `records`' text. Whenever the result is -1, `output` is not an image.
PassOutcome merge_pass(std::span<const std::string_view> input, int bank,
                       std::span<const std::string_view> records,
                       std::vector<std::string_view>& output, MergeProgress& progress);

// Both passes over a base image held in memory: bank 1 into the base image, bank 2 into that.
// Pass 2 runs only when pass 1 gave a result. The scratch vectors are the caller's, so repeated
// merges reuse their memory; `merged` holds the image's lines when both passes gave a result.
struct ImageMerge {
    PassOutcome pass1;
    PassOutcome pass2;
    bool complete() const { return pass1.result >= 0 && pass2.result >= 0; }
};
ImageMerge merge_image(std::string_view base, const BankRecords& bank1, const BankRecords& bank2,
                       std::vector<std::string_view>& base_lines,
                       std::vector<std::string_view>& after_pass1,
                       std::vector<std::string_view>& merged, MergeProgress& progress);

// The lines joined into image text, every line followed by CR LF.
std::string join_lines(std::span<const std::string_view> lines);

// The value of one hexadecimal digit of an S-record line (either case), or -1.
int hex_value(char c);

} // namespace mk
