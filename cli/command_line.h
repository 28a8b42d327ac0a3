#pragma once

#include <string>
#include <variant>
#include <vector>

#include "run/run_inputs.h"

namespace cli {

// An option the command line refuses, and why, in Chinese and in English.
struct OptionError {
    std::string option;  // "--parent-key"
    std::string chinese, english;
};

// A run as the command line gives it: the window's inputs but the child, and the children.
struct RunRequest {
    run::RunInputs inputs;              // childPath empty
    std::vector<std::string> children;  // files, folders and glob patterns, as given
    // --into-new-workbook: the file made for the result, which goes into it as into a third workbook
    std::string newWorkbook;
    // A sheet given by name rather than position: found in each file before its run.
    std::string parentSheetName, childSheetName;
    bool stopOnError = false;
    bool json = false;
};

struct UndoRequest {
    bool list = false;
    std::string run;  // the run to undo, as `undo --list` names it; empty: the last one
};

struct HelpRequest {};

using Command = std::variant<HelpRequest, RunRequest, UndoRequest, OptionError>;

// The command after the program's name ("run ...", "undo ...", "--help"), checked without opening
// or even looking at any file.
Command parseCommand(const std::vector<std::string>& args);

// "--parent-key：列应为 A 到 Z 的字母" and its English, on two lines.
std::string errorText(const OptionError& error);

}  // namespace cli
