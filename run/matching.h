#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "sheets/cell_value.h"

namespace run {

// The four arrays of a run, entry r - 1 for row r, and the value cells as the sheets hold them, of
// which the values are the texts. ChildValues is empty in a lookup.
struct MatchTables {
    std::span<const std::u16string> parentKeys;
    std::span<const std::u16string> parentValues;
    std::span<const std::u16string> childKeys;
    std::span<const std::u16string> childValues;
    std::span<const sheets::CellValue> parentCells;
    std::span<const sheets::CellValue> childCells;
};

enum class ValueTest { Agree, Differ };    // Combo7: "匹配", "不匹配"
enum class Whose { Parent, Child, Both };  // Combo8: "父", "子", "父子"

constexpr std::int32_t kNoRow = -1;

// For each child row, the 0-based parent row a top-down scan stops at, or kNoRow. A parent row
// passes when its key is not empty and equals the child's; further matching also asks its value
// to be non-empty and equal to (Agree) or different from (Differ) the child's. Both are answered
// through an index built once, with the same row as the scan.
std::vector<std::int32_t> lookupRows(const MatchTables& tables);
std::vector<std::int32_t> furtherMatchRows(const MatchTables& tables, ValueTest test);

// What counting a run's rows needs beyond the chosen ones, through the same kind of index: whether
// each child key is among the parent keys, and the parent keys of more than one row, with the
// 0-based first rows of the first few of them.
struct KeyCensus {
    std::vector<bool> inParent;
    std::size_t duplicateKeys = 0;
    std::size_t duplicateRows = 0;  // rows after the first of their key
    std::vector<std::int32_t> duplicateFirstRows;
};
KeyCensus keyCensus(const MatchTables& tables, std::size_t examples);

// One row per child row: the value cell of the chosen parent row (Parent), the child's own (Child)
// or both (Both, two cells wide); empty cells where no parent row was chosen.
sheets::CellRows resultRows(const MatchTables& tables, const std::vector<std::int32_t>& rows, Whose whose);

// The rows as one text: each cell's text, a tab between the cells of a row, every row ended by a
// carriage return; a row without any value is an empty line.
std::u16string resultText(const sheets::CellRows& rows);

}  // namespace run
