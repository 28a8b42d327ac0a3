#pragma once

#include <string>
#include <vector>

#include "sheets/xls/biff.h"
#include "sheets/xls/formula.h"
#include "sheets/xls/globals.h"

namespace sheets::xls {

// The layout pass of the edited sheet: everything of it that sits in a column, but its cells and
// rows (cell_table.h) and its formulas (sheet_formulas.h): dimensions, column widths, page breaks,
// merged cells, the ranges of conditional formats, validations and hyperlinks, notes, drawing
// anchors, the auto-filter, panes and selections. Throws Unsupported for what it does not know
// or cannot move with certainty (protected sheets, pivot tables, tables, scenarios, unknown records).
void shiftEditedSheet(Substream& sheet, const Insertion& insertion, const Globals& globals);

// Moves the anchors of the shapes in a sheet's drawing data (the MSODRAWING records' data joined);
// `objectTypes`: the types of the sheet's OBJ records in order, one for each shape with client
// data. Returns whether any moved.
bool shiftAnchors(std::string& drawing, const Insertion& insertion, const std::vector<int>& objectTypes);

}  // namespace sheets::xls
