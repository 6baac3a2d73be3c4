#include "firmware/srecord_merge.h"

#include <fstream>
#include <optional>
#include <sstream>
#include <system_error>

#include "core/atomic_file.h"
#include "firmware/banks.h"

namespace mk {

namespace {

namespace fs = std::filesystem;

constexpr int kRecordsPerBank = 512;
constexpr std::size_t kBytesPerRecord = 32;
constexpr std::uint8_t kRecordByteCount = 0x24;
constexpr std::string_view kCrLf = "\r\n";
// Firmware images are a few hundred kilobytes; anything far larger is not one.
constexpr std::uintmax_t kMaxImageSize = 256u * 1024u * 1024u;
constexpr char kHex[] = "0123456789ABCDEF";

void put_hex(std::string& out, std::uint8_t byte) {
    out += kHex[byte >> 4];
    out += kHex[byte & 0x0F];
}

bool file_exists(const fs::path& p) {
    std::error_code ec;
    return fs::exists(p, ec);
}

std::optional<std::string> read_whole(const fs::path& path, std::uintmax_t limit) {
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    if (ec || size > limit)
        return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad())
        return std::nullopt;
    return std::move(content).str();
}

int hex_value(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The address field of an S1 or S2 line: `digits` hexadecimal digits from character 5.
std::optional<std::uint32_t> record_address(std::string_view line, std::size_t digits) {
    if (line.size() < 4 + digits)
        return std::nullopt;
    std::uint32_t value = 0;
    for (std::size_t i = 4; i < 4 + digits; ++i) {
        const int v = hex_value(line[i]);
        if (v < 0)
            return std::nullopt;
        value = value * 16 + static_cast<std::uint32_t>(v);
    }
    return value;
}

std::size_t count_lines(std::string_view text) {
    std::size_t n = 0;
    for (char c : text)
        n += c == '\n';
    if (!text.empty() && text.back() != '\n')
        ++n;
    return n;
}

void remove_quietly(const fs::path& p) {
    std::error_code ec;
    fs::remove(p, ec);
}

} // namespace

std::string bank_file_not_found_message(int bank) {
    return "File bank" + std::to_string(bank) + ".bin Not Found,Abort Procedure";
}

std::string bank_file_short_message(int bank) {
    return "File bank" + std::to_string(bank) + ".bin shorter than 16384 bytes,Abort Procedure";
}

std::uint32_t bank_first_address(int bank) {
    return 0x388000u + static_cast<std::uint32_t>(bank - 1) * 0x10000u;
}

std::uint32_t bank_last_address(int bank) {
    return bank_first_address(bank) + 0x3FFFu;
}

std::string bank_records(std::span<const std::uint8_t> bank, int bank_number) {
    std::string out;
    out.reserve(kRecordsPerBank * 78);
    for (int k = 0; k < kRecordsPerBank; ++k) {
        const std::uint32_t address = bank_first_address(bank_number) + kBytesPerRecord * k;
        const auto a2 = static_cast<std::uint8_t>(address >> 16);
        const auto a1 = static_cast<std::uint8_t>(address >> 8);
        const auto a0 = static_cast<std::uint8_t>(address);
        unsigned sum = kRecordByteCount + a2 + a1 + a0;
        out += "S2";
        put_hex(out, kRecordByteCount);
        put_hex(out, a2);
        put_hex(out, a1);
        put_hex(out, a0);
        for (std::size_t i = 0; i < kBytesPerRecord; ++i) {
            const std::uint8_t byte = bank[kBytesPerRecord * static_cast<std::size_t>(k) + i];
            sum += byte;
            put_hex(out, byte);
        }
        put_hex(out, static_cast<std::uint8_t>(~sum & 0xFF));
        out += kCrLf;
    }
    return out;
}

std::string stage_file_name(int bank) {
    return "\xC2\xB0"
           "B" +
           std::to_string(bank) + "\xC2\xB0.sx";
}

int merge_bank(int bank, const fs::path& input, const fs::path& output, const fs::path& bank_dir,
               MessageSink& sink, MergeProgress& progress) {
    progress.reset();
    auto fail = [&](std::string_view message) {
        sink.show(message, MessageKind::Error);
        return -1;
    };
    if (!file_exists(input))
        return fail(kMsgSxNotFound);
    if (output.filename().empty())
        return fail(kMsgNewSxNotFound);
    std::error_code ec;
    if (!fs::is_directory(bank_dir, ec))
        return fail(kMsgBinDirNotFound);
    const fs::path bank_file = bank_dir / ("bank" + std::to_string(bank) + ".bin");
    if (!file_exists(bank_file))
        return fail(bank_file_not_found_message(bank));

    const auto bank_bytes = read_whole(bank_file, 64u * kBankSize);
    if (!bank_bytes)
        return fail(kMsgNewSxNotCreate);
    if (bank_bytes->size() < kBankSize)
        return fail(bank_file_short_message(bank));
    const std::string records =
        bank_records({reinterpret_cast<const std::uint8_t*>(bank_bytes->data()), kBankSize}, bank);

    // The bank's records also go to Bin.sx in the bank directory for the length of the pass.
    const fs::path record_file = bank_dir / "Bin.sx";
    int result = -1;
    try {
        write_file_atomically(record_file, records);
        const auto text = read_whole(input, kMaxImageSize);
        if (!text)
            throw std::runtime_error("input");
        progress.set_maximum(static_cast<int>(kRecordsPerBank + count_lines(*text)));

        const std::uint32_t first = bank_first_address(bank);
        const std::uint32_t last = bank_last_address(bank);
        std::string out;
        out.reserve(text->size() + records.size() + text->size() / 32);
        bool inserted = false;
        bool malformed = false;
        std::string_view rest(*text);
        while (!rest.empty() && !malformed) {
            const std::size_t nl = rest.find('\n');
            std::string_view line = rest.substr(0, nl);
            rest = nl == std::string_view::npos ? std::string_view() : rest.substr(nl + 1);
            if (!line.empty() && line.back() == '\r')
                line.remove_suffix(1);

            const std::string_view type = line.substr(0, 2);
            bool copy = true;
            if (type == "S1" || type == "S2") {
                const auto address = record_address(line, type == "S2" ? 6 : 4);
                if (!address) {
                    malformed = true;
                    break;
                }
                if (type == "S2" && *address >= first && *address <= last) {
                    copy = false;
                    if (!inserted) {
                        out += records;
                        for (int i = 0; i < kRecordsPerBank; ++i)
                            progress.advance();
                        inserted = true;
                    }
                }
            } else if (type == "S9") {
                result = inserted ? 1 : 0;
            }
            if (copy) {
                out += line;
                out += kCrLf;
            }
            progress.advance();
        }
        if (malformed)
            sink.show(kMsgNewSxNotCreate, MessageKind::Error);
        write_file_atomically(output, out);
    } catch (const std::exception&) {
        sink.show(kMsgNewSxNotCreate, MessageKind::Error);
        result = -1;
    }
    remove_quietly(record_file);
    return result;
}

bool merge_all(const fs::path& base_image, const fs::path& bank_dir, const fs::path& project_dir,
               const std::string& output_name, MessageSink& sink, MergeProgress& progress) {
    auto stage = [&](int bank) { return project_dir / stage_file_name(bank); };
    auto clean_up = [&] {
        for (int b = 1; b <= kBankCount; ++b)
            remove_quietly(stage(b));
    };
    if (output_name.empty()) {
        sink.show(kMsgNewSxNotFound, MessageKind::Error);
        return false;
    }
    if (merge_bank(1, base_image, stage(1), bank_dir, sink, progress) == -1 ||
        merge_bank(2, stage(1), stage(2), bank_dir, sink, progress) == -1) {
        clean_up();
        return false;
    }
    // Banks 3 to 5 keep what the base image holds: their passes only hand the stage file on,
    // the last one to the output name, which is replaced in one step.
    std::error_code ec;
    for (int b = 3; b <= kBankCount && !ec; ++b) {
        const fs::path target = b == kBankCount ? project_dir / output_name : stage(b);
        fs::rename(stage(b - 1), target, ec);
    }
    clean_up();
    if (ec) {
        sink.show(kMsgNewSxNotCreate, MessageKind::Error);
        return false;
    }
    return true;
}

} // namespace mk
