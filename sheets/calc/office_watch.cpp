#include "sheets/calc/office_watch.h"

#include <signal.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

namespace sheets::calc {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::chrono::seconds stallLimitFromEnvironment() {
    const char* text = std::getenv("PELLUCOR_OFFICE_STALL_SECONDS");
    const long seconds = text ? std::atol(text) : 0;
    return std::chrono::seconds(seconds > 0 ? seconds : 90);
}

// The processor time a process has used, in clock ticks; -1 once it is gone.
long long cpuTicks(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    if (!std::getline(in, stat)) return -1;
    // The fields after the command, which is in parentheses and may hold spaces: state is the 3rd
    // field, user and system time the 14th and 15th.
    std::istringstream rest(stat.substr(stat.rfind(')') + 2));
    std::string field;
    long long user = 0, system = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14) user = std::atoll(field.c_str());
        if (i == 15) system = std::atoll(field.c_str());
    }
    return user + system;
}

}  // namespace

OfficeWatch::OfficeWatch(pid_t office, sheets::Desktop& desktop)
    : office_(office), desktop_(desktop), stallLimit_(stallLimitFromEnvironment()) {
    thread_ = std::thread([this] { watch(); });
}

OfficeWatch::~OfficeWatch() {
    {
        std::lock_guard lock(mutex_);
        done_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void OfficeWatch::end(Ended why) {
    ended_ = why;
    std::cerr << "pellucor: ending the office: "
              << (why == Ended::Stopped
                      ? "the run stopped while it waited for the office"
                      : "the office used no processor time for " + std::to_string(stallLimit_.count()) + " s")
              << '\n';
    ::kill(office_, SIGKILL);
}

void OfficeWatch::watch() {
    long long lastTicks = -1;
    auto lastProgress = Clock::now();
    std::unique_lock lock(mutex_);
    while (!wake_.wait_for(lock, 250ms, [this] { return done_; })) {
        if (ended_ != Ended::No) continue;
        const long long ticks = cpuTicks(office_);
        if (ticks != lastTicks || calls_ == 0) lastTicks = ticks, lastProgress = Clock::now();
        if (calls_ == 0 || ticks < 0) continue;
        if (desktop_.stopRequested()) {
            end(Ended::Stopped);
        } else if (Clock::now() - lastProgress >= stallLimit_) {
            end(Ended::Stalled);
        }
    }
}

}  // namespace sheets::calc
