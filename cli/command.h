#pragma once

#include <string>
#include <vector>

#include "sheets/application.h"

namespace cli {

// Whether the program's first argument asks for the command line rather than the window.
bool isCommand(const std::string& first);

// Carries out `pellucor run ...`, `pellucor undo ...` or `pellucor --help` without any window, and
// gives the exit status: 0 every run finished, 1 some did not, 2 the command was refused.
int command(const std::vector<std::string>& args, sheets::ApplicationFactory& factory);

}  // namespace cli
