#pragma once
// Reads cells the straightforward way: a few small requests per cell, for the per-cell baseline.

#include <cstdint>
#include <memory>
#include <string>

#include "sheets/cell_value.h"

namespace bench {

// One sheet of a workbook that the office at pipeName has open already (found by its file).
class CellReader {
public:
    // sheetPosition counts from 1; path is the canonical path the office opened.
    CellReader(const std::string& pipeName, const std::string& path, int sheetPosition);
    ~CellReader();
    CellReader(const CellReader&) = delete;
    CellReader& operator=(const CellReader&) = delete;

    // The cell at a row and column from 1: the cell object, its type, then its value or its text.
    // Numbers stay numbers (formats are not looked at); a formula gives its result's text, or an
    // error value. Throws sheets::Failure.
    sheets::CellValue cell(std::int32_t row, int column);

private:
    struct Sheet;
    std::unique_ptr<Sheet> sheet_;
};

}  // namespace bench
