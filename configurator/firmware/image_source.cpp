#include "firmware/image_source.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <system_error>

#include "firmware/banks.h"
#include "firmware/image_reader.h"
#include "firmware/merge_core.h"
#include "firmware/srecord_merge.h"

namespace mk {

namespace {

namespace fs = std::filesystem;

std::string hex_text(std::uint32_t value, int digits) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%0*X", digits, static_cast<unsigned>(value));
    return buffer;
}

// Which bytes of one bank page the records have filled.
struct Page {
    int bank;
    std::uint32_t first;
    std::vector<std::uint8_t>& bytes;
    std::vector<bool> filled = std::vector<bool>(kBankSize, false);

    void put(std::uint32_t address, std::uint8_t byte) {
        if (address < first || address - first >= kBankSize)
            return;
        bytes[address - first] = byte;
        filled[address - first] = true;
    }

    void check_complete(const std::string& name) const {
        std::size_t missing = 0;
        while (missing < kBankSize && filled[missing])
            ++missing;
        if (missing == kBankSize)
            return;
        const bool none = std::find(filled.begin(), filled.end(), true) == filled.end();
        const std::string page = "bank " + std::to_string(bank) + " page (" + hex_text(first, 6) +
                                 " to " + hex_text(first + kBankSize - 1, 6) + ")";
        if (none)
            throw ImageError(name + " holds no records of the " + page +
                             ": it is not a configured firmware image");
        throw ImageError(name + ": the " + page + " is incomplete; no record holds address " +
                         hex_text(first + static_cast<std::uint32_t>(missing), 6));
    }
};

std::vector<std::uint8_t> read_bank_file(const fs::path& file) {
    std::error_code ec;
    if (!fs::is_regular_file(file, ec))
        throw ImageError("No " + file.filename().string() + " in " + file.parent_path().string());
    const auto size = fs::file_size(file, ec);
    if (ec)
        throw ImageError("Cannot read " + file.string());
    if (size != kBankSize)
        throw ImageError(file.string() + " holds " + std::to_string(size) +
                         " bytes; a bank file holds " + std::to_string(kBankSize));
    const auto content = read_file_limited(file, kBankSize);
    if (!content || content->size() != kBankSize)
        throw ImageError("Cannot read " + file.string());
    return {content->begin(), content->end()};
}

} // namespace

ImageBanks banks_from_srecords(std::string_view text, const std::string& name) {
    ImageBanks banks;
    banks.bank1.assign(kBankSize, 0);
    banks.bank2.assign(kBankSize, 0);
    Page page1{1, bank_first_address(1), banks.bank1};
    Page page2{2, bank_first_address(2), banks.bank2};
    bool ended = false;
    std::size_t line_number = 0;
    std::vector<std::uint8_t> bytes;
    while (!text.empty()) {
        const std::size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
        ++line_number;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty())
            continue;
        const std::string place = name + ", line " + std::to_string(line_number);
        if (line.size() < 4 || line[0] != 'S' || line[1] < '0' || line[1] > '9')
            throw ImageError(place + ": not an S-record");
        // Byte count, then the bytes it counts (address, data, checksum), two digits each.
        bytes.clear();
        for (std::size_t i = 2; i + 1 < line.size(); i += 2) {
            const int hi = hex_value(line[i]);
            const int lo = hex_value(line[i + 1]);
            if (hi < 0 || lo < 0)
                throw ImageError(place +
                                 ": a character that is not a hexadecimal digit at column " +
                                 std::to_string(hi < 0 ? i + 1 : i + 2));
            bytes.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
        }
        if (line.size() % 2 != 0 || bytes.size() != 1u + bytes[0])
            throw ImageError(place + ": the record's length does not match its byte count " +
                             "(the file may be cut short)");
        unsigned sum = 0;
        for (std::size_t i = 0; i + 1 < bytes.size(); ++i)
            sum += bytes[i];
        const auto expected = static_cast<std::uint8_t>(~sum & 0xFF);
        if (bytes.back() != expected)
            throw ImageError(place + ": bad checksum " + hex_text(bytes.back(), 2) +
                             ", the bytes give " + hex_text(expected, 2));
        const char type = line[1];
        if (type == '7' || type == '8' || type == '9') {
            ended = true;
            continue;
        }
        if (type < '1' || type > '3')
            continue;
        const std::size_t address_bytes = static_cast<std::size_t>(type - '1') + 2;
        if (bytes.size() < 2 + address_bytes)
            throw ImageError(place + ": the record is too short for its address");
        std::uint32_t address = 0;
        for (std::size_t i = 1; i <= address_bytes; ++i)
            address = (address << 8) | bytes[i];
        for (std::size_t i = 1 + address_bytes; i + 1 < bytes.size(); ++i, ++address) {
            page1.put(address, bytes[i]);
            page2.put(address, bytes[i]);
        }
    }
    if (!ended)
        throw ImageError(name + " has no end record (S7, S8 or S9): the file is cut short");
    page1.check_complete(name);
    page2.check_complete(name);
    return banks;
}

ImageBanks load_image_source(const fs::path& source) {
    std::error_code ec;
    if (fs::is_directory(source, ec)) {
        fs::path dir = source;
        if (!fs::exists(dir / "bank1.bin", ec) && fs::exists(dir / "bin" / "bank1.bin", ec))
            dir /= "bin";
        return {read_bank_file(dir / "bank1.bin"), read_bank_file(dir / "bank2.bin")};
    }
    if (!fs::exists(source, ec))
        throw ImageError(source.string() + " not found");
    const auto text = read_file_limited(source, kMaxImageSize);
    if (!text)
        throw ImageError("Cannot read " + source.string() +
                         " (a firmware image is at most 256 MB)");
    return banks_from_srecords(*text, source.string());
}

} // namespace mk
