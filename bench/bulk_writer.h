#pragma once
// Writes whole workbooks through a running office in a few large requests.

#include <string>
#include <vector>

#include "sheets/cell_value.h"

namespace bench {

// One sheet given by columns from A, each from row 1 and all of the same length. Empty, number, date
// and text cells only; text is written as it is, never parsed. A column is shown in the number format
// of its first cell that has one.
struct SheetColumns {
    std::u16string name;
    std::vector<std::vector<sheets::CellValue>> columns;
};

// Writes a one-sheet workbook to path through the office at pipeName, in blocks of chunkRows rows.
// The file format follows the extension of formatPath (.xls, .xlsx, .ods), so that a file can be
// written under a temporary name first. Throws sheets::Failure.
void writeWorkbook(const std::string& pipeName, const std::string& path, const std::string& formatPath,
                   const SheetColumns& sheet, int chunkRows = 65536);

}  // namespace bench
