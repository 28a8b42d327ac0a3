#pragma once

#include <string>

#include "sheets/cell_value.h"

namespace sheets {

// What a run changes in one worksheet: empty columns inserted, then cells written from row 1. The
// run describes it once; the office applies it to its document, a package writer to the file, so
// both are given the same change.
struct SheetEdit {
    int insertAt = 0;  // 1-based column before which insertCount empty columns go (0: none)
    int insertCount = 0;
    int firstColumn = 1;  // 1-based column of the first written cell
    CellRows cells;       // row-major from row 1; an empty value leaves its cell empty
};

// The edit of one sheet of a workbook file, the sheet known by its position among all the
// workbook's sheets (1-based) and by its name.
struct WorkbookEdit {
    int sheetPosition = 1;
    std::u16string sheetName;
    SheetEdit edit;
};

}  // namespace sheets
