#include "ping/ping_check.h"

#include <atomic>
#include <mutex>

namespace mk {

namespace {

class SteadyPingClock : public PingClock {
public:
    std::chrono::milliseconds now() override {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now().time_since_epoch());
    }
    void sleep(std::chrono::milliseconds pause) override { std::this_thread::sleep_for(pause); }
};

} // namespace

PingResultText ping_result_text(PingOutcome outcome) {
    switch (outcome) {
    case PingOutcome::Found:
        return {0, "Ping! Device Found!", "Device Found!"};
    case PingOutcome::NotFound:
        return {1, "Ping! Device Not Found!", "Device Not Found!"};
    case PingOutcome::Error:
        break;
    }
    return {2, "Ping! Error!!!", "Error!!! Check the Ip Address"};
}

int reply_state_for(const EchoReport& report) {
    // Only an echo reply shows the device itself answering. A router's unreachable or
    // time-exceeded report about the request ends the wait as well, but the device was not
    // reached, so it must not read as found.
    return report.answer == EchoAnswer::Reply && report.bytes > 0 ? 1 : 2;
}

PingClock& steady_ping_clock() {
    static SteadyPingClock clock;
    return clock;
}

// What the worker hands to the waiting thread. Each ping has its own, so a late report of an
// earlier echo can never be taken for the answer of a later one.
struct DevicePing::Shared {
    std::atomic<int> reply_state{0};
    std::atomic<bool> failed{false};
    std::mutex mutex;
    std::optional<EchoReport> report;
    std::string error;
};

DevicePing::DevicePing(IcmpEcho& echo, PingClock& clock) : echo_(echo), clock_(clock) {}

DevicePing::~DevicePing() {
    if (worker_.joinable())
        worker_.join();
}

PingRun DevicePing::run(const std::string& host, const std::function<void()>& let_events_run) {
    if (worker_.joinable())
        worker_.join();
    const std::chrono::milliseconds start = clock_.now();
    auto shared = std::make_shared<Shared>();

    worker_ = std::thread([this, shared, host] {
        try {
            const EchoReport report = echo_.echo(host);
            std::lock_guard lock(shared->mutex);
            shared->report = report;
            shared->reply_state = reply_state_for(report);
        } catch (const std::exception& e) {
            std::lock_guard lock(shared->mutex);
            shared->error = e.what();
            shared->failed = true;
        }
    });

    do {
        clock_.sleep(kPoll);
        let_events_run();
    } while (shared->reply_state == 0 && !shared->failed && clock_.now() - start <= kWaitBound);

    PingRun run;
    run.waited = clock_.now() - start;
    std::lock_guard lock(shared->mutex);
    run.reply_state = shared->reply_state;
    run.report = shared->report;
    run.error = shared->error;
    if (shared->failed)
        run.outcome = PingOutcome::Error;
    else
        run.outcome = run.reply_state == 1 ? PingOutcome::Found : PingOutcome::NotFound;
    return run;
}

} // namespace mk
