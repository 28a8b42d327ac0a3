#pragma once

#include <cstddef>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "sheets/failure.h"

namespace run {

// A step that could not be carried out: the step and the detail for standard error, the cause and
// the part of the run it belongs to for the user.
struct StepFailure {
    std::string step;
    std::string detail;
    sheets::FailureCause cause;
    std::u16string stage;  // in the user's words, with the file and sheet concerned
};

// Thrown out of a step under StopOnError; the run driver reports it and ends the program.
// Deliberately not a std::exception, so that no step swallows it.
struct RunStopped {
    StepFailure failure;
};

// What the run does with a step that cannot be carried out: stop the program at the first one, or
// skip it and go on. Fixed when the run starts. Skipped steps are counted, the first few kept.
class ErrorPolicy {
public:
    static constexpr std::size_t kKept = 5;

    explicit ErrorPolicy(bool ignoreErrors) : ignoreErrors_(ignoreErrors) {}

    // The part of the run the following steps belong to.
    void setStage(std::u16string stage) { stage_ = std::move(stage); }

    // Carries out one step. Returns false when it failed and was skipped; throws RunStopped under
    // StopOnError.
    template <class Action>
    bool step(std::string_view what, Action&& action) {
        try {
            action();
            return true;
        } catch (const sheets::Failure& f) {
            failed(what, f.what(), f.cause());
        } catch (const std::exception& e) {
            failed(what, e.what());
        }
        return false;
    }

    // A step found to fail without throwing (cell steps applied in memory).
    void failed(std::string_view what, std::string_view detail, sheets::FailureCause cause = {}) {
        StepFailure failure{std::string(what), std::string(detail), std::move(cause), stage_};
        if (!ignoreErrors_) throw RunStopped{std::move(failure)};
        if (skipped_.size() < kKept) skipped_.push_back(failure);
        const bool own =
            failure.cause.cell.empty() && failure.cause.kind != sheets::FailureCause::Kind::NeverObtained;
        if (own) lastOwn_ = failure;
        last_ = std::move(failure);
        ++skippedCount_;
    }

    // The first skipped steps, their number and the last one.
    const std::vector<StepFailure>& skipped() const { return skipped_; }
    std::size_t skippedCount() const { return skippedCount_; }
    const StepFailure& lastSkipped() const { return last_; }
    // The last skipped step that failed on its own: not on one cell, nor for lack of what an earlier
    // step failed to obtain.
    const StepFailure& lastOwnFailure() const { return lastOwn_; }

private:
    bool ignoreErrors_;
    std::u16string stage_;
    std::vector<StepFailure> skipped_;
    std::size_t skippedCount_ = 0;
    StepFailure last_;
    StepFailure lastOwn_;
};

}  // namespace run
