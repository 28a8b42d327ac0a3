#pragma once

#include <string>
#include <variant>

namespace cli {

// The position (from 1) of the sheet so named in a workbook file, counted as the office counts its
// sheets, or why it cannot be told, in Chinese. Only .xlsx and .xlsm files are read for their names.
std::variant<int, std::string> sheetPosition(const std::string& path, const std::string& name);

}  // namespace cli
