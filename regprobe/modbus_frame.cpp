#include "regprobe/modbus_frame.h"

#include <algorithm>
#include <cstdio>

namespace rp {

namespace {

void put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
}

std::uint16_t get16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint16_t>((b[at] << 8) | b[at + 1]);
}

constexpr std::size_t kHeaderSize = 6;  // transaction, protocol, length
constexpr std::size_t kFunctionAt = 7;  // after the unit identifier
constexpr std::size_t kByteCountAt = 8; // read responses
constexpr std::size_t kDataAt = 9;

} // namespace

UnsupportedFunction::UnsupportedFunction(std::uint8_t function)
    : std::invalid_argument("Modbus function " + std::to_string(function) + " is not supported.") {}

bool is_framed_function(std::uint8_t function) {
    switch (function) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
    case 15:
    case 16:
        return true;
    default:
        return false;
    }
}

std::vector<std::uint8_t> build_request(const RequestFields& f, const TransferBuffer& buffer) {
    if (!is_framed_function(f.function))
        throw UnsupportedFunction(f.function);
    std::uint16_t word = 0;         // offset 10: quantity or value
    std::vector<std::uint8_t> data; // byte count and data of functions 15 and 16
    switch (f.function) {
    case 1:
    case 2:
        word = std::min(f.block_length, kMaxReadBits);
        break;
    case 3:
    case 4:
        word = std::min(f.block_length, kMaxReadRegisters);
        break;
    case 5:
        word = buffer[0] != 0 ? 0xFF00 : 0x0000;
        break;
    case 6:
        word = buffer[0];
        break;
    case 15: {
        word = std::min(f.block_length, kMaxReadBits);
        data.assign((word + 7u) / 8u, 0);
        for (std::size_t k = 0; k < word; ++k)
            if (buffer[k] != 0)
                data[k / 8] |= static_cast<std::uint8_t>(1u << (k % 8));
        break;
    }
    case 16:
        word = std::min(f.block_length, kMaxWriteRegisters);
        for (std::size_t k = 0; k < word; ++k)
            put16(data, buffer[k]);
        break;
    }
    const bool multiple = f.function == 15 || f.function == 16;
    const auto length = static_cast<std::uint16_t>(multiple ? data.size() + 7 : 6);

    std::vector<std::uint8_t> out;
    out.reserve(length + kHeaderSize);
    put16(out, 0); // transaction identifier
    put16(out, 0); // protocol identifier
    put16(out, length);
    out.push_back(f.unit_id);
    out.push_back(f.function);
    put16(out, static_cast<std::uint16_t>(f.reg_number - 1u)); // register 0 wraps to 65535
    put16(out, word);
    if (multiple) {
        out.push_back(static_cast<std::uint8_t>(data.size()));
        out.insert(out.end(), data.begin(), data.end());
    }
    return out;
}

std::size_t expected_response_size(std::span<const std::uint8_t> received) {
    if (received.size() < kHeaderSize)
        return kReceiveBufferSize;
    const std::uint16_t protocol = get16(received, 2);
    const std::uint16_t length = get16(received, 4);
    if (protocol != 0 || length < 2)
        return received.size();
    return std::min(kHeaderSize + length, kReceiveBufferSize);
}

std::size_t expected_byte_count(std::uint8_t function, std::uint16_t block_length) {
    switch (function) {
    case 1:
    case 2:
        return (std::min(block_length, kMaxReadBits) + 7u) / 8u;
    case 3:
    case 4:
        return 2u * std::min(block_length, kMaxReadRegisters);
    default:
        return 0;
    }
}

bool accept_response(std::uint8_t function, std::uint16_t block_length,
                     std::span<const std::uint8_t> r, TransferBuffer& buffer) {
    if (r.size() <= kFunctionAt || r[kFunctionAt] != function)
        return false;
    const bool bits = function == 1 || function == 2;
    const bool words = function == 3 || function == 4;
    if (!bits && !words)
        return true;
    if (r.size() <= kByteCountAt)
        return false;
    const std::size_t byte_count = r[kByteCountAt];
    if (byte_count != expected_byte_count(function, block_length) ||
        kDataAt + byte_count > r.size())
        return false;
    const auto data = r.subspan(kDataAt, byte_count);
    if (bits) {
        const std::size_t n = std::min<std::size_t>(byte_count * 8, kMaxReadBits);
        for (std::size_t k = 0; k < n; ++k)
            buffer[k] = (data[k / 8] >> (k % 8)) & 1u;
    } else {
        const std::size_t n = std::min<std::size_t>(byte_count / 2, kMaxReadRegisters);
        for (std::size_t k = 0; k < n; ++k)
            buffer[k] = get16(data, 2 * k);
    }
    return true;
}

std::string error_log_text(std::span<const std::uint8_t> response) {
    std::string text = "ERR: Ricevuti " + std::to_string(response.size()) + " byte ";
    char cell[4];
    for (std::uint8_t b : response) {
        std::snprintf(cell, sizeof cell, "%2X,", static_cast<unsigned>(b));
        text += cell;
    }
    return text;
}

} // namespace rp
