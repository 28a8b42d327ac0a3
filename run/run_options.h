#pragma once

#include <string>
#include <vector>

#include "run/key_folding.h"
#include "run/matching.h"

namespace run {

enum class Unmatched { LeaveEmpty, WriteText };  // "留空", "写入文字"

// What a run may do beyond the main window's inputs. At its defaults a run is exactly the one the
// main window alone describes. Column positions count from 0.
struct RunOptions {
    KeyFolding folding;  // applied to both tables' keys once they are cut
    // Lookups: further parent columns, written as further result columns in this order.
    std::vector<int> moreValueColumns;
    // Further key columns of each table, their texts trimmed and taken whole: rows match when every
    // part matches. Both tables have as many.
    std::vector<int> moreParentKeyColumns;
    std::vector<int> moreChildKeyColumns;
    DuplicateKeys duplicates = DuplicateKeys::First;  // lookups
    Unmatched unmatched = Unmatched::LeaveEmpty;      // a child row that gets no result
    std::u16string unmatchedText;                     // written as text under WriteText

    static constexpr std::size_t kMaxMoreKeyColumns = 2;

    bool composite() const { return !moreParentKeyColumns.empty() || !moreChildKeyColumns.empty(); }
    bool operator==(const RunOptions&) const = default;
};

// "A", "Z", "AA" for 0-based columns 0, 25, 26.
std::u16string columnLetters(int column);

// The options that are not at their defaults, in one short line ("选项：不分大小写；另取 D、F 列"), or
// the empty text when all are.
std::u16string optionsSummary(const RunOptions& options);

}  // namespace run
