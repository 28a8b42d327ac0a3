#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "run/key_folding.h"
#include "run/matching.h"

namespace run {

// The keys of both tables as the user reads them (cut, not folded), beside the keys a run matches.
struct ShownKeys {
    std::span<const std::u16string> parentKeys;
    std::span<const std::u16string> childKeys;
    bool composite = false;
};

// Child keys that are not among the parent keys but would be if the differences the run did not
// leave aside were: how many, how many for each set of differences, and the first few with the
// first parent row they would have found.
struct NearMisses {
    struct Example {
        std::int32_t childRow = 0, parentRow = 0;  // 1-based
        std::u16string childKey, parentKey;        // as read, invisible characters named ("[U+00A0]")
        KeyFolding differences;                    // the fewest that explain it

        bool operator==(const Example&) const = default;
    };
    static constexpr std::size_t kExamples = 5;

    std::size_t count = 0;
    std::array<std::size_t, 8> byDifferences{};  // indexed by differenceIndex
    std::vector<Example> examples;

    static std::size_t differenceIndex(KeyFolding d) {
        return (d.width ? 1 : 0) + (d.letterCase ? 2 : 0) + (d.invisible ? 4 : 0);
    }
    bool operator==(const NearMisses&) const = default;
};

// inParent tells, per child row, whether its key is among the parent keys of `tables`, which were
// folded by `folded` already. Folds and indexes the parent keys only when some child key is missing.
NearMisses findNearMisses(const MatchTables& tables, const std::vector<bool>& inParent, KeyFolding folded,
                          const ShownKeys& shown);

}  // namespace run
