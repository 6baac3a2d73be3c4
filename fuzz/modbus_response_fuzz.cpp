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
    rp::TransferBuffer buffer{};
    (void)rp::accept_response(function, response, buffer);
    (void)rp::error_log_text(response);
    return 0;
}
