#pragma once
// What a user would do in the office itself instead of a run: a VLOOKUP column in the child sheet.

#include <cstdint>
#include <string>

namespace bench {

struct VlookupJob {
    std::string parentPath;      // first sheet: keys in A, values in B
    std::string childPath;       // first sheet: keys in A; saved with the new column
    std::u16string parentSheet;  // the parent's first sheet by name, for the reference to its file
    std::int32_t parentRows = 0;
    std::int32_t childRows = 0;
    // true: the parent sheet is copied into the child workbook and looked up there; false: the
    // formula refers to the parent file.
    bool copyParentSheet = true;
};

// Seconds spent in each stage.
struct VlookupTimes {
    double open = 0;       // loading the child (and the parent, for the copy)
    double copy = 0;       // copying the parent sheet into the child
    double fill = 0;       // the new column C, one formula in C1 filled down to the last child row
    double calculate = 0;  // calculating the whole document
    double save = 0;       // storing the child in its own format and closing it
};

// Inserts a column C into the child's first sheet holding =VLOOKUP(A<row>; parent A:B; 2; 0) for
// every child row, calculates and stores the child, in the office at pipeName. Automatic calculation
// is off while the column is filled. Throws sheets::Failure.
VlookupTimes fillVlookupColumn(const std::string& pipeName, const VlookupJob& job);

}  // namespace bench
