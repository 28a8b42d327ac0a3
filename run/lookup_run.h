#pragma once

#include <cstdint>
#include <optional>

#include "run/error_policy.h"
#include "run/key_collection.h"
#include "run/key_condition.h"
#include "run/run_inputs.h"
#include "run/run_window.h"
#include "sheets/application.h"

namespace run {

// One press of the Start button, from the checks of the inputs to the completion message. It reports
// its phases to the window and stops at the next safe point before anything is stored once the window
// says the user cancelled: every workbook closed unsaved, the office ended, the inputs enabled again.
// The factory is told the files the run opens; when the application it chose meets what it cannot read
// or write with certainty (NeedsOffice), the run starts again on the office, and its summary says why.
void lookupRun(const RunInputs& inputs, KeyCondition& condition, RunWindow& window,
               sheets::ApplicationFactory& factory);

// The parent table as a run read it: its keys and values, and the state its reading left behind.
struct ParentReading {
    std::int32_t rowCount = 0;
    std::optional<std::int16_t> mode;
    TableColumns columns;
    KeyCollector keys;          // mode 3's holder carries over into the child
    ErrorPolicy policy{false};  // the steps skipped while reading it
};
using SharedParent = std::optional<ParentReading>;

// The same run, for several runs that differ only in their child and where the result goes: the first
// that reads the parent keeps it in `parent`, and those after it neither open nor read the parent.
// The caller makes sure no run stores over the parent's file while it is shared.
void lookupRunSharing(const RunInputs& inputs, KeyCondition& condition, RunWindow& window,
                      sheets::ApplicationFactory& factory, SharedParent& parent);

}  // namespace run
