#pragma once

#include <cstdint>
#include <string_view>

namespace run {

// The parts of a run that the progress window names, in the order a run passes them.
enum class Phase { OpenParent, ReadParent, OpenChild, ReadChild, Match, WriteResult, Save };

// The phase as the progress is shown to the user.
constexpr std::u16string_view phaseText(Phase phase) {
    switch (phase) {
        case Phase::OpenParent:
            return u"打开父表";
        case Phase::ReadParent:
            return u"读取父表";
        case Phase::OpenChild:
            return u"打开子表";
        case Phase::ReadChild:
            return u"读取子表";
        case Phase::Match:
            return u"匹配";
        case Phase::WriteResult:
            return u"写入结果";
        case Phase::Save:
            return u"保存";
    }
    return {};
}

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
