#include "firmware/merge_core.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace mk {

namespace {

constexpr std::size_t kBytesPerRecord = 32;
constexpr std::uint8_t kRecordByteCount = 0x24;
constexpr std::uint64_t kPageSize = 0x4000;
constexpr std::string_view kCrLf = "\r\n";
constexpr char kHex[] = "0123456789ABCDEF";

void put_hex(std::string& out, std::uint8_t byte) {
    out += kHex[byte >> 4];
    out += kHex[byte & 0x0F];
}

std::string hex_address(std::uint64_t address) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%06llX", static_cast<unsigned long long>(address));
    return text;
}

std::string hex_byte(std::uint8_t byte) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", byte);
    return text;
}

LineRecord line_record(const SRecord& r) {
    return {r.address, static_cast<std::uint8_t>(r.data_size),
            static_cast<std::uint8_t>(r.address_size), r.type};
}

// The pages of some banks, in ascending order of address.
struct Pages {
    static constexpr std::size_t kMaxPages = 5;
    std::uint64_t first[kMaxPages] = {};
    int bank[kMaxPages] = {};
    std::size_t count = 0;

    explicit Pages(std::span<const int> banks) {
        for (const int b : banks) {
            if (count == kMaxPages)
                break;
            bank[count] = b;
            first[count] = bank_first_address(b);
            ++count;
        }
        for (std::size_t i = 1; i < count; ++i)
            for (std::size_t j = i; j > 0 && first[j - 1] > first[j]; --j) {
                std::swap(first[j - 1], first[j]);
                std::swap(bank[j - 1], bank[j]);
            }
    }

    // Splits the data of a record at address `start` into the parts outside the pages, given to
    // `outside(address, offset, size)`, and inside them, given to `inside(page, offset, size)`;
    // offsets count from the record's first data byte.
    template <typename Outside, typename Inside>
    void split(std::uint64_t start, std::size_t size, Outside&& outside, Inside&& inside) const {
        const std::uint64_t end = start + size;
        std::uint64_t at = start;
        for (std::size_t p = 0; p < count && at < end; ++p) {
            const std::uint64_t page_end = first[p] + kPageSize;
            if (page_end <= at || first[p] >= end)
                continue;
            if (at < first[p]) {
                outside(at, static_cast<std::size_t>(at - start),
                        static_cast<std::size_t>(first[p] - at));
                at = first[p];
            }
            const std::uint64_t stop = std::min(end, page_end);
            inside(p, static_cast<std::size_t>(at - start), static_cast<std::size_t>(stop - at));
            at = stop;
        }
        if (at < end)
            outside(at, static_cast<std::size_t>(at - start), static_cast<std::size_t>(end - at));
    }
};

} // namespace

std::uint32_t bank_first_address(int bank) {
    return 0x388000u + static_cast<std::uint32_t>(bank - 1) * 0x10000u;
}

std::uint32_t bank_last_address(int bank) {
    return bank_first_address(bank) + 0x3FFFu;
}

