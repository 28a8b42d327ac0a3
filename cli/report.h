#pragma once

#include <string>
#include <vector>

#include "cli/terminal_window.h"

namespace cli {

// One child's summary for people: its outcome and the completion box's details.
std::string outcomeText(const ChildOutcome& outcome);
// The last line: how many children finished and how many did not.
std::string totalsText(const std::vector<ChildOutcome>& outcomes);
// Every child's summary as one JSON object.
std::string outcomesJson(const std::vector<ChildOutcome>& outcomes);

}  // namespace cli
