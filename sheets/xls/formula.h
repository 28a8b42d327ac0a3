#pragma once

#include <functional>
#include <string>
#include <vector>

namespace sheets::xls {

inline constexpr int kLastColumn = 255;
inline constexpr int kLastRow = 65535;

// Empty columns inserted into one worksheet, in the file's terms (columns from 0).
struct Insertion {
    int sheet = 0;  // the worksheet's index among the workbook's sheets
    int at = 0;     // the first column that moves
    int count = 0;

    int shift(int column) const { return column >= at ? column + count : column; }
    // A range's columns moved: the first as a cell, the last staying at the sheet's end (a range to
    // the last column keeps reaching it). Full rows stay as they are. Nothing when the first column
    // is pushed off the sheet; a last column pushed off is cut at the end.
    bool shiftRange(int& first, int& last) const;
};

// Which sheets a reference through the link table (an index into EXTERNSHEET) names.
enum class SheetSpan {
    Other,    // another sheet, another workbook, a deleted sheet
    Edited,   // the edited sheet alone
    Across,   // a 3-D range over the edited sheet and others
    Unknown,  // the sheet a name is used on
};

// Where a formula sits, which decides how its references read.
struct FormulaPlace {
    enum class Kind {
        Cell,       // a cell's own formula or an array formula: references as coordinates
        Relative,   // a shared formula, a conditional format or a validation: relative parts as
                    // offsets from the cell the formula is evaluated in
        Name,       // a defined name: relative parts count from A1
        Elsewhere,  // a chart series or an object's link: every reference names its sheet
    };
    Kind kind = Kind::Cell;
    bool onEditedSheet = false;  // references without a sheet name the edited sheet
    bool cellFormula = false;    // a cell's own formula, whose PtgExp/PtgTbl name a cell of its sheet
    // Relative: the columns the offsets count from; each must give the same new offset.
    std::vector<int> bases;
    std::function<SheetSpan(int ixti)> span = [](int) { return SheetSpan::Other; };
};

// Moves the column references of a parsed formula (`cce` bytes of tokens, then their extra data,
// which `formula` may hold more of than the formula needs) as the insertion moves the cells they
// name. The size never changes. Returns whether anything changed. Throws Unsupported for what
// cannot be moved with certainty, and Damaged for tokens that run past the formula.
bool shiftFormula(std::string& formula, std::size_t cce, const Insertion& insertion,
                  const FormulaPlace& place);

// The bytes the tokens' extra data take after the first `cce` bytes of `formula`.
std::size_t extraDataSize(std::string_view formula, std::size_t cce);

}  // namespace sheets::xls
