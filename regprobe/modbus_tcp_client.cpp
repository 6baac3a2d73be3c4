#include "regprobe/modbus_tcp_client.h"

#include <algorithm>
#include <chrono>
#include <cstdint>

namespace rp {

namespace {

std::uint16_t clamp_count(std::size_t n) {
    return static_cast<std::uint16_t>(std::min<std::size_t>(n, 0xFFFF));
}

// Disconnects when it goes out of scope, also when the operation raised.
class DisconnectAtEnd {
public:
    explicit DisconnectAtEnd(TModbusTcpClient& c) : client_(c) {}
    ~DisconnectAtEnd() { client_.Disconnect(); }
    DisconnectAtEnd(const DisconnectAtEnd&) = delete;
    DisconnectAtEnd& operator=(const DisconnectAtEnd&) = delete;

private:
    TModbusTcpClient& client_;
};

// Every request is one connection of its own: connect, send and read inside `exchange`, and
// disconnect at the end, also when the exchange raised. No connection, no exchange: false.
template <typename Exchange>
bool over_own_connection(TModbusTcpClient& client, Exchange&& exchange) {
    client.Connect();
    DisconnectAtEnd end(client);
    if (!client.Connected())
        return false;
    return exchange();
}

} // namespace

TModbusTcpClient::TModbusTcpClient() : LogStamp([] { return local_date_time(); }) {}

// Without a connect time-out of its own the connect is bounded by the response time-out, as
// the rest of the transaction is: left to the system, a host that drops packets would block
// the caller for more than two minutes of connection retries.
std::int32_t TModbusTcpClient::connect_time_out() const {
    if (ConnectTimeOut > 0 || TimeOut == 0)
        return ConnectTimeOut;
    return static_cast<std::int32_t>(std::min<std::uint32_t>(TimeOut, INT32_MAX));
}

void TModbusTcpClient::Connect() {
    connection_.connect(Host, Port, connect_time_out());
}

bool TModbusTcpClient::ReadHoldingRegisters(std::uint16_t regNumber,
                                            std::span<std::uint16_t> values) {
    ModBusFunction = 3;
    BlockLength = clamp_count(values.size());
    RegNumber = regNumber;
    return over_own_connection(*this, [&] {
        buffer_.fill(0);
        const bool ok = Transaction();
        // Values past the transfer buffer have no source; they read as 0 like those past the
        // 125th.
        const std::size_t n = std::min(values.size(), buffer_.size());
        std::copy_n(buffer_.begin(), n, values.begin());
        std::fill(values.begin() + static_cast<std::ptrdiff_t>(n), values.end(), 0);
        return ok;
    });
}

bool TModbusTcpClient::WriteSingleRegister(std::uint16_t regNumber, std::uint16_t value) {
    ModBusFunction = 6;
    RegNumber = regNumber;
    buffer_[0] = value;
    return over_own_connection(*this, [&] { return Transaction(); });
}

bool TModbusTcpClient::WriteMultipleRegisters(std::uint16_t regNumber,
                                              std::span<const std::uint16_t> values) {
    ModBusFunction = 16;
    BlockLength = clamp_count(values.size());
    RegNumber = regNumber;
    return over_own_connection(*this, [&] {
        std::copy_n(values.begin(), std::min<std::size_t>(values.size(), kMaxWriteRegisters),
                    buffer_.begin());
        return Transaction();
    });
}

bool TModbusTcpClient::Transaction() {
    try {
        return run_transaction();
    } catch (...) {
        Disconnect();
        throw;
    }
}

bool TModbusTcpClient::run_transaction() {
    const auto request = build_request({UnitID, ModBusFunction, RegNumber, BlockLength}, buffer_);
    count_ = 0;
    response_time_ = std::chrono::microseconds{0};
    connection_.write_all(request);
    // The response time and the time-out run from here: the observer of the sent frame takes
    // time of its own while the slave is already answering.
    const auto sent = std::chrono::steady_clock::now();
    if (OnFrame)
        OnFrame(FrameDirection::Sent, request);
    receive_response(sent);
    if (OnFrame && count_ > 0)
        OnFrame(FrameDirection::Received, LastResponse());
    if (TimeOut > 0 && count_ == 0)
        return false; // silent slave: no answer within the time-out, nothing to log
    if (accept_response(ModBusFunction, BlockLength, LastResponse(), buffer_))
        return true;
    log_failure();
    return false;
}

// Collects the response into the receive buffer. TCP may deliver it in pieces, so after the
// first bytes the wait goes on until the length the header announces has arrived, the slave
// closes, the line has been quiet for kResponseQuietGap since the last bytes, or the time-out
// ends; the bytes that came are then checked as they are. The quiet gap keeps a slave that
// announces more than it sends from holding every read for the whole time-out.
void TModbusTcpClient::receive_response(std::chrono::steady_clock::time_point sent) {
    using clock = std::chrono::steady_clock;
    const auto arrived = [&] {
        response_time_ = std::chrono::duration_cast<std::chrono::microseconds>(clock::now() - sent);
    };
    const std::span<std::uint8_t> into(received_);
    if (TimeOut == 0) {
        count_ = connection_.read_available(into);
        if (count_ > 0)
            arrived();
        return;
    }
    const auto deadline = sent + std::chrono::milliseconds(TimeOut);
    auto until = deadline;
    while (count_ == 0 || count_ < expected_response_size(LastResponse())) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - clock::now());
        if (left.count() <= 0)
            return;
        const auto wait = std::min<std::int64_t>(left.count(), INT32_MAX);
        if (!connection_.wait_readable(static_cast<int>(wait)))
            continue;
        std::size_t got = 0;
        try {
            got = connection_.read_available(into.subspan(count_));
        } catch (const ConnectionClosedGracefully&) {
            if (count_ == 0)
                throw; // closed before answering
            return;
        }
        count_ += got;
        if (got > 0) {
            arrived();
            until = std::min(deadline, clock::now() + kResponseQuietGap);
        }
    }
}

void TModbusTcpClient::log_failure() {
    const std::string stamp = LogStamp ? LogStamp() : local_date_time();
    append_error_log(ErrorLogPath, stamp, error_log_text(LastResponse()));
}

} // namespace rp
