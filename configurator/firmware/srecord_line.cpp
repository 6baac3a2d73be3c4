#include "firmware/srecord_line.h"

#include "core/integer_text.h"

#include <cstdio>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace mk {

namespace {

constexpr std::uint8_t kNotHex = 0xFF;

constexpr std::array<std::uint8_t, 256> make_hex_table() {
    std::array<std::uint8_t, 256> t{};
    for (int c = 0; c < 256; ++c) {
        const int v = hex_digit_value(static_cast<char>(c));
        t[static_cast<std::size_t>(c)] = v < 0 ? kNotHex : static_cast<std::uint8_t>(v);
    }
    return t;
}
constexpr std::array<std::uint8_t, 256> kHexTable = make_hex_table();

// The value of two hexadecimal digits, indexed by the first digit's byte in the low half and the
// second's in the high half (the order they have in memory read as a little-endian word); 0x100
// and above for a pair that is not two digits. One look-up per byte keeps the reading of a whole
// image about as fast as copying it.
struct PairTable {
    std::array<std::uint16_t, 65536> value;
    PairTable() {
        for (unsigned i = 0; i < 65536; ++i) {
            const std::uint8_t first = kHexTable[i & 0xFF];
            const std::uint8_t second = kHexTable[i >> 8];
            value[i] = first == kNotHex || second == kNotHex
                           ? std::uint16_t{0x100}
                           : static_cast<std::uint16_t>(first << 4 | second);
        }
    }
};
const PairTable kPairs;

std::uint16_t pair_value(const unsigned char* at) {
    return kPairs.value[static_cast<unsigned>(at[0]) | static_cast<unsigned>(at[1]) << 8];
}

std::string hex2(unsigned v) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", v & 0xFFu);
    return text;
}

// A character named so that it can be seen in a message.
std::string character(std::uint8_t c) {
    if (c == ' ')
        return "a space";
    if (c == '\t')
        return "a tab";
    if (c == '\r')
        return "a carriage return";
    if (c == 0)
        return "a NUL byte";
    if (c < 0x20 || c >= 0x7F)
        return "the byte " + hex2(c);
    return std::string("\"") + static_cast<char>(c) + "\"";
}

} // namespace

std::size_t address_size(char type) {
    switch (type) {
    case '0':
    case '1':
    case '5':
    case '9':
        return 2;
    case '2':
    case '6':
    case '8':
        return 3;
    case '3':
    case '7':
        return 4;
    default:
        return 0;
    }
}

LineFault read_srecord(std::string_view line, SRecord& record) {
    LineFault fault;
    if (line.empty()) {
        fault.kind = LineFault::EmptyLine;
        return fault;
    }
    if (line.size() < 2 || line[0] != 'S' || line[1] < '0' || line[1] > '9') {
        fault.kind = LineFault::NotARecord;
        fault.found = static_cast<std::uint8_t>(line[0]);
        fault.byte_order_mark = line.starts_with("\xEF\xBB\xBF");
        return fault;
    }
    if (line[1] == '4') {
        fault.kind = LineFault::ReservedType;
        return fault;
    }
    if (line.size() > kMaxRecordLineLength) {
        fault.kind = LineFault::TooLong;
        fault.length = line.size();
        return fault;
    }
    // The byte count, then the bytes it counts, two digits each; at most 256 pairs fit.
    const auto* chars = reinterpret_cast<const unsigned char*>(line.data());
    const std::size_t pairs = (line.size() - 2) / 2;
    unsigned sum = 0;
    unsigned bad = 0;
    std::size_t k = 0;
#if defined(__SSE2__)
    // Sixteen digits at a time: each is checked and given its value in parallel, then the pairs
    // are joined into eight bytes and summed.
    const __m128i zero = _mm_setzero_si128();
    __m128i invalid = zero;
    __m128i total = zero;
    for (; k + 8 <= pairs; k += 8) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(chars + 2 + 2 * k));
        const __m128i d = _mm_sub_epi8(c, _mm_set1_epi8('0'));
        const __m128i is_digit = _mm_cmpeq_epi8(_mm_min_epu8(d, _mm_set1_epi8(9)), d);
        const __m128i l = _mm_sub_epi8(_mm_or_si128(c, _mm_set1_epi8(0x20)), _mm_set1_epi8('a'));
        const __m128i is_letter = _mm_cmpeq_epi8(_mm_min_epu8(l, _mm_set1_epi8(5)), l);
        invalid = _mm_or_si128(invalid, _mm_cmpeq_epi8(_mm_or_si128(is_digit, is_letter), zero));
        const __m128i value =
            _mm_or_si128(_mm_and_si128(is_digit, d),
                         _mm_and_si128(is_letter, _mm_add_epi8(l, _mm_set1_epi8(10))));
        const __m128i first = _mm_and_si128(value, _mm_set1_epi16(0x00FF));
        const __m128i joined = _mm_or_si128(_mm_slli_epi16(first, 4), _mm_srli_epi16(value, 8));
        const __m128i packed = _mm_packus_epi16(joined, zero);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(record.bytes.data() + k), packed);
        total = _mm_add_epi64(total, _mm_sad_epu8(packed, zero));
    }
    if (_mm_movemask_epi8(invalid) != 0)
        bad = 0x100;
    sum = static_cast<unsigned>(_mm_cvtsi128_si32(total));
