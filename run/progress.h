#pragma once

#include <cstdint>

namespace run {

// The parts of a run that the progress window names, in the order a run passes them.
enum class Phase { OpenParent, ReadParent, OpenChild, ReadChild, Match, WriteResult, Save };

// Thrown at a safe point once the user has cancelled. Deliberately not a std::exception, so that no
// step swallows it.
struct RunCancelled {};

// How a run reports where it stands and learns that the user cancelled. A window that shows no
// progress keeps the defaults.
class ProgressListener {
public:
    virtual ~ProgressListener() = default;
    // done of total units of the phase; total 0 when its work is office calls that count nothing.
    virtual void progress(Phase /*phase*/, std::int64_t /*done*/, std::int64_t /*total*/) {}
    virtual bool cancelled() { return false; }
};

// The run's safe points: each reports to the listener and stops the run there once the user has
// cancelled.
class SafePoints {
public:
    explicit SafePoints(ProgressListener& listener) : listener_(listener) {}

    void begin(Phase phase, std::int64_t total = 0) {
        phase_ = phase;
        total_ = total;
        at(0);
    }
    void at(std::int64_t done) {
        if (listener_.cancelled()) throw RunCancelled{};
        listener_.progress(phase_, done, total_);
    }
    // The same, the phase's total now known better.
    void at(std::int64_t done, std::int64_t total) {
        total_ = total;
        at(done);
    }

private:
    ProgressListener& listener_;
    Phase phase_ = Phase::OpenParent;
    std::int64_t total_ = 0;
};

}  // namespace run
