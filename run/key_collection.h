#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "run/error_policy.h"
#include "run/key_condition.h"
#include "sheets/application.h"

namespace run {

// Where a table's keys (and values) come from.
struct KeySource {
    sheets::Worksheet* sheet = nullptr;  // null when the sheet was never obtained
    std::int32_t rowCount = 0;
    int keyColumn = 0;
    std::optional<int> valueColumn;     // values are collected only when set
    std::vector<int> moreKeyColumns;    // a composite key's further parts, each trimmed and taken whole
    std::vector<int> moreValueColumns;  // further value cells, for the result only
};

// How keys are taken: the whole trimmed text, or cut by the table mode with the KeyLength and
// KeyOffset that the table's condition left.
struct KeyRule {
    bool wholeWord = true;
    std::optional<std::int16_t> mode;
    KeyCondition condition;
};

// A table's keys and values as a run collects them, entry r - 1 for row r.
struct TableColumns {
    std::vector<std::u16string> keys;
    std::vector<std::u16string> values;         // the value cells' texts, which matching compares
    std::vector<sheets::CellValue> valueCells;  // the value cells as they are, for the result
    std::vector<std::vector<sheets::CellValue>> moreValueCells;  // per further value column
};

// The step whose key cut got an invalid position, and the one whose condition held a number
// beyond a 16-bit integer.
inline constexpr std::string_view kCutKeyStep = "cut the key";
inline constexpr std::string_view kParseStep = "parse the condition";

// "B7" for column 2 (1-based) and 0-based row 6.
std::u16string cellName(int column, std::size_t row);

// Collects a run's keys (and values) table by table. It holds the rule of the table being read and
// mode 3's holder: the last trimmed key text that could be read, which carries over from row to row
// and from one table to the next, and from which an unreadable key cell's key is cut.
class KeyCollector {
public:
    void setRule(const KeyRule& rule) { rule_ = rule; }

    // Fills the keys (and the values, when the source has a value column) for rows 1..rowCount. Each
    // row has a key step (two in mode 3: the trimmed-text holder, then the cut), one for each further
    // key part and one for each value; a failing step goes through the policy and stores nothing (a
    // composite key is stored only when all its parts were read). The table's columns are read with
    // one block request; a failed block read fails every cell step of them. A condition mode outside
    // 1 to 4 reads nothing. rowsDone, when given, hears how many rows are done after each block of rows.
    void collect(ErrorPolicy& policy, const KeySource& source, TableColumns& table,
                 const std::function<void(std::int64_t)>& rowsDone = {});

private:
    class ColumnCells;
    void takeKey(ErrorPolicy& policy, const std::vector<ColumnCells>& cells, std::size_t r,
                 std::vector<std::u16string>& keys);
    std::optional<std::u16string_view> firstKeyPart(ErrorPolicy& policy, const ColumnCells& cells,
                                                    std::size_t r);
    void takeValue(ErrorPolicy& policy, const ColumnCells& cells, std::size_t r, TableColumns& table);
    void takeMoreValue(ErrorPolicy& policy, const ColumnCells& cells, std::size_t r,
                       std::vector<sheets::CellValue>& values);

    KeyRule rule_;
    std::u16string holder_;
    std::u16string scratch_;                 // a cell's text made for it
    std::vector<std::u16string> partTexts_;  // the same, for a composite key's further parts
    std::vector<std::u16string_view> parts_;
};

}  // namespace run
