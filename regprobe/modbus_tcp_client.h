#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "regprobe/error_log.h"
#include "regprobe/modbus_frame.h"
#include "regprobe/tcp_connection.h"
#include "regprobe/traffic.h"

namespace rp {

// Once part of a response has come, a pause this long ends the wait for the rest. Longer than
// the pause a slave's TCP stack may put between two pieces of one answer (a delayed
// acknowledgement holding back the second piece lasts up to 200 ms), short enough that a slave
// announcing more than it sends costs a quarter second per request instead of the time-out.
inline constexpr std::chrono::milliseconds kResponseQuietGap{250};

// Modbus TCP master: one slave, one connection per transaction. Every operation connects,
// sends one request, waits for one response and disconnects, blocking the calling thread.
// The public fields are the component's properties; they keep the values of the last
// transaction.
class TModbusTcpClient {
public:
    std::string Host;
    std::uint16_t Port = 502;
    std::uint8_t UnitID = 1;
    std::uint32_t TimeOut = 15000; // ms to wait for the response; 0 = do not wait
    // ms; -1 = none of its own: the connect is bounded by TimeOut (by the system if that is 0)
    std::int32_t ConnectTimeOut = -1;
    std::uint8_t ModBusFunction = 0;
    std::uint16_t RegNumber = 0; // counted from 1; the wire carries RegNumber - 1
    std::uint16_t BlockLength = 0;

    // Where exception responses are logged; relative paths are taken in the current directory.
    std::filesystem::path ErrorLogPath = kErrorLogName;
    // Date and time at the start of a log line.
    std::function<std::string()> LogStamp;
    // When set, called with every request as it is sent and every response as it was taken
    // (also one that failed the check); not called when nothing came.
    std::function<void(FrameDirection, std::span<const std::uint8_t>)> OnFrame;

    TModbusTcpClient();

    static std::string_view Version() { return "0.3.0"; }

    TransferBuffer& Buffer() { return buffer_; }
    const TransferBuffer& Buffer() const { return buffer_; }

    // Reads values.size() holding registers from register number regNumber into values.
    // At most 125 are asked of the slave; the rest of values is 0. A count above 65535
    // asks for 65535.
    bool ReadHoldingRegisters(std::uint16_t regNumber, std::span<std::uint16_t> values);
    bool WriteSingleRegister(std::uint16_t regNumber, std::uint16_t value);
    // Writes the values from register number regNumber; at most the first 123 go out.
    bool WriteMultipleRegisters(std::uint16_t regNumber, std::span<const std::uint16_t> values);

    // The protocol step on an open connection, from the properties and the buffer.
    bool Transaction();

    void Connect();
    bool Connected() const { return connection_.connected(); }
    void Disconnect() { connection_.disconnect(); }

    // The bytes of the last response, as they were checked.
    std::span<const std::uint8_t> LastResponse() const { return {received_.data(), count_}; }
    // From the request sent to the last byte of its response received; 0 when nothing came.
    std::chrono::microseconds LastResponseTime() const { return response_time_; }

private:
    // The connect's time-out: ConnectTimeOut when set (above 0), otherwise TimeOut, and the
    // system's own when neither is set.
    std::int32_t connect_time_out() const;
    bool run_transaction();
    void receive_response(std::chrono::steady_clock::time_point sent);
    void log_failure();

    TcpConnection connection_;
    TransferBuffer buffer_{};
    std::array<std::uint8_t, kReceiveBufferSize> received_{};
    std::size_t count_ = 0;
    std::chrono::microseconds response_time_{0};
};

} // namespace rp
