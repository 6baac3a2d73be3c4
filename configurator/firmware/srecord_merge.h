#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>

#include "core/message_sink.h"
#include "firmware/merge_core.h"
#include "firmware/output_set.h"

namespace mk {

inline constexpr std::string_view kMsgSxNotFound = "File *.Sx Not Found,Abort Procedure";
inline constexpr std::string_view kMsgNewSxNotFound = "File New *.Sx Not Found,Abort Procedure";
inline constexpr std::string_view kMsgBinDirNotFound = "Directory Bin Not Found,Abort Procedure";
inline constexpr std::string_view kMsgNewSxNotCreate = "File New Sx Not Create,Abort Procedure";
inline constexpr std::string_view kMsgNoBankInserted =
    "No bank was inserted: no new image was made,Abort Procedure";

// "File bank1.bin Not Found,Abort Procedure" and so on.
std::string bank_file_not_found_message(int bank);
// A bank file shorter than a bank cannot be merged: its missing bytes would reach the device as
// whatever happened to be there.
std::string bank_file_short_message(int bank);
// "File <image> has no S9 end record,Abort Procedure": without it the merge cannot tell a whole
// image from a cut one. An image whose lines end in CR alone has its S9 record inside one long
// line, and the message says so.
std::string no_end_record_message(const std::string& image_name, bool cr_line_ends);
// "File <image> has records after its S9 end record (line N),Abort Procedure": a loader ends at
// the first end record, so the image would reach the device cut short.
std::string record_after_end_message(const std::string& image_name, std::size_t end_line);
// "Bank 1 was not inserted: <image> has no S2 records in its page (0x388000 to 0x38BFFF)".
std::string bank_not_inserted_message(int bank, const std::string& image_name);
// A line of the base image that is not a well-formed S-record: "File New Sx Not Create,Abort
// Procedure", then "<image>, line <n>: <fault>".
std::string damaged_line_message(const std::string& image_name, std::size_t line,
                                 const LineFault& fault);
// "File New Sx Not Create,Abort Procedure" for an input file that cannot be read, with the reason
// on a line of its own.
std::string cannot_read_message(const std::filesystem::path& file, const std::error_code& why);
// "File New Sx Not Create,Abort Procedure" for a merged image that cannot be written, with the
// file and the system's reason on a line of its own.
std::string output_not_created_message(const OutputError& e);
// A merged image that its read-back does not prove right: "File New Sx Not Create,Abort
// Procedure", then what is wrong.
std::string image_not_proved_message(const std::string& image_name, const std::string& wrong);

// How a merge ended. Only the first two leave a new image.
enum class MergeOutcome {
    Merged,             // both banks are in the new image
    MergedWithoutABank, // the new image holds one bank; the base image had no page for the other
    NoBankInserted,     // the base image has a page for neither bank: no new image
    Failed,             // a pass stopped or a file could not be read or written: no new image
};

inline bool image_made(MergeOutcome o) {
    return o == MergeOutcome::Merged || o == MergeOutcome::MergedWithoutABank;
}

struct MergedImage {
    MergeOutcome outcome = MergeOutcome::Failed;
    std::string text; // the new image, when one is made
};

// Both passes over a base image held in memory, with the merge's messages. Every line of the base
// image is checked first: a damaged line, a missing S9 line or a data record after it gives
// Failed. Each bank that was not inserted is named; with neither inserted the merge ends with
// "No bank was inserted...". The new image is then read back and must hold exactly the banks in
// their pages and the base image's bytes everywhere else; otherwise it is Failed too.
// `image_name` names the base image in messages.
MergedImage merge_image_text(std::string_view base, const std::string& image_name,
                             std::span<const std::uint8_t> bank1,
                             std::span<const std::uint8_t> bank2, MessageSink& sink,
                             MergeProgress& progress);

// One pass from files: replaces the records of bank `bank`'s page in `input` with the 512
// records of bin/bank<bank>.bin and writes `output`, but only when the pass gives a result.
// Returns -1 when the pass stopped (with its message; `output` is left as it was), 0 when no
// record of the page came before the last "S9" line, 1 when the bank was inserted.
int merge_bank(int bank, const std::filesystem::path& input, const std::filesystem::path& output,
               const std::filesystem::path& bank_dir, MessageSink& sink, MergeProgress& progress);

// The whole merge as the firmware window runs it: bank1.bin and bank2.bin from `bank_dir` into
// the base image, giving `output_name` in the project directory; banks 3 to 5 keep what the
// base image holds. The merge runs in memory and writes nothing but the output, which is
// replaced only when a new image is made: with any other outcome an output of an earlier run
// stays as it was.
MergeOutcome merge_all(const std::filesystem::path& base_image,
                       const std::filesystem::path& bank_dir,
                       const std::filesystem::path& project_dir, const std::string& output_name,
                       MessageSink& sink, MergeProgress& progress);

// Reads a whole file of at most `limit` bytes; nothing when it cannot be read or is larger, with
// the reason in `why` (std::errc::file_too_large for a larger file) when it is given.
std::optional<std::string> read_file_limited(const std::filesystem::path& path,
                                             std::uintmax_t limit, std::error_code* why = nullptr);

// Firmware images are a few hundred kilobytes; anything far larger is not one.
inline constexpr std::uintmax_t kMaxImageSize = 256u * 1024u * 1024u;

} // namespace mk
