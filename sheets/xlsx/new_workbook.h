#pragma once

#include <string>

namespace sheets::xlsx {

// Makes a new .xlsx file holding one empty sheet, refusing a path where any file already is. Throws
// Failure; no file is left behind then.
void writeEmptyWorkbook(const std::string& path);

}  // namespace sheets::xlsx
