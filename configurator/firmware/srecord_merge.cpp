#include "firmware/srecord_merge.h"

#include <cerrno>
#include <cstdio>
#include <optional>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/file_kind.h"
#include "firmware/bank_outputs.h"
#include "firmware/output_set.h"
#include "image/banks.h"

namespace mk {

namespace {

namespace fs = std::filesystem;

bool file_exists(const fs::path& p) {
    std::error_code ec;
    return fs::exists(p, ec);
}

std::span<const std::uint8_t> as_bytes(const std::string& s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

// The bank file of a pass, checked as the pass checks it; nothing after its message.
std::optional<std::string> read_bank_file(int bank, const fs::path& bank_dir, MessageSink& sink) {
    const fs::path file = bank_dir / ("bank" + std::to_string(bank) + ".bin");
    if (!file_exists(file)) {
        sink.show(bank_file_not_found_message(bank), MessageKind::Error);
        return std::nullopt;
    }
    std::error_code why;
    auto bytes = read_file_limited(file, 64u * kBankSize, &why);
    if (!bytes) {
        sink.show(cannot_read_message(file, why), MessageKind::Error);
        return std::nullopt;
    }
    if (bytes->size() < kBankSize) {
        sink.show(bank_file_short_message(bank), MessageKind::Error);
        return std::nullopt;
    }
    bytes->resize(kBankSize);
    return bytes;
}

// The message of a pass that stopped.
void report_stop(const PassOutcome& pass, std::string_view base, const std::string& image_name,
                 MessageSink& sink) {
    // Lines that end in CR alone make the whole image one line, which holds no S9 line of its
    // own: that is what the user has to know, not that the line is too long.
    const bool cr_only =
        base.find('\n') == std::string_view::npos && base.find('\r') != std::string_view::npos;
    if (pass.stop == PassStop::NoEndRecord || (pass.stop == PassStop::DamagedLine && cr_only)) {
        sink.show(no_end_record_message(image_name, cr_only), MessageKind::Error);
    } else if (pass.stop == PassStop::RecordAfterEnd) {
        sink.show(record_after_end_message(image_name, pass.line), MessageKind::Error);
    } else {
        sink.show(damaged_line_message(image_name, pass.line, pass.fault), MessageKind::Error);
    }
}

void report_not_inserted(int bank, const PassOutcome& pass, const std::string& image_name,
                         MessageSink& sink) {
    if (pass.result == 0)
        sink.show(bank_not_inserted_message(bank, image_name), MessageKind::Warning);
}

// Writes one file as a set of one (with a commit record, when one is named), with the merge's
// message when it cannot be written.
bool write_output(const fs::path& path, std::string text, MessageSink& sink,
                  const fs::path& record = {}) {
    try {
        OutputSet set;
        set.add(path, std::move(text));
        if (!record.empty())
            set.record_in(record);
        set.commit();
        return true;
    } catch (const OutputError& e) {
        sink.show(output_not_created_message(e), MessageKind::Error);
        return false;
    }
}

std::string hex6(std::uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%06X", v);
    return text;
}

} // namespace

std::optional<std::string> read_file_limited(const fs::path& path, std::uintmax_t limit,
                                             std::error_code* why) {
    const auto fail = [&](int err) -> std::optional<std::string> {
        if (why)
            *why = std::error_code(err, std::generic_category());
        return std::nullopt;
    };
    // Opened without waiting, so that a FIFO put in a file's place cannot hold the program.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return fail(errno);
    struct stat st {};
    const int err = ::fstat(fd, &st) != 0                             ? errno
                    : S_ISDIR(st.st_mode)                             ? EISDIR
                    : !S_ISREG(st.st_mode)                            ? ENODEV
                    : static_cast<std::uintmax_t>(st.st_size) > limit ? EFBIG
                                                                      : 0;
    std::string content;
    if (err == 0) {
        content.resize(static_cast<std::size_t>(st.st_size));
        std::size_t done = 0;
        while (done < content.size()) {
            const ssize_t n = ::read(fd, content.data() + done, content.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                const int read_err = n < 0 ? errno : EIO; // a file cut short while read
                ::close(fd);
                return fail(read_err);
            }
            done += static_cast<std::size_t>(n);
        }
    }
    ::close(fd);
    if (err != 0)
        return fail(err);
    return content;
}

std::string bank_file_not_found_message(int bank) {
    return "File bank" + std::to_string(bank) + ".bin Not Found,Abort Procedure";
}

std::string bank_file_short_message(int bank) {
    return "File bank" + std::to_string(bank) + ".bin shorter than 16384 bytes,Abort Procedure";
}

std::string no_end_record_message(const std::string& image_name, bool cr_line_ends) {
    return "File " + image_name + " has no S9 end record" +
           (cr_line_ends ? " (its lines end in CR alone, not in CR LF or LF)" : "") +
           ",Abort Procedure";
}

std::string record_after_end_message(const std::string& image_name, std::size_t end_line) {
    return "File " + image_name + " has records after its S9 end record (line " +
           std::to_string(end_line) + "),Abort Procedure";
}

std::string damaged_line_message(const std::string& image_name, std::size_t line,
                                 const LineFault& fault) {
    return std::string(kMsgNewSxNotCreate) + "\n" + image_name + ", line " + std::to_string(line) +
           ": " + describe(fault);
}

std::string image_not_proved_message(const std::string& image_name, const std::string& wrong) {
    return std::string(kMsgNewSxNotCreate) + "\nThe image merged from " + image_name +
           ", read back, is not the base image with the banks in their pages: " + wrong +
           ". No image was written.";
}

std::string cannot_read_message(const fs::path& file, const std::error_code& why) {
    std::string note = not_a_file_note(file);
    if (note.empty())
        note.append("\n").append(file.string()).append(": ").append(why.message());
    return std::string(kMsgNewSxNotCreate) + note;
}

std::string output_not_created_message(const OutputError& e) {
    std::string text =
        std::string(kMsgNewSxNotCreate) + "\n" + e.target().string() + ": " + e.code().message();
    // A folder the user may not write into: say which.
    if (e.code() == std::errc::permission_denied)
        text += " (no permission to write in " + e.target().parent_path().string() + ")";
    return text;
}

std::string bank_not_inserted_message(int bank, const std::string& image_name) {
    return "Bank " + std::to_string(bank) + " was not inserted: " + image_name +
           " has no S2 records in its page (" + hex6(bank_first_address(bank)) + " to " +
           hex6(bank_last_address(bank)) + ")";
}

MergedImage merge_image_text(std::string_view base, const std::string& image_name,
                             std::span<const std::uint8_t> bank1,
                             std::span<const std::uint8_t> bank2, MessageSink& sink,
                             MergeProgress& progress) {
    const BankRecords records1 = make_bank_records(bank1, 1);
    const BankRecords records2 = make_bank_records(bank2, 2);
    MergeScratch scratch;
    const ImageMerge m = merge_image(base, records1, records2, scratch, progress);
    MergedImage out;
    if (m.pass1.result < 0) {
        report_stop(m.pass1, base, image_name, sink);
        return out;
    }
    report_not_inserted(1, m.pass1, image_name, sink);
    if (m.pass2.result < 0) {
        report_stop(m.pass2, base, image_name, sink);
        return out;
    }
    report_not_inserted(2, m.pass2, image_name, sink);
    if (m.pass1.result == 0 && m.pass2.result == 0) {
        // The image would be the base image itself: nothing of the project would reach the
        // device.
        sink.show(kMsgNoBankInserted, MessageKind::Error);
        out.outcome = MergeOutcome::NoBankInserted;
        return out;
    }
    std::string text = join_lines(scratch.merged.lines);
    const PageCheck checks[] = {{&records1, m.pass1.result == 1}, {&records2, m.pass2.result == 1}};
    const std::string wrong = prove_merged_image(text, checks, scratch.base_outside, scratch);
    if (!wrong.empty()) {
        sink.show(image_not_proved_message(image_name, wrong), MessageKind::Error);
        return out;
    }
    out.outcome = m.pass1.result == 1 && m.pass2.result == 1 ? MergeOutcome::Merged
                                                             : MergeOutcome::MergedWithoutABank;
    out.text = std::move(text);
    return out;
}

int merge_bank(int bank, const fs::path& input, const fs::path& output, const fs::path& bank_dir,
               MessageSink& sink, MergeProgress& progress) {
    progress.reset();
    if (!file_exists(input)) {
        sink.show(kMsgSxNotFound, MessageKind::Error);
        return -1;
    }
    if (output.filename().empty()) {
        sink.show(kMsgNewSxNotFound, MessageKind::Error);
        return -1;
    }
    std::error_code ec;
    if (!fs::is_directory(bank_dir, ec)) {
        sink.show(kMsgBinDirNotFound, MessageKind::Error);
        return -1;
    }
    const auto bank_bytes = read_bank_file(bank, bank_dir, sink);
    if (!bank_bytes)
        return -1;
    std::error_code why;
    const auto text = read_file_limited(input, kMaxImageSize, &why);
    if (!text) {
        sink.show(cannot_read_message(input, why), MessageKind::Error);
        return -1;
    }
    const std::string name = input.filename().string();
    const BankRecords records = make_bank_records(as_bytes(*bank_bytes), bank);
    MergeScratch s;
    split_lines(*text, s.base.lines);
    const int banks[] = {bank};
    PassOutcome pass = check_base_image(s.base.lines, banks, s.base.records, s.base_outside);
    if (pass.stop == PassStop::None)
        pass = merge_pass(s.base, records, s.merged, s.pieces, progress);
    if (pass.result < 0) {
        report_stop(pass, *text, name, sink);
        return -1;
    }
    std::string merged = join_lines(s.merged.lines);
    const PageCheck check[] = {{&records, pass.result == 1}};
    if (const std::string wrong = prove_merged_image(merged, check, s.base_outside, s);
        !wrong.empty()) {
        sink.show(image_not_proved_message(name, wrong), MessageKind::Error);
        return -1;
    }
    if (!write_output(output, std::move(merged), sink))
        return -1;
    return pass.result;
}

MergeOutcome merge_all(const fs::path& base_image, const fs::path& bank_dir,
                       const fs::path& project_dir, const std::string& output_name,
                       MessageSink& sink, MergeProgress& progress) {
    progress.reset();
    if (output_name.empty()) {
        sink.show(kMsgNewSxNotFound, MessageKind::Error);
        return MergeOutcome::Failed;
    }
    if (!file_exists(base_image)) {
        sink.show(kMsgSxNotFound, MessageKind::Error);
        return MergeOutcome::Failed;
    }
    std::error_code ec;
    if (!fs::is_directory(bank_dir, ec)) {
        sink.show(kMsgBinDirNotFound, MessageKind::Error);
        return MergeOutcome::Failed;
    }
    // The bank files are read only once a set that a cut-off run left half replaced is whole
    // again, so that the image is made from the bank files it will stand beside.
    const auto lock = ProjectLock::take(project_dir);
    if (!lock) {
        sink.show(kMsgBuildRunning, MessageKind::Error);
        return MergeOutcome::Failed;
    }
    const fs::path record = bank_dir / kCommitRecordName;
    recover_interrupted_outputs(record, project_output_folders(project_dir, {output_name}));
    const auto bank1 = read_bank_file(1, bank_dir, sink);
    if (!bank1)
        return MergeOutcome::Failed;
    const auto bank2 = read_bank_file(2, bank_dir, sink);
    if (!bank2)
        return MergeOutcome::Failed;
    std::error_code why;
    const auto base = read_file_limited(base_image, kMaxImageSize, &why);
    if (!base) {
        sink.show(cannot_read_message(base_image, why), MessageKind::Error);
        return MergeOutcome::Failed;
    }
    MergedImage image = merge_image_text(*base, base_image.filename().string(), as_bytes(*bank1),
                                         as_bytes(*bank2), sink, progress);
    if (!image_made(image.outcome))
        return image.outcome;

    if (!write_output(fs::path(project_dir) / output_name, std::move(image.text), sink, record))
        return MergeOutcome::Failed;
    return image.outcome;
}

} // namespace mk
