#pragma once

#include <string>
#include <variant>
#include <vector>

#include "cli/command_line.h"

namespace cli {

// The files a run request names, each checked: the parent and the workbook the result goes into
// exist, a new workbook does not yet, and every --child is a file, a folder (its workbooks) or a
// glob pattern that matches some. A folder or pattern leaves out the parent and the workbook the
// result goes into, and lock files. Nothing is opened.
struct RunFiles {
    std::vector<std::string> children;  // in the order given, each once
    bool parentShared = true;           // no run stores over the parent's file
};
std::variant<RunFiles, OptionError> runFiles(const RunRequest& request);

}  // namespace cli
