#pragma once

#include <optional>
#include <string>

#include "sheets/xls/biff.h"
#include "sheets/xls/formula.h"
#include "sheets/xls/globals.h"

namespace sheets::xls {

// Every formula of one substream (a sheet with the charts it holds, or a chart sheet) that may
// refer to the edited sheet, moved with the insertion: cell, shared and array formulas, conditional
// formats, validations, hyperlinks into the workbook, objects' cell links and chart series.
// `edited`: this substream is the edited sheet. Must run before the sheet's layout moves.
void shiftSheetFormulas(Substream& sheet, bool edited, const Insertion& insertion, const Globals& globals);

// A hyperlink's place in the workbook ("Sheet2!B3", "'My sheet'!A1:C4", "B3"), its cells moved when
// they lie on the edited sheet; nothing when it does not change.
std::optional<std::u16string> shiftLocation(const std::u16string& location, const std::u16string& editedName,
                                            bool onEditedSheet, const Insertion& insertion);

}  // namespace sheets::xls
