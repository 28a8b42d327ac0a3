#pragma once

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

}  // namespace run
