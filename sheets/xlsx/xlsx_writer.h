#pragma once

#include <optional>
#include <string>

#include "sheets/failure.h"
#include "sheets/file_identity.h"
#include "sheets/sheet_edit.h"

namespace sheets::xlsx {

// The package holds something this writer cannot shift or write with certainty (failure.h).
using sheets::Unsupported;

// Applies the edit: writes the new package beside the file and renames it over the file, its
// permissions kept (file_replace.h), unless the file is no longer `expected`. The sheet must be at
// the edit's position and, when the edit names it, carry that name. Throws Unsupported (nothing
// written) or Failure (I/O, a damaged or changed file; nothing changed on disk).
void applyInPlace(const std::string& path, const WorkbookEdit& edit,
                  const std::optional<FileIdentity>& expected = std::nullopt);

}  // namespace sheets::xlsx
