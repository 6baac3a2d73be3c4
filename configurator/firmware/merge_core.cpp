#include "firmware/merge_core.h"

#include <algorithm>
#include <cstring>

namespace mk {

namespace {

constexpr std::size_t kBytesPerRecord = 32;
constexpr std::uint8_t kRecordByteCount = 0x24;
constexpr std::string_view kCrLf = "\r\n";
constexpr char kHex[] = "0123456789ABCDEF";

void put_hex(std::string& out, std::uint8_t byte) {
    out += kHex[byte >> 4];
    out += kHex[byte & 0x0F];
}

// The address field of an S1 or S2 line: `digits` hexadecimal digits from character 5.
bool record_address(std::string_view line, std::size_t digits, std::uint32_t& value) {
    if (line.size() < 4 + digits)
        return false;
    value = 0;
    for (std::size_t i = 4; i < 4 + digits; ++i) {
        const int v = hex_value(line[i]);
        if (v < 0)
            return false;
        value = value * 16 + static_cast<std::uint32_t>(v);
    }
    return true;
}

// The character after the "S" of a record line ('1' for "S1..."), or 0 for any other line.
char record_type(std::string_view line) {
    return line.size() >= 2 && line[0] == 'S' ? line[1] : '\0';
}

} // namespace

int hex_value(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
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

void split_lines(std::string_view text, std::vector<std::string_view>& lines) {
    lines.clear();
    const char* at = text.data();
    const char* const end = at + text.size();
    while (at != end) {
        const auto* nl = static_cast<const char*>(std::memchr(at, '\n', end - at));
        const char* line_end = nl ? nl : end;
        std::size_t length = static_cast<std::size_t>(line_end - at);
        if (length > 0 && at[length - 1] == '\r')
            --length;
        lines.emplace_back(at, length);
        at = nl ? nl + 1 : end;
    }
}

BankRecords make_bank_records(std::span<const std::uint8_t> bank, int bank_number) {
    BankRecords r{bank_records(bank, bank_number), {}};
    split_lines(r.text, r.lines);
    return r;
}

PassOutcome merge_pass(std::span<const std::string_view> input, int bank,
                       std::span<const std::string_view> records,
                       std::vector<std::string_view>& output, MergeProgress& progress) {
    progress.reset();
    progress.set_maximum(static_cast<int>(
        std::min<std::size_t>(kRecordsPerBank + input.size(), std::size_t{0x7FFFFFFF})));
    output.clear();
    output.reserve(input.size() + records.size());
    const std::uint32_t first = bank_first_address(bank);
    const std::uint32_t last = bank_last_address(bank);
    PassOutcome outcome;
    bool end_record = false;
    std::size_t first_end_line = 0;
    bool inserted = false;
    for (std::size_t n = 0; n < input.size(); ++n) {
        const std::string_view line = input[n];
        const char type = record_type(line);
        const bool s1 = type == '1';
        if (end_record && (s1 || type == '2' || type == '3')) {
            outcome.result = -1;
            outcome.stop = PassStop::RecordAfterEnd;
            outcome.line = first_end_line;
            output.clear();
            return outcome;
        }
        if (s1 || type == '2') {
            std::uint32_t address = 0;
            if (!record_address(line, s1 ? 4 : 6, address)) {
                // A pass that stops has no result, whatever an earlier "S9" line set: the rest
                // of the image, and perhaps a bank, would be missing from its output.
                outcome.result = -1;
                outcome.stop = PassStop::BadRecord;
                outcome.line = n + 1;
                output.clear();
                return outcome;
            }
            if (!s1 && address >= first && address <= last) {
                if (!inserted) {
                    output.insert(output.end(), records.begin(), records.end());
                    for (std::size_t i = 0; i < records.size(); ++i)
                        progress.advance();
                    inserted = true;
                }
                progress.advance();
                continue;
            }
        } else if (type == '9') {
            if (!end_record)
                first_end_line = n + 1;
            end_record = true;
            outcome.result = inserted ? 1 : 0;
        }
        output.push_back(line);
        progress.advance();
    }
    if (!end_record) {
        outcome.result = -1;
        outcome.stop = PassStop::NoEndRecord;
        output.clear();
    }
    return outcome;
}

ImageMerge merge_image(std::string_view base, const BankRecords& bank1, const BankRecords& bank2,
                       std::vector<std::string_view>& base_lines,
                       std::vector<std::string_view>& after_pass1,
                       std::vector<std::string_view>& merged, MergeProgress& progress) {
    ImageMerge m;
    merged.clear();
    split_lines(base, base_lines);
    m.pass1 = merge_pass(base_lines, 1, bank1.lines, after_pass1, progress);
    if (m.pass1.result < 0)
        return m;
    m.pass2 = merge_pass(after_pass1, 2, bank2.lines, merged, progress);
    return m;
}

std::string join_lines(std::span<const std::string_view> lines) {
    std::size_t size = 0;
    for (const auto& l : lines)
        size += l.size() + kCrLf.size();
    std::string out;
    out.reserve(size);
    for (const auto& l : lines) {
        out += l;
        out += kCrLf;
    }
    return out;
}

} // namespace mk
