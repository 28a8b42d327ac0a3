#pragma once

#include "run/key_condition.h"
#include "run/run_inputs.h"
#include "run/run_window.h"
#include "sheets/application.h"

namespace run {

// One press of the Start button, from the checks of the inputs to the completion message. It reports
// its phases to the window and stops at the next safe point before anything is stored once the window
// says the user cancelled: every workbook closed unsaved, the office ended, the inputs enabled again.
void lookupRun(const RunInputs& inputs, KeyCondition& condition, RunWindow& window,
               sheets::ApplicationFactory& factory);

}  // namespace run
