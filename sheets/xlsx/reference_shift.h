#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sheets::xlsx {

inline constexpr int kMaxColumn = 16384;
inline constexpr int kMaxRow = 1048576;

// Empty columns inserted into one worksheet, as the references of a workbook see it.
struct ColumnInsertion {
    std::string sheet;  // the worksheet's name
    int at = 1;         // 1-based column before which the columns go
    int count = 0;
    std::vector<std::string> sheetOrder;  // every sheet name in workbook order, for 3-D references

    int shift(int column) const { return column >= at ? column + count : column; }
    bool isSheet(std::string_view name) const;
};

// "A" -> 1, "XFD" -> 16384; 0 when not 1-3 letters within the sheet.
int columnNumber(std::string_view letters);
std::string columnName(int column);
// "B7" (no $) -> column 2, row 7; false when it is not a cell address.
bool parseCell(std::string_view text, int& column, int& row);

// A formula as the package stores it (no leading '='), its references to the edited sheet shifted.
// ownSheet: the sheet the formula belongs to, or null where a reference always names its sheet
// (defined names, chart series). spread: how many columns to the right the same text also serves
// with its relative references moved along (a shared formula's range), so that each of those
// places must shift alike. Throws Unsupported for anything not understood with certainty.
std::string shiftFormula(std::string_view formula, const ColumnInsertion& insertion,
                         const std::string* ownSheet, int spread = 0);

// How a range that spans the insertion point takes the inserted columns: covering them (a merged
// area, a selection, a formula's range) or leaving them out (a conditional format's or a
// validation's cells: inserted columns take no format of their neighbours, as in the office).
enum class Spanning { Covers, LeavesOut };

// shiftFormula for the text of a shared formula; nothing when its places would need different texts
// (a relative reference on both sides of the insertion), so that each needs a formula of its own.
std::optional<std::string> shiftSharedFormula(std::string_view formula, const ColumnInsertion& insertion,
                                              const std::string* ownSheet, int spread);

// A formula as it reads in the cell `rows` below and `columns` right of its own: its relative
// references moved along (a shared formula's text for another of its places). Throws Unsupported
// for a reference moved off the sheet.
std::string translateFormula(std::string_view formula, int rows, int columns);

// A space-separated list of cells and ranges on the edited sheet ("A1:B2 D4"). Ranges reaching
// past the last column are cut there; ranges pushed off entirely are left out.
std::string shiftSqref(std::string_view sqref, const ColumnInsertion& insertion,
                       Spanning spanning = Spanning::Covers);
// One cell address on the edited sheet; throws Unsupported when it is pushed off the sheet.
std::string shiftCellAddress(std::string_view cell, const ColumnInsertion& insertion);

}  // namespace sheets::xlsx
