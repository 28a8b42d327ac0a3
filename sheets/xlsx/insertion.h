#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sheets/sheet_edit.h"
#include "sheets/xlsx/parts.h"
#include "sheets/xlsx/reference_shift.h"

namespace sheets::xlsx {

// The formulas of one worksheet that refer to the edited sheet, with those of its tables, its
// drawings' text links and, on the edited sheet, the ranges of shared and array formulas.
void shiftSheetFormulas(Parts& parts, const std::string& sheetPart, const std::string& sheetName,
                        const ColumnInsertion& insertion);

class FormulaPass;

// The formulas of the edited sheet's rows, one row at a time and in order. A shared formula that the
// insertion cuts through, that would need different texts in its cells, or whose text the edit
// writes over is given to each of its cells as a formula of its own.
class RowFormulas {
public:
    RowFormulas(const ColumnInsertion& insertion, const SheetEdit& edit);
    ~RowFormulas();
    void shift(pugi::xml_node row);

private:
    std::unique_ptr<FormulaPass> pass_;
};

// One row of the edited sheet: its cells' addresses and spans, and in a row with a style the
// inserted cells given the default one.
void shiftRowLayout(pugi::xml_node row, const ColumnInsertion& insertion);

// The edited sheet's own layout but its rows: dimension, column widths, merged cells, the
// ranges of conditional formats, validations, hyperlinks, auto-filter, views, ignored errors and
// page breaks; the anchors of its drawings and comments; its tables and pivot tables.
// Throws Unsupported for what cannot be moved with certainty.
void shiftEditedSheet(Parts& parts, const std::string& sheetPart, const ColumnInsertion& insertion);

// Defined names, chart series and pivot cache sources that refer to the edited sheet.
void shiftWorkbookReferences(Parts& parts, const std::string& workbookPart, const ColumnInsertion& insertion);

}  // namespace sheets::xlsx
