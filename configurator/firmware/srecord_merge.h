#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "core/message_sink.h"

namespace mk {

inline constexpr std::string_view kMsgSxNotFound = "File *.Sx Not Found,Abort Procedure";
inline constexpr std::string_view kMsgNewSxNotFound = "File New *.Sx Not Found,Abort Procedure";
inline constexpr std::string_view kMsgBinDirNotFound = "Directory Bin Not Found,Abort Procedure";
inline constexpr std::string_view kMsgNewSxNotCreate = "File New Sx Not Create,Abort Procedure";

// "File bank1.bin Not Found,Abort Procedure" and so on.
std::string bank_file_not_found_message(int bank);
// A bank file shorter than a bank cannot be merged: its missing bytes would reach the device as
// whatever happened to be there.
std::string bank_file_short_message(int bank);

// Banks 1 to 5 occupy 0x388000-0x38BFFF, 0x398000-0x39BFFF, ... in the S-record address space.
std::uint32_t bank_first_address(int bank);
std::uint32_t bank_last_address(int bank);

// The 512 S224 records that carry one bank, each followed by CR LF.
std::string bank_records(std::span<const std::uint8_t> bank, int bank_number);

// Temporary stage file of a pass: the degree sign (UTF-8), "B", the bank number, the degree
// sign and ".sx".
std::string stage_file_name(int bank);

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

// One pass: replaces the records of bank `bank`'s page in `input` with the 512 records of
// bin/bank<bank>.bin, at the place of the page's first record, and writes `output`. Returns -1
// when the pass stopped early or the input had no "S9" line, 0 when no record of the page came
// before the "S9" line (the bank was not inserted), 1 when the bank was inserted.
//
// Lines may end in CR LF or LF; every line written ends in CR LF. An "S2" line carries a 24-bit
// address in characters 5 to 10; an "S1" line a 16-bit address in characters 5 to 8, which
// never lies in a bank page, so S1 lines are always copied. An S1 or S2 line too short to hold
// its address, or whose address is not hexadecimal, stops the pass with "File New Sx Not
// Create,Abort Procedure". Empty lines and lines of other types are copied unchanged.
int merge_bank(int bank, const std::filesystem::path& input, const std::filesystem::path& output,
               const std::filesystem::path& bank_dir, MessageSink& sink, MergeProgress& progress);

// The whole merge: bank 1 into the base image, bank 2 into that, banks 3 to 5 passed through,
// giving `output_name` in the project directory. The output is replaced only when every pass
// succeeded; the stage files are removed in every case. Returns whether this run produced the
// output file.
bool merge_all(const std::filesystem::path& base_image, const std::filesystem::path& bank_dir,
               const std::filesystem::path& project_dir, const std::string& output_name,
               MessageSink& sink, MergeProgress& progress);

} // namespace mk
