#pragma once

#include <string>

#include "sheets/cell_value.h"
#include "sheets/failure.h"

namespace sheets::xlsx {

// What a run changes in one worksheet of a workbook: empty columns inserted, then cells written.
struct SheetEdit {
    int sheetPosition = 1;  // 1-based position among the workbook's sheets (<sheets> order in workbook.xml)
    int insertAt = 0;       // 1-based column before which insertCount empty columns go (0: none)
    int insertCount = 0;
    int firstColumn = 1;  // 1-based column of the first written cell; cells are written from row 1 down
    CellRows cells;       // row-major; an empty value leaves its cell empty
};

// The package holds something this writer cannot shift or write with certainty; the file is untouched.
// what() says why for a developer; reason() is a short reason for the user's report.
class Unsupported : public Failure {
public:
    Unsupported(const std::string& detail, std::u16string reason)
        : Failure(detail), reason_(std::move(reason)) {}
    const std::u16string& reason() const { return reason_; }

private:
    std::u16string reason_;
};

// Applies the edit: writes the new package beside the file and renames it over the file, its
// permissions kept. Throws Unsupported (nothing written) or Failure (I/O; nothing changed on disk).
void applyInPlace(const std::string& path, const SheetEdit& edit);

}  // namespace sheets::xlsx
