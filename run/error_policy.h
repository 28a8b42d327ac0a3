#pragma once

#include <exception>
#include <string>
#include <string_view>

namespace run {

// Thrown out of a step under StopOnError; the run driver reports it and ends the program.
// Deliberately not a std::exception, so that no step swallows it.
struct RunStopped {
    std::string step;
    std::string detail;
};

// What the run does with a step that cannot be carried out: stop the program at the first one, or
// skip it and go on. Fixed when the run starts.
class ErrorPolicy {
public:
    explicit ErrorPolicy(bool ignoreErrors) : ignoreErrors_(ignoreErrors) {}

    bool ignoresErrors() const { return ignoreErrors_; }

    // Carries out one step. Returns false when it failed and was skipped; throws RunStopped under
    // StopOnError.
    template <class Action>
    bool step(std::string_view what, Action&& action) {
        try {
            action();
            return true;
        } catch (const std::exception& e) {
            failed(what, e.what());
        }
        return false;
    }

    // A step found to fail without throwing (cell steps applied in memory).
    void failed(std::string_view what, std::string_view detail) {
        if (!ignoreErrors_) throw RunStopped{std::string(what), std::string(detail)};
    }

private:
    bool ignoreErrors_;
};

}  // namespace run
