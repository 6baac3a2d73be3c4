#include "transfer/csv_export.h"

#include <array>
#include <cstdint>
#include <optional>
#include <system_error>

#include "core/atomic_file.h"
#include "core/user_error.h"

namespace mk {

namespace {

// Windows-1252 bytes 0x80..0x9F and the characters they stand for; 0 where the code page
// leaves the byte undefined.
constexpr std::array<std::uint16_t, 32> kHighControls = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

std::optional<char> windows_1252_byte(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return static_cast<char>(c);
    for (std::size_t i = 0; i < kHighControls.size(); ++i)
        if (kHighControls[i] != 0 && kHighControls[i] == c)
            return static_cast<char>(0x80 + i);
    return std::nullopt;
}

// The next character of UTF-8 text, or nothing for a byte that does not start a well-formed
// sequence (which then counts as one character).
std::optional<char32_t> next_utf8(std::string_view text, std::size_t& pos) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(pos);
    std::size_t length = 0;
    char32_t c = 0;
    if (lead < 0x80) {
        ++pos;
        return lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        c = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        c = lead & 0x07;
    } else {
        ++pos;
        return std::nullopt;
    }
    if (pos + length > text.size()) {
        ++pos;
        return std::nullopt;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(pos + i) & 0xC0) != 0x80) {
            ++pos;
            return std::nullopt;
        }
        c = (c << 6) | (byte(pos + i) & 0x3F);
    }
    // Overlong forms, surrogates and values beyond Unicode are not characters.
    static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kSmallest[length] || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
        ++pos;
        return std::nullopt;
    }
    pos += length;
    return c;
}

} // namespace

std::filesystem::path csv_path(const TableSchema& table, const std::filesystem::path& folder) {
    std::filesystem::path name(table.file_name);
    name.replace_extension(".csv");
    return folder / name;
}

std::string csv_field(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos)
        return std::string(text);
    std::string out = "\"";
    for (char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
    return out;
}

std::string to_windows_1252(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const std::optional<char32_t> c = next_utf8(utf8, pos);
        const std::optional<char> b = c ? windows_1252_byte(*c) : std::nullopt;
        out += b ? *b : '?';
    }
    return out;
}

std::string from_windows_1252(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const char byte : bytes) {
        const auto b = static_cast<unsigned char>(byte);
        char32_t c = b;
        if (b >= 0x80 && b <= 0x9F)
            c = kHighControls[b - 0x80] ? kHighControls[b - 0x80] : U'?';
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

bool is_utf8(std::string_view bytes) {
    std::size_t pos = 0;
    while (pos < bytes.size())
        if (!next_utf8(bytes, pos))
            return false;
    return true;
}

std::string csv_bytes(const std::vector<CsvRecord>& records) {
    std::string text;
    for (const CsvRecord& record : records) {
        for (std::size_t i = 0; i < record.size(); ++i) {
            if (i)
                text += ',';
            text += csv_field(record[i]);
        }
        text += "\r\n";
    }
    return to_windows_1252(text);
}

void write_csv(const std::filesystem::path& path, const std::vector<CsvRecord>& records) {
    const std::string bytes = csv_bytes(records);
    try {
        write_file_atomically(path, bytes);
    } catch (const std::system_error& e) {
        throw UserError(save_error_message(path, write_failure_reason(path, e.code())));
    }
}

} // namespace mk
