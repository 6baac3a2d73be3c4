#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace rp {

// Register values exchanged between the caller and the protocol step.
inline constexpr std::size_t kTransferBufferSize = 256;
using TransferBuffer = std::array<std::uint16_t, kTransferBufferSize>;

// The largest response taken from the slave; further bytes stay unread.
inline constexpr std::size_t kReceiveBufferSize = 266;

// Quantity limits per function.
inline constexpr std::uint16_t kMaxReadBits = 250;       // functions 1, 2 and 15
inline constexpr std::uint16_t kMaxReadRegisters = 125;  // functions 3 and 4
inline constexpr std::uint16_t kMaxWriteRegisters = 123; // function 16

// Raised for a function code the client does not frame.
class UnsupportedFunction : public std::invalid_argument {
public:
    explicit UnsupportedFunction(std::uint8_t function);
};

struct RequestFields {
    std::uint8_t unit_id = 1;
    std::uint8_t function = 0;
    std::uint16_t reg_number = 0;   // counted from 1; the wire carries reg_number - 1
    std::uint16_t block_length = 0; // quantity before the function's limit
};

bool is_framed_function(std::uint8_t function);

// The whole request (MBAP header and PDU) for functions 1 to 6, 15 and 16; the values to write
// come from the buffer. Any other function raises UnsupportedFunction.
std::vector<std::uint8_t> build_request(const RequestFields& fields, const TransferBuffer& buffer);

// The number of bytes at which a response that starts with `received` is complete: six plus the
// length its header announces, bounded by the receive buffer. Bytes that do not start a Modbus
// TCP header (protocol identifier not 0, length below 2) are complete as they are.
std::size_t expected_response_size(std::span<const std::uint8_t> received);

// Checks a response to a request for `function` and `block_length` (the quantity before the
// function's limit). True when it carries that function code and, for reads, a byte count that
// gives exactly the bits or registers the request asked for, with all of its data; the decoded
// bits or words are then stored into the buffer from value 0. False for an exception response,
// a response too short to hold the function code, a read whose byte count runs past the bytes
// that arrived, or a read answered with more or fewer values than were asked (nothing is
// stored then: values that never came must not read as zeros).
bool accept_response(std::uint8_t function, std::uint16_t block_length,
                     std::span<const std::uint8_t> response, TransferBuffer& buffer);

// The byte count a read answer must carry: (Q + 7) / 8 for bits, 2 Q for registers, Q being
// the quantity the request asked for. 0 for the other functions.
std::size_t expected_byte_count(std::uint8_t function, std::uint16_t block_length);

// "ERR: Ricevuti %d byte %s": the byte count and every byte as two upper-case hexadecimal
// characters, right-aligned, each followed by a comma.
std::string error_log_text(std::span<const std::uint8_t> response);

} // namespace rp
