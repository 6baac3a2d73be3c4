#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace mk {

// The one reading of an S-record line, for the merge (which checks the whole base image before
// it writes anything) and for the image reader of mosaicor-inspect.

// The longest S-record line: "S", the type, the byte count and the 255 bytes it can count.
inline constexpr std::size_t kMaxRecordLineLength = 4 + 2 * 255;

// The address bytes of a record type: 2 for S0, S1, S5 and S9, 3 for S2, S6 and S8, 4 for S3 and
// S7; 0 for S4, a type no S-record file uses.
std::size_t address_size(char type);

// One line read as an S-record.
struct SRecord {
    char type = 0; // '0' to '9'
    std::size_t address_size = 0;
    std::uint32_t address = 0;
    std::size_t data_size = 0;
    // The byte count, then the bytes it counts: address, data, checksum.
    std::array<std::uint8_t, 256> bytes{};

    const std::uint8_t* data() const { return bytes.data() + 1 + address_size; }
    // S1, S2 and S3 records carry memory contents; the other types carry none.
    bool carries_data() const { return type >= '1' && type <= '3'; }
};

// Why a line is not an S-record.
struct LineFault {
    enum Kind : std::uint8_t {
        None,
        EmptyLine,       // only the last line of a file may be empty
        NotARecord,      // does not start with "S" and a digit
        ReservedType,    // S4
        TooLong,         // longer than kMaxRecordLineLength
        NotHex,          // a character that is not a hexadecimal digit
        LengthMismatch,  // the line's length does not match its byte count
        BadChecksum,     //
        ShortForAddress, // the byte count leaves no room for the type's address
    };
    Kind kind = None;
    std::size_t column = 0; // 1-based (NotHex)
    std::size_t length = 0; // the line's length (TooLong)
    std::uint8_t found = 0; // the character (NotARecord, NotHex) or the checksum (BadChecksum)
    std::uint8_t expected = 0;
    bool byte_order_mark = false;

    explicit operator bool() const { return kind != None; }
};

// Reads one line (without its line end). Returns the fault, or no fault with `record` filled.
LineFault read_srecord(std::string_view line, SRecord& record);

// What is wrong, as it follows "<file>, line <n>: ".
std::string describe(const LineFault& fault);

// Where reading a text stopped: the 1-based line, and its fault; no fault when the visitor
// stopped there.
struct TextStop {
    std::size_t line = 0;
    LineFault fault;
    bool stopped() const { return line != 0; }
};

// Reads `lines` in order and hands each record to `visit(index, record)`, which returns false to
// stop there. Every line must be an S-record, except that the last line may be empty.
template <typename Visit>
TextStop read_srecord_lines(std::span<const std::string_view> lines, SRecord& record,
                            Visit&& visit) {
    for (std::size_t n = 0; n < lines.size(); ++n) {
        if (lines[n].empty() && n + 1 == lines.size())
            break;
        if (const LineFault fault = read_srecord(lines[n], record))
            return {n + 1, fault};
        if (!visit(n, static_cast<const SRecord&>(record)))
            return {n + 1, {}};
    }
    return {};
}

// The same over S-record text, split at LF (a CR before it dropped) as it is read; `visit` gets
// each line and its record.
template <typename Visit>
TextStop read_srecord_text(std::string_view text, SRecord& record, Visit&& visit) {
    std::size_t number = 0;
    while (!text.empty()) {
        const std::size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty() && text.empty())
            break;
        if (const LineFault fault = read_srecord(line, record))
            return {number, fault};
        if (!visit(line, static_cast<const SRecord&>(record)))
            return {number, {}};
    }
    return {};
}

// The text of a record (without a line end): upper-case digits, its own count and checksum.
std::string record_text(char type, std::size_t address_size, std::uint32_t address,
                        const std::uint8_t* data, std::size_t size);

} // namespace mk
