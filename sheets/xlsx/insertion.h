#pragma once

#include <string>
#include <vector>

#include "sheets/xlsx/parts.h"
#include "sheets/xlsx/reference_shift.h"

namespace sheets::xlsx {

// The formulas of one worksheet that refer to the edited sheet, with those of its tables, its
// drawings' text links and, on the edited sheet, the ranges of shared and array formulas.
void shiftSheetFormulas(Parts& parts, const std::string& sheetPart, const std::string& sheetName,
                        const ColumnInsertion& insertion);

// One row of the edited sheet: its formulas (shiftRowFormulas), its cells' addresses and spans, and
// the inserted cells taking the style of the cell to their left (shiftRowLayout).
void shiftRowFormulas(pugi::xml_node row, const ColumnInsertion& insertion);
void shiftRowLayout(pugi::xml_node row, const ColumnInsertion& insertion);

// The edited sheet's own layout but its rows: dimension, column widths, merged cells, the
// ranges of conditional formats, validations, hyperlinks, auto-filter, views, ignored errors and
// page breaks; the anchors of its drawings and comments; its tables and pivot tables.
// Throws Unsupported for what cannot be moved with certainty.
void shiftEditedSheet(Parts& parts, const std::string& sheetPart, const ColumnInsertion& insertion);

// The cells form controls are linked to, as formulas: the x:FmlaLink, x:FmlaRange, ... elements of a
// VML part or the fmlaLink, fmlaRange, ... attributes of a control-properties part (not their macros).
std::vector<std::string> controlLinks(const std::string& partText);

// Defined names, chart series and pivot cache sources that refer to the edited sheet.
void shiftWorkbookReferences(Parts& parts, const std::string& workbookPart, const ColumnInsertion& insertion);

}  // namespace sheets::xlsx
