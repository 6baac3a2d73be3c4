// The in-memory S-record merge over whole base images: well-formed ones, ones with damaged lines
// and ones whose records overlap the bank pages. The merge must refuse exactly the images a
// plain reading of the S-record rules refuses, and whatever it makes must hold, read back by a
// reader of its own here: in each bank page exactly the bank (each byte once) when the bank was
// inserted and nothing when it was not, so old data never survives inside a page; outside the
// pages every byte of the base image, in the same order; the same lines without data. The
// merge's own read-back proof must accept every image it makes.
//
// The first input byte chooses the form: odd, the rest is the base image's text as it is; even,
// the rest is a program that writes records near the page edges and damages some of them.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "firmware/merge_core.h"

namespace {

constexpr std::uint64_t kPage = 0x4000;

// Two records per bank: the merge inserts whatever records it is given, and copying 512 of them
// into every output would take most of each run without exercising anything more.
mk::BankRecords bank(int number, std::uint8_t fill) {
    std::vector<std::uint8_t> b(64);
    for (std::size_t i = 0; i < b.size(); ++i)
        b[i] = static_cast<std::uint8_t>(i * 31 + fill);
    return mk::make_bank_records(b, number);
}

const mk::BankRecords& records(int number) {
    static const mk::BankRecords one = bank(1, 7);
    static const mk::BankRecords two = bank(2, 0x5A);
    return number == 1 ? one : two;
}

// --- A reader of its own: the S-record rules read plainly. ---

struct Rec {
    char type = 0;
    std::uint64_t address = 0;
    std::vector<std::uint8_t> data;
};

int digit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::optional<Rec> parse(std::string_view line) {
    if (line.size() < 4 || line.size() > 514 || line.size() % 2 != 0 || line[0] != 'S' ||
        line[1] < '0' || line[1] > '9' || line[1] == '4')
        return std::nullopt;
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 2; i < line.size(); i += 2) {
        const int hi = digit(line[i]), lo = digit(line[i + 1]);
        if (hi < 0 || lo < 0)
            return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
    }
    if (bytes.size() != 1u + bytes[0])
        return std::nullopt;
    unsigned sum = 0;
    for (std::size_t i = 0; i + 1 < bytes.size(); ++i)
        sum += bytes[i];
    if (static_cast<std::uint8_t>(~sum) != bytes.back())
        return std::nullopt;
    const char t = line[1];
    const std::size_t width = t == '2' || t == '6' || t == '8' ? 3 : t == '3' || t == '7' ? 4 : 2;
    if (bytes[0] < width + 1)
        return std::nullopt;
    Rec r;
    r.type = t;
    for (std::size_t i = 1; i <= width; ++i)
        r.address = r.address << 8 | bytes[i];
    r.data.assign(bytes.begin() + 1 + static_cast<std::ptrdiff_t>(width), bytes.end() - 1);
    return r;
}

bool carries_data(char t) {
    return t == '1' || t == '2' || t == '3';
}

std::vector<std::string_view> lines_of(std::string_view text) {
    std::vector<std::string_view> out;
    while (!text.empty()) {
        const std::size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        out.push_back(line);
        text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
    }
    return out;
}

struct Content {
    bool valid = true;
    std::vector<std::pair<std::uint64_t, std::uint8_t>> outside;
    std::vector<std::string> other;
    // Per bank: every byte written into its page, as (offset, value), in record order.
    std::vector<std::pair<std::uint64_t, std::uint8_t>> page[3];
    bool touches[3] = {false, false, false}; // a data record lies (partly) in the page
};

Content read(std::string_view text, bool merge_rules) {
    Content c;
    const auto lines = lines_of(text);
    bool ended = false;
    for (std::size_t n = 0; n < lines.size(); ++n) {
        if (lines[n].empty() && n + 1 == lines.size())
            break;
        const auto r = parse(lines[n]);
        if (!r || (merge_rules && ended && carries_data(r->type))) {
            c.valid = false;
            return c;
        }
        ended = ended || r->type == '9';
        if (!carries_data(r->type)) {
            c.other.emplace_back(lines[n]);
            continue;
        }
        for (int b = 1; b <= 2; ++b) {
            const std::uint64_t first = mk::bank_first_address(b);
            if ((r->address >= first && r->address < first + kPage) ||
                (r->address < first + kPage && r->address + r->data.size() > first))
                c.touches[b] = true;
        }
        for (std::size_t i = 0; i < r->data.size(); ++i) {
            const std::uint64_t a = r->address + i;
            int page = 0;
            for (int b = 1; b <= 2; ++b)
                if (a >= mk::bank_first_address(b) && a < mk::bank_first_address(b) + kPage)
                    page = b;
            if (page == 0)
                c.outside.emplace_back(a, r->data[i]);
            else
                c.page[page].emplace_back(a - mk::bank_first_address(page), r->data[i]);
        }
    }
    if (merge_rules && !ended)
        c.valid = false;
    return c;
}

