#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "run/error_policy.h"
#include "run/matching.h"
#include "run/near_misses.h"
#include "sheets/application.h"

namespace run {

// How the child rows fared, and the parent keys that occur more than once.
struct MatchCounts {
    struct Duplicate {
        std::u16string key;
        std::vector<std::int32_t> rows;  // 1-based, the first few
    };
    static constexpr std::size_t kExamples = 5;

    std::size_t childRows = 0;
    std::size_t matched = 0;
    std::size_t matchedEmpty = 0;  // of them, with an empty parent value (lookup)
    std::size_t emptyKey = 0;
    std::size_t keyNotInParent = 0;
    std::size_t noPassingRow = 0;  // the key is there, but no row passes the value test
    std::size_t parentRows = 0;
    std::size_t duplicateKeys = 0;  // keys of more than one parent row
    std::size_t duplicateRows = 0;  // parent rows after the first of their key
    std::vector<Duplicate> examples;
    DuplicateKeys taken = DuplicateKeys::First;  // what a lookup took of a duplicate key's rows
    NearMisses nearMisses;

    bool operator==(const MatchCounts&) const = default;
};

// How a run compared its keys beyond what `tables` hold: the keys as read (the tables' own when not
// given), the differences already folded away, and what a lookup took of duplicate keys.
struct KeyComparison {
    ShownKeys shown;
    KeyFolding folded;
    DuplicateKeys taken = DuplicateKeys::First;
};

// `rows`: the parent row chosen for each child row; the first of its key when a lookup took all of
// them or counted them. `counted` is called between the counting and the search for near misses,
// each a pass over every key.
MatchCounts countMatches(
    const MatchTables& tables, const std::vector<std::int32_t>& rows, const KeyComparison& comparison = {},
    const std::function<void()>& counted = [] {});

// Where the result cells went.
struct Destination {
    std::u16string file;          // empty: the new workbook
    std::u16string sheet = u"1";  // its position, as the user gave it
    std::u16string columns;       // "C" or "C、D"
};

// A placement step that failed under IgnoreErrors: the result was not written or not saved.
struct NotPlaced {
    bool saving = false;
    std::u16string file;  // empty: the new workbook
    StepFailure failure;
    StepFailure ownFailure;  // for a step that lacked what an earlier one failed to obtain: that one
};

struct RunSummary {
    std::optional<MatchCounts> counts;
    std::vector<StepFailure> skipped;  // the first few
    std::size_t skippedCount = 0;
    std::optional<Destination> destination;  // set once the result is written
    std::vector<sheets::StoreReport> stores;
    std::optional<NotPlaced> notPlaced;
    bool cancelledWhileSaving = false;
    std::u16string officeBecause;  // not empty: the run started again on the office, and why
    std::u16string options;        // the options not at their defaults, in one line; empty at the defaults
};

// A path's file name, after its last slash or backslash; a path ending in one as it is.
std::u16string fileNameOf(const std::u16string& path);

// The cause of a failed step, in Chinese ("文件只读").
std::u16string causeText(const StepFailure& failure);
// "子表 child.xlsx 无法保存结果：文件只读": a file the run would store, refused before it starts.
std::u16string notStorableText(std::u16string_view role, const sheets::FailureCause& cause);
// The user's reason for a failed step: its part of the run and its cause, in Chinese.
std::u16string reasonText(const StepFailure& failure);
// "结果未能保存到 child.xls：文件只读" when a placement step failed; "取消时已开始保存，结果已保存" when
// the user cancelled too late to stop the save; else empty.
std::u16string informativeText(const RunSummary& summary);
// The completion's details: counts, skipped steps, where the result went, stores and backups.
std::u16string summaryText(const RunSummary& summary);

}  // namespace run
