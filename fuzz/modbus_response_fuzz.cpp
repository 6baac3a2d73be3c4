// Modbus responses: whatever a slave sends, the check stays inside the receive and transfer
// buffers and never crashes.
#include <cstdint>
#include <span>

#include "regprobe/modbus_frame.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::uint8_t function = data[0];
    std::span<const std::uint8_t> response(data + 1, size - 1);
    if (response.size() > rp::kReceiveBufferSize)
        response = response.first(rp::kReceiveBufferSize);
    (void)rp::expected_response_size(response);
    // The quantities a read answer's byte count gives for words and for bits, so the decoding
    // is reached, and the limits.
    const std::size_t count = response.size() > 8 ? response[8] : 0;
    for (const std::size_t asked : {count / 2, count * 8, std::size_t{125}, std::size_t{0xFFFF}}) {
        rp::TransferBuffer buffer{};
        (void)rp::accept_response(function, static_cast<std::uint16_t>(asked), response, buffer);
    }
    (void)rp::error_log_text(response);
    return 0;
}
