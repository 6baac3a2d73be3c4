// The in-memory S-record merge over arbitrary base image text. Any line, line end or length must
// end in a pass result, never in a read past a line or a crash, and the result must be the one a
// plain reading of the rules gives: a pass with a line that is not an S-record, without an S9
// line or with a data record after one, has no result; otherwise the bank's records stand at the
// place of its page's first record, no other record of the page is left, and every other line keeps
// its order.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "firmware/banks.h"
#include "firmware/merge_core.h"

namespace {

using Lines = std::vector<std::string_view>;

// Each bank's first records only: the merge inserts whatever records it is given, and copying
// 512 of them into every output would take most of each run without exercising anything more.
mk::BankRecords first_records(int bank, std::uint8_t fill) {
    std::vector<std::uint8_t> b(mk::kBankSize);
    for (std::size_t i = 0; i < b.size(); ++i)
        b[i] = static_cast<std::uint8_t>(i * 31 + fill);
    mk::BankRecords r = mk::make_bank_records(b, bank);
    r.lines.resize(3);
    return r;
}

const mk::BankRecords& records(int bank) {
    static const mk::BankRecords one = first_records(1, 7);
    static const mk::BankRecords two = first_records(2, 0x5A);
    return bank == 1 ? one : two;
}

// The same lines: the same views into the base image or the records, not only equal texts.
bool same_lines(const Lines& a, const Lines& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].data() != b[i].data() || a[i].size() != b[i].size())
            return false;
    return true;
}

bool hex_digits(std::string_view s) {
    for (char c : s)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

// The rules read plainly, one pass at a time: -1, 0 or 1, and the expected lines.
bool is(std::string_view line, char type) {
    return line.size() >= 2 && line[0] == 'S' && line[1] == type;
}

int reference_pass(const Lines& in, int bank, Lines& out) {
    out.clear();
    bool s9 = false;
    for (std::string_view line : in) {
        if (s9 && (is(line, '1') || is(line, '2') || is(line, '3')))
            return -1;
        if (is(line, '1') && (line.size() < 8 || !hex_digits(line.substr(4, 4))))
            return -1;
        if (is(line, '2') && (line.size() < 10 || !hex_digits(line.substr(4, 6))))
            return -1;
        s9 = s9 || is(line, '9');
    }
    if (!s9)
        return -1;
    const std::uint32_t first = mk::bank_first_address(bank);
    bool inserted = false;
    int result = 0;
    for (std::string_view line : in) {
        if (is(line, '2')) {
            std::uint32_t address = 0;
            for (char c : line.substr(4, 6))
                address = address * 16 +
                          static_cast<std::uint32_t>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
            if (address >= first && address < first + 0x4000) {
                if (!inserted)
                    out.insert(out.end(), records(bank).lines.begin(), records(bank).lines.end());
                inserted = true;
                continue;
            }
        }
        if (is(line, '9'))
            result = inserted ? 1 : 0;
        out.push_back(line);
    }
    return result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Lines base_lines, after1, merged, ref1, ref2;
    const std::string_view base(reinterpret_cast<const char*>(data), size);
    mk::NoProgress progress;
    const mk::ImageMerge m =
        mk::merge_image(base, records(1), records(2), base_lines, after1, merged, progress);
    // The reference reads the same lines: splitting is checked by the unit tests.
    const int r1 = reference_pass(base_lines, 1, ref1);
    if (m.pass1.result != r1 || (r1 < 0) != (m.pass1.stop != mk::PassStop::None))
        __builtin_trap();
    if (r1 < 0) {
        if (m.complete() || !merged.empty())
            __builtin_trap();
        return 0;
    }
    const int r2 = reference_pass(ref1, 2, ref2);
    if (m.pass2.result != r2 || !m.complete() || !same_lines(merged, ref2))
        __builtin_trap();
    return 0;
}
