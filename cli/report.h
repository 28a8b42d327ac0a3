#pragma once

#include <string>
#include <vector>

#include "cli/terminal_window.h"

namespace cli {

// One child's summary for people: its outcome and the completion box's details.
std::string outcomeText(const ChildOutcome& outcome);
// The last line: how many of `children` finished, how many did not and how many were not run.
std::string totalsText(const std::vector<ChildOutcome>& outcomes, std::size_t children);
// Every child's summary as one JSON object.
std::string outcomesJson(const std::vector<ChildOutcome>& outcomes, std::size_t children);

}  // namespace cli
