#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>

#include "ping/icmp_echo.h"

namespace mk::test {

// An echo that answers as the test says, on whatever thread calls it. It can be held until the
// test releases it, to stand for an echo that takes longer than the ping waits.
class ScriptedEcho : public IcmpEcho {
public:
    explicit ScriptedEcho(std::function<EchoReport(const std::string&)> answer)
        : answer_(std::move(answer)) {}

    EchoReport echo(const std::string& host) override {
        ++calls;
        {
            std::unique_lock lock(mutex_);
            released_.wait(lock, [&] { return !held_; });
        }
        return answer_(host);
    }

    void hold() {
        std::lock_guard lock(mutex_);
        held_ = true;
    }
    void release() {
        std::lock_guard lock(mutex_);
        held_ = false;
        released_.notify_all();
    }

    std::atomic<int> calls{0};

private:
    std::function<EchoReport(const std::string&)> answer_;
    std::mutex mutex_;
    std::condition_variable released_;
    bool held_ = false;
};

inline EchoReport reply(int bytes = 64) {
    return {EchoAnswer::Reply, bytes, std::nullopt};
}

} // namespace mk::test
