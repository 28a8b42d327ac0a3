#pragma once

#include <functional>
#include <optional>
#include <string>

#include "sheets/file_identity.h"

namespace sheets {

// Replaces a workbook file with a new one made beside it, so that the file is always either the
// original or the complete new one. `write` makes the new file at the path it is given (in the same
// folder, under a temporary name); it is then synced, given the original's permissions and owner,
// and renamed over the original. A symbolic link is followed: the file it names is replaced, the
// link stays. When `expected` is given and the file is no longer that one (another program saved
// over it since the run opened it), nothing is replaced. Throws Failure with the cause; the
// original is then untouched and no temporary file is left.
void replaceFile(const std::string& path, const std::optional<FileIdentity>& expected,
                 const std::function<void(const std::string& newFile)>& write);

}  // namespace sheets
