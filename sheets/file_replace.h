#pragma once

#include <functional>
#include <optional>
#include <string>

#include "sheets/file_identity.h"

namespace sheets {

// Replaces a workbook file with a new one made beside it. `write` makes the new file at the path
// it is given (in the same folder, under a temporary name `.pellucor-XXXXXX.ext`), writing into that
// file rather than replacing it. The new file is then synced and given the original's owner,
// permissions and extended attributes (ACLs among them), and renamed over the original, so that the
// file is always either the original or the complete new one.
//
// Where a rename cannot keep what the original is (a file with more than one hard link, an owner or
// an attribute this process cannot set), the complete new file is copied into the original instead,
// as the office's own store always does: then the file stays linked and keeps all of it, and a crash
// during that copy leaves the run's backup as the way back.
//
// A symbolic link is followed: the file it names is replaced, the link stays. When `expected` is
// given and the file is no longer that one (another program saved over it since the run opened
// it), nothing is replaced. Temporary files of earlier writes into the folder that were cut short
// are removed first; those of writes still under way are locked and left alone.
// Throws Failure with the cause from errno; no temporary file is left.
void replaceFile(const std::string& path, const std::optional<FileIdentity>& expected,
                 const std::function<void(const std::string& newFile)>& write);

}  // namespace sheets
