#pragma once
// Reads cells the straightforward way: a few small requests per cell, for the per-cell baseline.

#include <cstdint>
#include <functional>
#include <string>

#include "sheets/cell_value.h"

namespace bench {

// The cell at a row and column from 1 of one sheet: the cell object, its type, then its value or its
// text. Numbers stay numbers (formats are not looked at); a formula gives its result's text, or an
// error value. Throws sheets::Failure.
using CellReader = std::function<sheets::CellValue(std::int32_t row, int column)>;

// A reader of a sheet (from 1) of the workbook that the office at pipeName has open already, found by
// the canonical path the office opened.
CellReader cellReader(const std::string& pipeName, const std::string& path, int sheetPosition);

}  // namespace bench
