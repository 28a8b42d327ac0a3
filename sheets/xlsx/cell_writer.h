#pragma once

#include <string>

#include "sheets/cell_value.h"
#include "sheets/xlsx/xml.h"

namespace sheets::xlsx {

struct SheetEdit;

// Writes the edit's cells into the sheet, typed, each with a style carrying its number format
// (added to the styles as needed). styles may be null when the package has no styles part.
// date1904: the workbook counts its dates from 1904.
void writeCells(XmlPart& sheet, XmlPart* styles, const SheetEdit& edit, bool date1904);

}  // namespace sheets::xlsx