std::string bank_records(std::span<const std::uint8_t> bank, int bank_number) {
    const std::size_t records = bank.size() / kBytesPerRecord;
    std::string out;
    out.reserve(records * 78);
    for (std::size_t k = 0; k < records; ++k) {
        const std::uint32_t address =
            bank_first_address(bank_number) + static_cast<std::uint32_t>(kBytesPerRecord * k);
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
            const std::uint8_t byte = bank[kBytesPerRecord * k + i];
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
    BankRecords r;
    r.number = bank_number;
    r.bytes.assign(bank.begin(),
                   bank.begin() + static_cast<std::ptrdiff_t>(bank.size() / kBytesPerRecord *
                                                              kBytesPerRecord));
    r.text = bank_records(r.bytes, bank_number);
    split_lines(r.text, r.lines.lines);
    for (std::size_t k = 0; k < r.lines.lines.size(); ++k)
        r.lines.records.push_back(
            {bank_first_address(bank_number) + static_cast<std::uint32_t>(kBytesPerRecord * k),
             kBytesPerRecord, 3, '2'});
    return r;
}

void ImageContent::clear() {
    runs.clear();
    bytes.clear();
    other_lines.clear();
}

void ImageContent::add(std::uint64_t address, const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return;
    if (!runs.empty() && runs.back().address + runs.back().size == address)
        runs.back().size += size;
    else
        runs.push_back({address, bytes.size(), size});
    bytes.insert(bytes.end(), data, data + size);
}

PassOutcome check_base_image(std::span<const std::string_view> lines, std::span<const int> banks,
                             std::vector<LineRecord>& records, ImageContent& outside) {
    records.assign(lines.size(), LineRecord{});
    outside.clear();
    // Two digits per byte: the data cannot be more than half the text.
    std::size_t text_size = 0;
    for (const std::string_view line : lines)
        text_size += line.size();
    outside.bytes.reserve(text_size / 2);
    const Pages pages(banks);
    bool ended = false;
    std::size_t first_end = 0;
    SRecord record;
    const TextStop stop = read_srecord_lines(lines, record, [&](std::size_t n, const SRecord& r) {
        if (ended && r.carries_data())
            return false;
        if (r.type == '9' && !ended) {
            ended = true;
            first_end = n + 1;
        }
        records[n] = line_record(r);
        if (!r.carries_data()) {
            outside.other_lines.push_back(lines[n]);
            return true;
        }
        pages.split(
            r.address, r.data_size,
            [&](std::uint64_t at, std::size_t offset, std::size_t size) {
                outside.add(at, r.data() + offset, size);
            },
            [](std::size_t, std::size_t, std::size_t) {});
        return true;
    });
    PassOutcome outcome;
    if (stop.fault) {
        outcome.stop = PassStop::DamagedLine;
        outcome.line = stop.line;
        outcome.fault = stop.fault;
    } else if (stop.stopped()) {
        outcome.stop = PassStop::RecordAfterEnd;
        outcome.line = first_end;
    } else if (!ended) {
        outcome.stop = PassStop::NoEndRecord;
    } else {
        outcome.result = 0;
    }
    return outcome;
}

PassOutcome merge_pass(const RecordLines& input, const BankRecords& bank, RecordLines& output,
                       std::deque<std::string>& pieces, MergeProgress& progress) {
    const std::span<const std::string_view> inserted_lines = bank.lines.lines;
    progress.reset();
    progress.set_maximum(static_cast<int>(std::min<std::size_t>(
        inserted_lines.size() + input.lines.size(), std::size_t{0x7FFFFFFF})));
    output.clear();
    output.lines.reserve(input.lines.size() + inserted_lines.size());
    output.records.reserve(input.lines.size() + inserted_lines.size());
    const std::uint64_t first = bank_first_address(bank.number);
    const std::uint64_t end = first + kPageSize;
    PassOutcome outcome;
    bool ended = false;
    bool inserted = false;
    SRecord record;
    // The bytes of a record outside the page go on in a record of their own.
    const auto keep_part = [&](std::string_view line, const LineRecord& r, std::uint64_t from,
                               std::uint64_t to) {
        read_srecord(line, record);
        const std::size_t offset = static_cast<std::size_t>(from - r.address);
        const std::size_t size = static_cast<std::size_t>(to - from);
        pieces.push_back(record_text(r.type, r.address_size, static_cast<std::uint32_t>(from),
                                     record.data() + offset, size));
        output.push_back(pieces.back(), {static_cast<std::uint32_t>(from),
                                         static_cast<std::uint8_t>(size), r.address_size, r.type});
    };
    for (std::size_t n = 0; n < input.lines.size(); ++n) {
        const std::string_view line = input.lines[n];
        const LineRecord& r = input.records[n];
        if (r.carries_data()) {
            const std::uint64_t start = r.address;
            const std::uint64_t stop = start + r.data_size;
            // A record without data bytes whose address lies in the page belongs to it too.
            if ((start >= first && start < end) || (start < end && stop > first)) {
                if (start < first)
                    keep_part(line, r, start, first);
                if (!inserted) {
                    for (std::size_t i = 0; i < inserted_lines.size(); ++i) {
                        output.push_back(inserted_lines[i], bank.lines.records[i]);
                        progress.advance();
                    }
                    inserted = true;
                }
                if (stop > end)
                    keep_part(line, r, end, stop);
                progress.advance();
                continue;
            }
        } else if (r.type == '9') {
            ended = true;
            outcome.result = inserted ? 1 : 0;
        }
        output.push_back(line, r);
        progress.advance();
    }
    if (!ended) {
        outcome.result = -1;
        outcome.stop = PassStop::NoEndRecord;
        output.clear();
    }
    return outcome;
}

ImageMerge merge_image(std::string_view base, const BankRecords& bank1, const BankRecords& bank2,
                       MergeScratch& s, MergeProgress& progress) {
    ImageMerge m;
    s.merged.clear();
    s.pieces.clear();
    split_lines(base, s.base.lines);
    const int banks[] = {bank1.number, bank2.number};
    m.pass1 = check_base_image(s.base.lines, banks, s.base.records, s.base_outside);
    if (m.pass1.stop != PassStop::None)
        return m;
    m.pass1 = merge_pass(s.base, bank1, s.after_pass1, s.pieces, progress);
    if (m.pass1.result < 0)
        return m;
    m.pass2 = merge_pass(s.after_pass1, bank2, s.merged, s.pieces, progress);
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

namespace {

// Walks the content of a base image outside the pages, as a new image's records are read back,
// and names the first place where the new image differs from it.
class OutsideCursor {
public:
    explicit OutsideCursor(const ImageContent& base) : base_(base) {}

    // The next `size` bytes outside the pages, from `address` on.
    bool bytes(std::uint64_t address, const std::uint8_t* data, std::size_t size) {
        while (size > 0) {
            if (run_ == base_.runs.size()) {
                wrong = "outside the bank pages, the new image holds a byte at " +
                        hex_address(address) + " that the base image has not";
                return false;
            }
            const ImageContent::Run& r = base_.runs[run_];
            if (r.address + at_ != address) {
                wrong = "outside the bank pages, the new image holds address " +
                        hex_address(address) + " where the base image has " +
                        hex_address(r.address + at_);
                return false;
            }
            const std::size_t n = std::min(size, r.size - at_);
            const std::uint8_t* expected = base_.bytes.data() + r.offset + at_;
            if (std::memcmp(expected, data, n) != 0) {
                std::size_t i = 0;
                while (expected[i] == data[i])
                    ++i;
                wrong = "outside the bank pages, address " + hex_address(address + i) + " holds " +
                        hex_byte(data[i]) + " where the base image has " + hex_byte(expected[i]);
                return false;
            }
            address += n;
            data += n;
            size -= n;
            at_ += n;
            if (at_ == r.size) {
                ++run_;
                at_ = 0;
            }
        }
        return true;
    }

    // The next line that carries no data.
    bool line(std::string_view line) {
        if (line_ == base_.other_lines.size()) {
            wrong = "the new image has a line \"" + std::string(line.substr(0, 80)) +
                    "\" that the base image has not";
            return false;
        }
        if (base_.other_lines[line_] != line) {
            wrong = "the base image's line \"" +
                    std::string(base_.other_lines[line_].substr(0, 80)) +
                    "\" is not in its place in the new image";
            return false;
        }
        ++line_;
        return true;
    }

    // After the last record: nothing of the base image may be left over.
    bool end() {
        if (run_ < base_.runs.size()) {
            wrong = "outside the bank pages, the base image's byte at " +
                    hex_address(base_.runs[run_].address + at_) + " is missing from the new image";
            return false;
        }
        if (line_ < base_.other_lines.size()) {
            wrong = "the base image's line \"" +
                    std::string(base_.other_lines[line_].substr(0, 80)) +
                    "\" is not in its place in the new image";
            return false;
        }
        return true;
    }

    std::string wrong;

private:
    const ImageContent& base_;
    std::size_t run_ = 0;
    std::size_t at_ = 0;
    std::size_t line_ = 0;
};

} // namespace

std::string prove_merged_image(std::string_view image, std::span<const PageCheck> checks,
                               const ImageContent& base_outside, MergeScratch& s) {
    std::vector<int> banks;
    for (const PageCheck& c : checks)
        banks.push_back(c.bank->number);
    const Pages pages(banks);
    s.page_bytes.assign(pages.count * kPageSize, 0);
    s.page_writes.assign(pages.count * kPageSize, 0);
    OutsideCursor outside(base_outside);
    std::size_t written[Pages::kMaxPages] = {}; // bytes written into each page
    SRecord record;
    const TextStop stop =
        read_srecord_text(image, record, [&](std::string_view line, const SRecord& r) {
            if (!r.carries_data())
                return outside.line(line);
            bool same = true;
            pages.split(
                r.address, r.data_size,
                [&](std::uint64_t at, std::size_t offset, std::size_t size) {
                    same = same && outside.bytes(at, r.data() + offset, size);
                },
                [&](std::size_t page, std::size_t offset, std::size_t size) {
                    written[page] += size;
                    const std::size_t at =
                        page * kPageSize +
                        static_cast<std::size_t>(r.address + offset - pages.first[page]);
                    for (std::size_t i = 0; i < size; ++i) {
                        s.page_bytes[at + i] = r.data()[offset + i];
                        if (s.page_writes[at + i] < 2)
                            ++s.page_writes[at + i];
                    }
                });
            return same;
        });
    if (stop.fault)
        return "line " + std::to_string(stop.line) + " of the new image: " + describe(stop.fault);
    if (stop.stopped() || !outside.end())
        return outside.wrong;
    for (std::size_t p = 0; p < pages.count; ++p) {
        const PageCheck& c = *std::find_if(checks.begin(), checks.end(), [&](const PageCheck& x) {
            return x.bank->number == pages.bank[p];
        });
        const std::vector<std::uint8_t>& bank = c.bank->bytes;
        const std::size_t held = c.inserted ? bank.size() : 0;
        const auto writes = s.page_writes.begin() + static_cast<std::ptrdiff_t>(p * kPageSize);
        const auto bytes = s.page_bytes.begin() + static_cast<std::ptrdiff_t>(p * kPageSize);
        const auto held_end = writes + static_cast<std::ptrdiff_t>(held);
        // Each byte of the bank written once, and nothing else written: no other byte of the
        // page can have been.
        if (written[p] == held &&
            std::all_of(writes, held_end, [](std::uint8_t w) { return w == 1; }) &&
            std::equal(bank.begin(), bank.begin() + static_cast<std::ptrdiff_t>(held), bytes))
            continue;
        // Something is wrong in this page: find the first place and say what.
        const std::string name = "bank " + std::to_string(pages.bank[p]);
        for (std::size_t offset = 0; offset < kPageSize; ++offset) {
            const std::size_t at = p * kPageSize + offset;
            const bool expected = c.inserted && offset < bank.size();
            if (s.page_writes[at] == (expected ? 1 : 0) &&
                (!expected || s.page_bytes[at] == bank[offset]))
                continue;
            const std::string address = hex_address(pages.first[p] + offset);
            if (s.page_writes[at] > 1)
                return "address " + address + " of the " + name + " page is written more than once";
            if (s.page_writes[at] == 1 && !expected)
                return "address " + address + " of the " + name + " page holds " +
                       hex_byte(s.page_bytes[at]) + ", which is not the bank's";
            if (s.page_writes[at] == 0 && expected)
                return "no record holds address " + address + " of the " + name + " page";
            if (expected && s.page_bytes[at] != bank[offset])
                return "address " + address + " holds " + hex_byte(s.page_bytes[at]) + " where " +
                       name + " has " + hex_byte(bank[offset]);
        }
    }
    return "";
}

} // namespace mk
