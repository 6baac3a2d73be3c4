#include "firmware/bank_outputs.h"

#include <system_error>

#include "core/atomic_file.h"
#include "core/user_error.h"

namespace mk {

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kBytesPerLine = 16;
constexpr std::string_view kIndent = "                 "; // 17 spaces
constexpr std::string_view kCrLf = "\r\n";

void append_bank(std::string& out, const Banks& banks, int number) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const auto bytes = banks.bank(number);
    for (std::size_t line = 0; line < kBankSize / kBytesPerLine; ++line) {
        if (line == 0) {
            out += "const char Bank";
            out += std::to_string(number);
            out += " [] = {";
        } else {
            out += kIndent;
        }
        for (std::size_t i = line * kBytesPerLine; i < (line + 1) * kBytesPerLine; ++i) {
            out += " 0x";
            out += kHex[bytes[i] >> 4];
            out += kHex[bytes[i] & 0x0F];
            out += i + 1 == kBankSize ? "};" : ",";
        }
        out += kCrLf;
    }
    out += kCrLf;
}

} // namespace

std::string cannot_create_message(const fs::path& path, std::string_view reason) {
    std::string text = "Cannot create file \"";
    text += path.string();
    text += "\". ";
    text += reason;
    return text;
}

std::vector<std::string> bank_output_names() {
    std::vector<std::string> names;
    for (int n = 1; n <= kBankCount; ++n)
        names.push_back("bank" + std::to_string(n) + ".bin");
    names.push_back("bankg.c");
    return names;
}

fs::path commit_record_path(const fs::path& project_dir) {
    return project_dir / "bin" / kCommitRecordName;
}

std::vector<OutputFolder> project_output_folders(const fs::path& project_dir,
                                                 std::vector<std::string> images) {
    std::vector<std::string> bin = bank_output_names();
    bin.push_back(kCommitRecordName);
    return {{project_dir / "bin", std::move(bin)}, {project_dir, std::move(images)}};
}

void add_bank_outputs(OutputSet& set, const fs::path& project_dir, const Banks& banks) {
    const fs::path bin = project_dir / "bin";
    for (int n = 1; n <= kBankCount; ++n) {
        const auto bytes = banks.bank(n);
        set.add(bin / ("bank" + std::to_string(n) + ".bin"),
                std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    }
    set.add(bin / "bankg.c", bank_source_text(banks));
}

UserError output_error_message(const OutputError& e) {
    return UserError(cannot_create_message(e.target(), write_failure_reason(e.target(), e.code())));
}

void write_bank_outputs(const fs::path& project_dir, const Banks& banks) {
    OutputSet set;
    add_bank_outputs(set, project_dir, banks);
    set.record_in(commit_record_path(project_dir));
    try {
        set.commit();
    } catch (const OutputError& e) {
        throw output_error_message(e);
    }
}

std::string bank_source_text(const Banks& banks) {
    std::string out;
    out.reserve(2 * (kBankSize * 6 + 1100 * 20));
    out += "#pragma CONST_SEG SEGMENT0";
    out += kCrLf;
    append_bank(out, banks, 1);
    append_bank(out, banks, 2);
    out += "#pragma CONST_SEG DEFAULT";
    out += kCrLf;
    return out;
}

} // namespace mk
