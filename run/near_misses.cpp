#include "run/near_misses.h"

#include <cstdio>

#include "run/composite_key.h"

namespace run {
namespace {

// Subsets of the three differences, fewest first.
constexpr KeyFolding kByCount[] = {{true, false, false}, {false, true, false}, {false, false, true},
                                   {true, true, false},  {true, false, true},  {false, true, true},
                                   {true, true, true}};

bool within(KeyFolding subset, KeyFolding set) {
    return (!subset.width || set.width) && (!subset.letterCase || set.letterCase) &&
           (!subset.invisible || set.invisible);
}

std::u16string folded(std::u16string_view key, KeyFolding folding, bool composite) {
    std::u16string out = foldedKey(key, folding);
    if (composite && hasOnlyEmptyParts(out)) out.clear();
    return out;
}

// The fewest differences within `left` that make the two keys equal: their position in kByCount.
std::size_t fewestDifferences(std::u16string_view child, std::u16string_view parent, KeyFolding left) {
    for (std::size_t i = 0; i < std::size(kByCount); ++i)
        if (within(kByCount[i], left) && foldedKey(child, kByCount[i]) == foldedKey(parent, kByCount[i]))
            return i;
    return std::size(kByCount) - 1;
}

// Of the parent rows from `first` on with the same folded key, the first with the fewest differences
// from the child's key (a few rows looked at), and those differences.
std::pair<std::size_t, KeyFolding> closestRow(const MatchTables& t, std::size_t c, std::int32_t first,
                                              const std::vector<std::int32_t>& next, KeyFolding left) {
    constexpr int kLookedAt = 16;
    std::size_t best = static_cast<std::size_t>(first), fewest = std::size(kByCount);
    int looked = 0;
    for (std::int32_t p = first; p != kNoRow && looked < kLookedAt && fewest > 0;
         p = next[static_cast<std::size_t>(p)], ++looked) {
        const std::size_t d =
            fewestDifferences(t.childKeys[c], t.parentKeys[static_cast<std::size_t>(p)], left);
        if (d < fewest) best = static_cast<std::size_t>(p), fewest = d;
    }
    return {best, kByCount[fewest]};
}

// The key as read, its invisible characters named.
std::u16string visibleKey(std::u16string_view key, bool composite) {
    std::u16string out;
    for (const char16_t c : shownKey(key, composite)) {
        if (!isInvisible(c)) {
            out.push_back(c);
            continue;
        }
        char name[16];
        std::snprintf(name, sizeof name, "[U+%04X]", static_cast<unsigned>(c));
        for (const char* n = name; *n; ++n) out.push_back(static_cast<char16_t>(*n));
    }
    return out;
}

}  // namespace

NearMisses findNearMisses(const MatchTables& t, const std::vector<bool>& inParent, KeyFolding done,
                          const ShownKeys& shown) {
    NearMisses misses;
    const KeyFolding left{!done.width, !done.letterCase, !done.invisible};
    const auto missing = [&](std::size_t c) { return !t.childKeys[c].empty() && !inParent[c]; };
    bool any = false;
    for (std::size_t c = 0; c < t.childKeys.size() && !any; ++c) any = missing(c);
    if (!any || !left.any()) return misses;

    std::vector<std::u16string> parentKeys(t.parentKeys.size()), childKeys(t.childKeys.size());
    for (std::size_t p = 0; p < parentKeys.size(); ++p)
        parentKeys[p] = folded(t.parentKeys[p], left, shown.composite);
    for (std::size_t c = 0; c < childKeys.size(); ++c)
        if (missing(c)) childKeys[c] = folded(t.childKeys[c], left, shown.composite);
    const auto rows = lookupRows({parentKeys, {}, childKeys, {}, {}, {}});
    const auto next = nextRowsOfSameKey(parentKeys);

    for (std::size_t c = 0; c < rows.size(); ++c) {
        if (rows[c] == kNoRow) continue;
        const auto [p, d] = closestRow(t, c, rows[c], next, left);
        ++misses.count;
        ++misses.byDifferences[NearMisses::differenceIndex(d)];
        if (misses.examples.size() == NearMisses::kExamples) continue;
        misses.examples.push_back({static_cast<std::int32_t>(c + 1), static_cast<std::int32_t>(p + 1),
                                   visibleKey(shown.childKeys[c], shown.composite),
                                   visibleKey(shown.parentKeys[p], shown.composite), d});
    }
    return misses;
}

}  // namespace run
