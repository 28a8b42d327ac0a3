#pragma once

#include <functional>
#include <string>

#include "sheets/sheet_edit.h"

namespace bench {

// The command line of the in-place editing tools: TOOL FILE SHEET AT COUNT [VALUE...]
// VALUE is written from row 1 down in column AT: n:<number>, t:<text>, d:<serial>, b:<0|1>, e (empty),
// f:<number>:<format code in the office's notation>; "--rows N" writes N rows of results instead
// (text and numbers by turns, a date every tenth row). `apply` makes the edit; prints the time it
// took, or the reason the file was left to the office ("unsupported: ...", exit code 3).
int editInPlace(int argc, char** argv,
                const std::function<void(const std::string&, const sheets::WorkbookEdit&)>& apply);

}  // namespace bench
