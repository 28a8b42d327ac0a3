#pragma once

#include <optional>
#include <string>

#include "sheets/failure.h"
#include "sheets/file_identity.h"
#include "sheets/sheet_edit.h"

namespace sheets::xls {

// Applies the edit to an .xls file (BIFF8 in a compound file): its Workbook stream gets the inserted
// columns and the cells, every other stream and storage stays byte for byte. The new file is made
// beside the old one and renamed over it, its permissions kept (file_replace.h), unless the file is
// no longer `expected`. The sheet must be a worksheet at the edit's position and, when the edit names
// it, carry that name. Throws Unsupported (nothing written; the office stores the file instead) or
// Failure (I/O, a damaged or changed file; nothing changed on disk).
void applyInPlace(const std::string& path, const WorkbookEdit& edit,
                  const std::optional<FileIdentity>& expected = std::nullopt);

}  // namespace sheets::xls
