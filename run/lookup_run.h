#pragma once

#include "run/key_condition.h"
#include "run/run_inputs.h"
#include "run/run_window.h"
#include "sheets/application.h"

namespace run {

// One press of the Start button, from the checks of the inputs to the completion message.
void lookupRun(const RunInputs& inputs, KeyCondition& condition, RunWindow& window,
               sheets::ApplicationFactory& factory);

}  // namespace run
