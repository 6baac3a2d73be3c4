#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "firmware/srecord_line.h"

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

// The S224 records that carry one bank, 32 bytes each, each followed by CR LF: 512 of them for a
// whole bank.
std::string bank_records(std::span<const std::uint8_t> bank, int bank_number);

// The lines of S-record text: split at LF, with a CR before the LF dropped. A last line without
// a line end is still a line; a text that ends in a line end has no empty line after it. The
// views point into `text`. `lines` is cleared first, so a caller may reuse it.
void split_lines(std::string_view text, std::vector<std::string_view>& lines);

// What the merge knows of one line once it has been read: its record type, address and number
// of data bytes. The empty last line of a file has the type 0.
struct LineRecord {
    std::uint32_t address = 0;
    std::uint8_t data_size = 0;
    std::uint8_t address_size = 0;
    char type = 0;

    bool carries_data() const { return type >= '1' && type <= '3'; }
};

// Lines of S-record text, each with what the merge knows of it.
struct RecordLines {
    std::vector<std::string_view> lines;
    std::vector<LineRecord> records;

    void clear() {
        lines.clear();
        records.clear();
    }
    void push_back(std::string_view line, const LineRecord& record) {
        lines.push_back(line);
        records.push_back(record);
    }
};

// A bank's records as text and as lines pointing into that text, with the bank's bytes.
struct BankRecords {
    int number = 0;
    std::vector<std::uint8_t> bytes;
    std::string text;
    RecordLines lines;
};
// `bank` holds a whole bank, or (to keep fuzzing fast) its first 32 × n bytes.
BankRecords make_bank_records(std::span<const std::uint8_t> bank, int bank_number);

// Why a pass ended without a result.
enum class PassStop {
    None,
    DamagedLine, // a line of the base image that is not a well-formed S-record
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
    // The 1-based number of the damaged line (DamagedLine), or of the first "S9" line
    // (RecordAfterEnd).
    std::size_t line = 0;
    LineFault fault; // what is wrong with the damaged line
};

// The bytes an image holds outside the pages being replaced, in the order of its records, and
// its lines that carry no data. Two images hold the same bytes outside the pages, in the same
// order, exactly when their contents are equal.
struct ImageContent {
    struct Run {
        std::uint64_t address = 0;
        std::size_t offset = 0; // into `bytes`
        std::size_t size = 0;
        bool operator==(const Run&) const = default;
    };
    std::vector<Run> runs;
    std::vector<std::uint8_t> bytes;
    std::vector<std::string_view> other_lines;

    void clear();
    void add(std::uint64_t address, const std::uint8_t* data, std::size_t size);
};

// Reads every line of a base image before anything is merged: each must be an S-record (the
// last may be empty), there must be an "S9" line, and no data record may follow one. Fills
// `records` and the content outside the pages of `banks` (in ascending order). The result is 0
// when the image can be merged, -1 with the stop otherwise.
PassOutcome check_base_image(std::span<const std::string_view> lines, std::span<const int> banks,
                             std::vector<LineRecord>& records, ImageContent& outside);

// One pass over checked lines: the data of the bank's page is replaced by the bank's records,
// which stand where the first record holding page data stood. A record partly inside the page
// keeps its bytes outside it, in records of its own type made for them (kept in `pieces`);
// every other line is kept, in order. `output` is cleared first and holds views into the
// input's text, the bank's text and `pieces`. Whenever the result is -1, `output` is empty.
PassOutcome merge_pass(const RecordLines& input, const BankRecords& bank, RecordLines& output,
                       std::deque<std::string>& pieces, MergeProgress& progress);

// The memory one merge uses; repeated merges reuse it.
struct MergeScratch {
    RecordLines base;
    RecordLines after_pass1;
    RecordLines merged;
    std::deque<std::string> pieces;
    ImageContent base_outside;
    std::vector<std::uint8_t> page_bytes;
    std::vector<std::uint8_t> page_writes;
};

// The base image checked, then both passes: bank 1 into the base image, bank 2 into that. Pass
// 2 runs only when pass 1 gave a result; `scratch.merged` holds the image's lines when both did.
struct ImageMerge {
    PassOutcome pass1;
    PassOutcome pass2;
    bool complete() const { return pass1.result >= 0 && pass2.result >= 0; }
};
ImageMerge merge_image(std::string_view base, const BankRecords& bank1, const BankRecords& bank2,
                       MergeScratch& scratch, MergeProgress& progress);

// The lines joined into image text, every line followed by CR LF.
std::string join_lines(std::span<const std::string_view> lines);

// What a merged image must hold in one bank page: the bank's bytes, once each, when it was
// inserted; nothing when it was not.
struct PageCheck {
    const BankRecords* bank;
    bool inserted;
};

// Reads `image` back as the image reader does and proves it: each page of `pages` holds what
// its check says; outside them it holds the bytes of the base image (`base_outside`, made by
// check_base_image for the same pages), in the same order, and the same lines without data.
// Returns what is wrong; empty when the image is right.
std::string prove_merged_image(std::string_view image, std::span<const PageCheck> pages,
                               const ImageContent& base_outside, MergeScratch& scratch);

} // namespace mk
