#include "firmware/srecord_merge.h"

#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <system_error>
#include <vector>

#include "firmware/banks.h"
#include "firmware/output_set.h"

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
    auto bytes = read_file_limited(file, 64u * kBankSize);
    if (!bytes) {
        sink.show(kMsgNewSxNotCreate, MessageKind::Error);
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
    if (pass.stop == PassStop::NoEndRecord) {
        const bool cr_only =
            base.find('\n') == std::string_view::npos && base.find('\r') != std::string_view::npos;
        sink.show(no_end_record_message(image_name, cr_only), MessageKind::Error);
    } else if (pass.stop == PassStop::RecordAfterEnd) {
        sink.show(record_after_end_message(image_name, pass.line), MessageKind::Error);
    } else {
        sink.show(kMsgNewSxNotCreate, MessageKind::Error);
    }
}

void report_not_inserted(int bank, const PassOutcome& pass, const std::string& image_name,
                         MessageSink& sink) {
    if (pass.result == 0)
        sink.show(bank_not_inserted_message(bank, image_name), MessageKind::Warning);
}

// Writes one file as a set of one, with the merge's message when it cannot be written.
bool write_output(const fs::path& path, std::string text, MessageSink& sink) {
    try {
        OutputSet set;
        set.add(path, std::move(text));
        set.commit();
        return true;
    } catch (const OutputError&) {
        sink.show(kMsgNewSxNotCreate, MessageKind::Error);
        return false;
    }
}

std::string hex6(std::uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%06X", v);
    return text;
}

} // namespace

std::optional<std::string> read_file_limited(const fs::path& path, std::uintmax_t limit) {
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    if (ec || size > limit)
        return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string content(size, '\0');
    in.read(content.data(), static_cast<std::streamsize>(size));
    if (in.bad() || static_cast<std::uintmax_t>(in.gcount()) != size)
        return std::nullopt;
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
    std::vector<std::string_view> base_lines, after_pass1, merged;
    const ImageMerge m =
        merge_image(base, records1, records2, base_lines, after_pass1, merged, progress);
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
    out.outcome = m.pass1.result == 1 && m.pass2.result == 1 ? MergeOutcome::Merged
                                                             : MergeOutcome::MergedWithoutABank;
    out.text = join_lines(merged);
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
    const auto text = read_file_limited(input, kMaxImageSize);
    if (!text) {
        sink.show(kMsgNewSxNotCreate, MessageKind::Error);
        return -1;
    }
    const BankRecords records = make_bank_records(as_bytes(*bank_bytes), bank);
    std::vector<std::string_view> lines, out;
    split_lines(*text, lines);
    const PassOutcome pass = merge_pass(lines, bank, records.lines, out, progress);
    if (pass.result < 0) {
        report_stop(pass, *text, input.filename().string(), sink);
        return -1;
    }
    if (!write_output(output, join_lines(out), sink))
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
    const auto bank1 = read_bank_file(1, bank_dir, sink);
    if (!bank1)
        return MergeOutcome::Failed;
    const auto bank2 = read_bank_file(2, bank_dir, sink);
    if (!bank2)
        return MergeOutcome::Failed;
    const auto base = read_file_limited(base_image, kMaxImageSize);
    if (!base) {
        sink.show(kMsgNewSxNotCreate, MessageKind::Error);
        return MergeOutcome::Failed;
    }
    MergedImage image = merge_image_text(*base, base_image.filename().string(), as_bytes(*bank1),
                                         as_bytes(*bank2), sink, progress);
    if (!image_made(image.outcome))
        return image.outcome;

    const auto lock = ProjectLock::take(project_dir);
    if (!lock) {
        sink.show(kMsgBuildRunning, MessageKind::Error);
        return MergeOutcome::Failed;
    }
    const std::string names[] = {output_name};
    clean_up_interrupted_outputs(project_dir, names);
    if (!write_output(fs::path(project_dir) / output_name, std::move(image.text), sink))
        return MergeOutcome::Failed;
    return image.outcome;
}

} // namespace mk
