#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "sheets/cell_value.h"

namespace sheets {

// A number format code in the office's notation ("YYYY-MM-DD", "[RED]-0.00") in Excel's notation,
// which .xlsx and .xls files share ("yyyy-mm-dd", "[Red]-0.00"), UTF-8; nothing when it cannot be
// converted with certainty.
std::optional<std::string> excelFormatCode(std::u16string_view officeCode);

// The Excel format code a written value is shown in: its format's, or for a format without a certain
// equivalent the usual one of the value's kind, or "General"; nothing when the value has no format
// to show (the cell keeps the format it has).
std::optional<std::string> shownExcelFormatCode(const CellValue& value);

// The format ids every workbook knows without listing them, for the codes that mean the same
// everywhere ("0.00" -> 2); -1 for the others.
int builtInFormatId(std::string_view code);

}  // namespace sheets
