#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "ping/icmp_echo.h"

namespace mk {

inline constexpr const char* kPingCaption = "Ping!";

// The outcome of "Ping Device", as the result window shows it.
enum class PingOutcome { Found, NotFound, Error };

// What the result window shows for an outcome: its picture (0 found, 1 not found, 2 error),
// its caption and its text line.
struct PingResultText {
    int kind;
    const char* caption;
    const char* text;
};
PingResultText ping_result_text(PingOutcome outcome);

// The reply handler's verdict on an echo report: 1 when the device answered with data, 2 when
// the echo ended without that.
int reply_state_for(const EchoReport& report);

// The clock of the polled wait: tests replace it to run the wait's bound without waiting.
class PingClock {
public:
    virtual ~PingClock() = default;
    virtual std::chrono::milliseconds now() = 0;
    virtual void sleep(std::chrono::milliseconds pause) = 0;
};
PingClock& steady_ping_clock();

// The outcome of one ping and what is known of how it came about.
struct PingRun {
    PingOutcome outcome = PingOutcome::NotFound;
    int reply_state = 0; // 0 no answer yet, 1 an answer with data, 2 ended without data
    std::optional<EchoReport> report; // the echo's report, when it came in time
    std::string error;                // the echo's failure, when it failed
    std::chrono::milliseconds waited{0};
};

// "Ping Device": one echo to the host on a worker thread while the calling thread polls the
// reply state every 10 ms and lets its pending events run, for at most 10000 ms. One ping at a
// time; a worker that outlives its wait (its echo has its own limit) is joined before the next
// ping and at the end.
class DevicePing {
public:
    static constexpr std::chrono::milliseconds kPoll{10};
    static constexpr std::chrono::milliseconds kWaitBound{10000};

    explicit DevicePing(IcmpEcho& echo, PingClock& clock = steady_ping_clock());
    ~DevicePing();
    DevicePing(const DevicePing&) = delete;
    DevicePing& operator=(const DevicePing&) = delete;

    // Runs one ping of host; let_events_run is called after each 10 ms pause.
    PingRun run(const std::string& host, const std::function<void()>& let_events_run);

private:
    struct Shared;
    IcmpEcho& echo_;
    PingClock& clock_;
    std::thread worker_;
};

} // namespace mk
