#include <gtest/gtest.h>

#include <atomic>

#include "ping/ping_check.h"
#include "scripted_echo.h"

namespace {

using namespace std::chrono_literals;
using mk::DevicePing;
using mk::EchoAnswer;
using mk::EchoReport;
using mk::PingOutcome;
using mk::test::ScriptedEcho;

// A clock that moves only when the wait sleeps. While the echo is held the worker has nothing to
// do, so the clock sleeps no real time; once the echo answers, `real` lets each pause take its
// time so that the worker gets its turn.
class StepClock : public mk::PingClock {
public:
    std::chrono::milliseconds now() override { return now_; }
    void sleep(std::chrono::milliseconds pause) override {
        now_ += pause;
        if (real)
            std::this_thread::sleep_for(pause);
    }
    bool real = false;

private:
    std::chrono::milliseconds now_{100000};
};

TEST(PingCheck, ReplyStateOfEachReport) {
    EXPECT_EQ(mk::reply_state_for({EchoAnswer::Reply, 64, std::nullopt}), 1);
    EXPECT_EQ(mk::reply_state_for({EchoAnswer::Reply, 0, std::nullopt}), 2);
    EXPECT_EQ(mk::reply_state_for({EchoAnswer::None, 0, std::nullopt}), 2);
    // A router's report that the device cannot be reached is no sign of the device.
    EXPECT_EQ(mk::reply_state_for({EchoAnswer::Unreachable, 36, std::nullopt}), 2);
    EXPECT_EQ(mk::reply_state_for({EchoAnswer::TimeExceeded, 36, std::nullopt}), 2);
}

TEST(PingCheck, ThreeOutcomesOfTheEcho) {
    std::string asked;
    ScriptedEcho echo([&](const std::string& host) -> EchoReport {
        asked = host;
        if (host == "10.0.0.7")
            return mk::test::reply();
        if (host == "10.0.0.8")
            return {EchoAnswer::None, 0, std::nullopt};
        throw mk::EchoError("cannot resolve");
    });
    DevicePing ping(echo);
    int events = 0;
    const auto let_run = [&] { ++events; };

    const mk::PingRun found = ping.run("10.0.0.7", let_run);
    EXPECT_EQ(found.outcome, PingOutcome::Found);
    EXPECT_EQ(found.reply_state, 1);
    EXPECT_EQ(asked, "10.0.0.7");
    EXPECT_GE(events, 1); // the wait runs at least once
    EXPECT_LT(found.waited, 1000ms);

    const mk::PingRun not_found = ping.run("10.0.0.8", let_run);
    EXPECT_EQ(not_found.outcome, PingOutcome::NotFound);
    EXPECT_EQ(not_found.reply_state, 2);
    EXPECT_LT(not_found.waited, 1000ms); // an ended echo ends the wait at once

    // The host text goes to the echo unchanged, however it looks.
    const mk::PingRun error = ping.run(" abc.def ", let_run);
    EXPECT_EQ(asked, " abc.def ");
    EXPECT_EQ(error.outcome, PingOutcome::Error);
    EXPECT_EQ(error.error, "cannot resolve");
    EXPECT_EQ(echo.calls, 3);
}

TEST(PingCheck, WaitEndsAfterTenSecondsPolledEveryTenMilliseconds) {
    ScriptedEcho echo([](const std::string&) { return mk::test::reply(); });
    StepClock clock;
    DevicePing ping(echo, clock);
    echo.hold();
    int events = 0;
    const mk::PingRun run = ping.run("10.0.0.7", [&] { ++events; });
    // Polls at 10, 20, ... ms; the first look past 10000 ms ends the wait.
    EXPECT_EQ(events, 1001);
    EXPECT_EQ(run.waited, 10010ms);
    EXPECT_EQ(run.outcome, PingOutcome::NotFound);
    EXPECT_EQ(run.reply_state, 0);

    // The held echo answers late; the next ping starts afresh and is not fooled by it.
    echo.release();
    clock.real = true;
    const mk::PingRun next = ping.run("10.0.0.7", [] {});
    EXPECT_EQ(next.outcome, PingOutcome::Found);
    EXPECT_EQ(echo.calls, 2);
}

// An echo failure that marks, once the ping has taken it, that the failure is known.
class HandledError : public mk::EchoError {
public:
    explicit HandledError(std::atomic<bool>& handled)
        : mk::EchoError("send failed"), handled_(&handled) {}
    HandledError(const HandledError& other) = default;
    // The worker's handler has stored the failure when it lets go of the exception.
    ~HandledError() override { handled_->store(true); }

private:
    std::atomic<bool>* handled_;
};

// A stepped clock whose pause lasts until the failed echo has been taken, so that one poll sees it.
class UntilHandledClock : public mk::PingClock {
public:
    explicit UntilHandledClock(const std::atomic<bool>& handled) : handled_(handled) {}
    std::chrono::milliseconds now() override { return now_; }
    void sleep(std::chrono::milliseconds pause) override {
        now_ += pause;
        const auto give_up = std::chrono::steady_clock::now() + 10s;
        while (!handled_ && std::chrono::steady_clock::now() < give_up)
            std::this_thread::yield();
    }

private:
    const std::atomic<bool>& handled_;
    std::chrono::milliseconds now_{100000};
};

TEST(PingCheck, AFailedEchoEndsTheWaitAtTheNextPoll) {
    std::atomic<bool> handled{false};
    ScriptedEcho echo([&](const std::string&) -> EchoReport { throw HandledError(handled); });
    UntilHandledClock clock(handled);
    DevicePing ping(echo, clock);
    int events = 0;
    const mk::PingRun run = ping.run("10.0.0.7", [&] { ++events; });
    EXPECT_EQ(run.outcome, PingOutcome::Error);
    EXPECT_EQ(run.error, "send failed");
    EXPECT_EQ(events, 1);
    EXPECT_EQ(run.waited, 10ms);
}

} // namespace
