#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "sheets/application.h"

namespace sheets::calc {

// Watches an office while calls to it are under way. A remote call has no time limit of its own, and
// an office can wait for ever (for an answer to a dialog nobody sees, say). When the run asks to stop,
// or when the office has used no processor time for the stall limit, the watch ends the office, so
// that the call fails instead of waiting for ever. A working office, however slow, keeps using time.
class OfficeWatch {
public:
    enum class Ended { No, Stopped, Stalled };

    // stallLimit: PELLUCOR_OFFICE_STALL_SECONDS where set (for tests), else 90 s.
    OfficeWatch(pid_t office, sheets::Desktop& desktop);
    ~OfficeWatch();
    OfficeWatch(const OfficeWatch&) = delete;
    OfficeWatch& operator=(const OfficeWatch&) = delete;

    // A call to the office under way, for as long as it lives.
    class Call {
    public:
        explicit Call(OfficeWatch& watch) : watch_(watch) { ++watch_.calls_; }
        ~Call() { --watch_.calls_; }
        Call(const Call&) = delete;
        Call& operator=(const Call&) = delete;

    private:
        OfficeWatch& watch_;
    };

    // Whether, and why, the watch ended the office.
    Ended ended() const { return ended_; }
    std::chrono::seconds stallLimit() const { return stallLimit_; }

private:
    void watch();
    void end(Ended why);

    pid_t office_;
    sheets::Desktop& desktop_;
    std::chrono::seconds stallLimit_;
    std::atomic<int> calls_ = 0;
    std::atomic<Ended> ended_ = Ended::No;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;
    std::thread thread_;
};

}  // namespace sheets::calc
