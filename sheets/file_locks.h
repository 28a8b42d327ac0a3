#pragma once

#include <optional>
#include <string>

#include "sheets/failure.h"

namespace sheets {

// The lock file LibreOffice keeps beside a document it has open: ".~lock.NAME#".
std::string officeLockPath(const std::string& path);

// Another program's hold on a workbook file, read from its lock or owner file beside it:
// LibreOffice's ".~lock.NAME#", Microsoft Excel's "~$NAME", WPS Office's ".~NAME". A HeldByProgram
// cause naming the program and, where the file tells, the user and since when; nullopt when none
// is there.
std::optional<FailureCause> heldByAnotherProgram(const std::string& path);

// Why a workbook file cannot be stored over now, as far as the file system tells before anything is
// opened: another program holds it, the file is read-only, or its folder cannot be written (a file is
// replaced through a new one beside it). nullopt when nothing speaks against it, also when the file
// does not exist: opening it then says why.
std::optional<FailureCause> whyNotStorable(const std::string& path);

}  // namespace sheets