#endif
    for (; k < pairs; ++k) {
        const std::uint16_t v = pair_value(chars + 2 + 2 * k);
        bad |= v;
        record.bytes[k] = static_cast<std::uint8_t>(v);
        sum += static_cast<std::uint8_t>(v);
    }
    // The odd character of a line of odd length is in no pair: a space or a CR left at the end
    // of a record is named as such, not as a length that does not match.
    if (line.size() % 2 != 0 && kHexTable[chars[line.size() - 1]] == kNotHex)
        bad |= 0x100;
    if (bad & 0x100) {
        // The first character that is not a digit, for the message.
        std::size_t at = 2;
        while (kHexTable[chars[at]] != kNotHex)
            ++at;
        fault.kind = LineFault::NotHex;
        fault.column = at + 1;
        fault.found = chars[at];
        return fault;
    }
    if (line.size() % 2 != 0 || pairs == 0 || pairs != 1u + record.bytes[0]) {
        fault.kind = LineFault::LengthMismatch;
        return fault;
    }
    const std::uint8_t checksum = record.bytes[pairs - 1];
    const auto expected = static_cast<std::uint8_t>(~(sum - checksum) & 0xFF);
    if (checksum != expected) {
        fault.kind = LineFault::BadChecksum;
        fault.found = checksum;
        fault.expected = expected;
        return fault;
    }
    record.type = line[1];
    record.address_size = address_size(record.type);
    // The count covers the address and the checksum at least.
    if (record.bytes[0] < record.address_size + 1) {
        fault.kind = LineFault::ShortForAddress;
        return fault;
    }
    record.address = 0;
    for (std::size_t i = 1; i <= record.address_size; ++i)
        record.address = record.address << 8 | record.bytes[i];
    record.data_size = record.bytes[0] - record.address_size - 1;
    return fault;
}

std::string describe(const LineFault& fault) {
    switch (fault.kind) {
    case LineFault::None:
        break;
    case LineFault::EmptyLine:
        return "an empty line (only the last line may be empty)";
    case LineFault::NotARecord:
        if (fault.byte_order_mark)
            return "not an S-record (it starts with a UTF-8 byte-order mark)";
        if (fault.found == 's')
            return "not an S-record (a lower-case \"s\": records start with \"S\")";
        if (fault.found == 'S' || (fault.found >= 0x21 && fault.found < 0x7F))
            return "not an S-record";
        return "not an S-record (it starts with " + character(fault.found) + ")";
    case LineFault::ReservedType:
        return "an S4 record, a type that S-record files do not use";
    case LineFault::TooLong:
        return "the line is " + std::to_string(fault.length) +
               " characters long; an S-record has at most " + std::to_string(kMaxRecordLineLength);
    case LineFault::NotHex: {
        std::string text =
            "a character that is not a hexadecimal digit at column " + std::to_string(fault.column);
        if (fault.found < 0x21 || fault.found >= 0x7F)
            text += " (" + character(fault.found) + ")";
        return text;
    }
    case LineFault::LengthMismatch:
        return "the record's length does not match its byte count (the file may be cut short)";
    case LineFault::BadChecksum:
        return "bad checksum " + hex2(fault.found) + ", the bytes give " + hex2(fault.expected);
    case LineFault::ShortForAddress:
        return "the record is too short for its address";
    }
    return "";
}

std::string record_text(char type, std::size_t address_size, std::uint32_t address,
                        const std::uint8_t* data, std::size_t size) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(4 + 2 * (address_size + size + 1));
    const auto put = [&](std::uint8_t b) {
        out += kHex[b >> 4];
        out += kHex[b & 0x0F];
    };
    const auto count = static_cast<std::uint8_t>(address_size + size + 1);
    unsigned sum = count;
    out += 'S';
    out += type;
    put(count);
    for (std::size_t i = address_size; i-- > 0;) {
        const auto b = static_cast<std::uint8_t>(address >> (8 * i));
        sum += b;
        put(b);
    }
    for (std::size_t i = 0; i < size; ++i) {
        sum += data[i];
        put(data[i]);
    }
    put(static_cast<std::uint8_t>(~sum & 0xFF));
    return out;
}

} // namespace mk
