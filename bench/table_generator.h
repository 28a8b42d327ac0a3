#pragma once
// Parent and child tables for the benchmarks, the same for a given size and seed.

#include <cstdint>
#include <vector>

#include "sheets/cell_value.h"

namespace bench {

// Columns from A, from row 1; row 1 is a header. Parent: key, value, a date (YYYY-MM-DD) and an
// amount (#,##0.00). Child: key, a value that agrees with the value of the parent row its key was
// taken from about half of the time.
//
// Keys are numbers, Latin text and Chinese text in equal shares. About 2% of the parent keys are
// empty and 10% repeat an earlier key (with another value); of the child keys 3% are empty, 70% are
// taken from the parent and the rest are found nowhere in the parent.
struct Tables {
    std::vector<std::vector<sheets::CellValue>> parent;
    std::vector<std::vector<sheets::CellValue>> child;
};

Tables generateTables(std::int32_t rows, std::uint32_t seed = 20261206);

}  // namespace bench
