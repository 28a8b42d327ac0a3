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
// What a lookup takes from the parent rows that hold the child's key: the first row, the last, all
// of them (their texts joined by "、") or their number.
enum class DuplicateKeys { First, Last, AllJoined, Count };

constexpr std::int32_t kNoRow = -1;

// For each child row, the 0-based parent row a top-down scan stops at, or kNoRow. A parent row
// passes when its key is not empty and equals the child's; further matching also asks its value
// to be non-empty and equal to (Agree) or different from (Differ) the child's. Both are answered
// through an index built once, with the same row as the scan.
// A lookup that takes the last row gives the row a bottom-up scan stops at.
std::vector<std::int32_t> lookupRows(const MatchTables& tables, DuplicateKeys pick = DuplicateKeys::First);
std::vector<std::int32_t> furtherMatchRows(const MatchTables& tables, ValueTest test);

// Per row, the next row with the same non-empty key, or kNoRow.
std::vector<std::int32_t> nextRowsOfSameKey(std::span<const std::u16string> keys);

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

// A lookup's result, one row per child row: for each value column (the first column's cells, then
// those of the further columns, per parent row), what `pick` takes from the rows holding the child's
// key, `rows` being the first of them. The first or the last row gives its cells as they are; all of
// them give one cell, or the texts of their cells joined by "、" as text; a count gives one column of
// numbers. Empty cells where no row holds the key.
sheets::CellRows lookupResult(const MatchTables& tables,
                              std::span<const std::span<const sheets::CellValue>> columns,
                              const std::vector<std::int32_t>& rows, DuplicateKeys pick);

// Writes text into every cell of the rows that got no parent row.
void markUnmatched(sheets::CellRows& result, const std::vector<std::int32_t>& rows,
                   const std::u16string& text);

// The rows as one text: each cell's text, a tab between the cells of a row, every row ended by a
// carriage return; a row without any value is an empty line.
std::u16string resultText(const sheets::CellRows& rows);

}  // namespace run
