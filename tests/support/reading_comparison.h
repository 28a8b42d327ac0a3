#pragma once
// Reads a workbook through two applications (the office and the packages themselves) and tells where
// they differ: the causes of a refused file, the used rows of every sheet, every cell of its first
// columns in value, type and number format. For the tests and the benchmark's full comparison.

#include <string>
#include <vector>

#include "sheets/application.h"

namespace reading_comparison {

struct Tally {
    int files = 0, sheets = 0, cells = 0;
    int doubts = 0;  // cells or sheets the packages left to the office (NeedsOffice)
    std::vector<std::string> differences;
    std::vector<std::string> doubtReasons;  // the first few
};

// Compares the file's reading by both: every sheet, columns 1..columns, rows up to maxRows.
void compare(sheets::Application& office, sheets::Application& packages, const std::string& path,
             Tally& tally, int columns = 6, int maxRows = 5000);

// "Number 1.5 [0.00|]" and the like.
std::string describe(const sheets::CellValue& v);

}  // namespace reading_comparison