// --- The program form: records near the page edges, some of them damaged. ---

constexpr std::uint32_t kPoints[] = {0x387FF0, 0x388000, 0x38BFE0, 0x38C000, 0x397FF8, 0x398000,
                                     0x39BFF0, 0x39C000, 0x208000, 0x3A8000, 0x8000,   0xFFF0};

std::string make_record(char type, std::uint32_t address, std::size_t size, std::uint8_t first) {
    std::vector<std::uint8_t> data(size);
    for (std::size_t i = 0; i < size; ++i)
        data[i] = static_cast<std::uint8_t>(first + 13 * i);
    const std::size_t width = type == '3' ? 4 : type == '2' ? 3 : 2;
    return mk::record_text(type, width, address, data.data(), data.size());
}

std::string program_image(const std::uint8_t* p, std::size_t n) {
    std::string text;
    std::string last;
    const auto flush = [&] {
        if (!last.empty() || !text.empty())
            text += last + "\r\n";
        last.clear();
    };
    for (std::size_t i = 0; i + 3 < n; i += 4) {
        const std::uint8_t op = p[i], a = p[i + 1], b = p[i + 2], c = p[i + 3];
        switch (op % 8) {
        case 0:
        case 1:
        case 2: { // a data record near a point of interest
            flush();
            const char type = "123"[op / 8 % 3];
            std::uint32_t address = kPoints[a % std::size(kPoints)] + (b % 64) - 32;
            if (type == '1')
                address &= 0xFFFF;
            last = make_record(type, address, c % 48, a);
            break;
        }
        case 3:
            flush();
            last = op & 8 ? "S9030000FC" : op & 16 ? "S5030004F8" : "S00600004844521B";
            break;
        case 4: // damage the last line
            if (last.empty())
                break;
            switch (a % 8) {
            case 0:
                last[last.size() - 1] = last.back() == '0' ? '1' : '0';
                break;
            case 1:
                last[b % last.size()] = static_cast<char>(c);
                break;
            case 2:
                last[0] = 's';
                break;
            case 3:
                last.insert(0, " ");
                break;
            case 4:
                last.resize(b % last.size());
                break;
            case 5:
                last.insert(0, "\xEF\xBB\xBF");
                break;
            case 6:
                last[1] = '4';
                break;
            default:
                last += static_cast<char>(c);
                break;
            }
            break;
        case 5: // an empty line
            flush();
            text += "\r\n";
            break;
        default: // a whole page's start and end, so that both banks have somewhere to go
            flush();
            last =
                make_record('2', mk::bank_first_address(op & 8 ? 2 : 1) + (a % 2) * 0x3FE0, 32, b);
            break;
        }
    }
    flush();
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    static mk::MergeScratch scratch;
    const std::string base = data[0] & 1
                                 ? std::string(reinterpret_cast<const char*>(data) + 1, size - 1)
                                 : program_image(data + 1, size - 1);
    mk::NoProgress progress;
    const mk::ImageMerge m = mk::merge_image(base, records(1), records(2), scratch, progress);
    const Content before = read(base, true);
    if (m.complete() != before.valid)
        __builtin_trap();
    if (!m.complete())
        return 0;
    if (m.pass1.result != (before.touches[1] ? 1 : 0) ||
        m.pass2.result != (before.touches[2] ? 1 : 0))
        __builtin_trap();
    const std::string image = mk::join_lines(scratch.merged.lines);
    const Content after = read(image, false);
    if (!after.valid || after.outside != before.outside || after.other != before.other)
        __builtin_trap();
    // Each page holds the bank's bytes, each written once and in order, or nothing at all.
    for (int b = 1; b <= 2; ++b) {
        const bool inserted = (b == 1 ? m.pass1.result : m.pass2.result) == 1;
        const auto& bytes = records(b).bytes;
        const auto& page = after.page[b];
        if (page.size() != (inserted ? bytes.size() : 0))
            __builtin_trap();
        for (std::size_t i = 0; i < page.size(); ++i)
            if (page[i].first != i || page[i].second != bytes[i])
                __builtin_trap();
    }
    const mk::PageCheck checks[] = {{&records(1), m.pass1.result == 1},
                                    {&records(2), m.pass2.result == 1}};
    if (!mk::prove_merged_image(image, checks, scratch.base_outside, scratch).empty())
        __builtin_trap();
    return 0;
}
