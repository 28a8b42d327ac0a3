#pragma once
// The plain scans that the matching's hash index must agree with, row for row; the benchmarks time
// them as the obvious method.

#include "run/matching.h"

namespace run::plain_scan {

inline std::u16string_view valueAt(std::span<const std::u16string> values, std::size_t i) {
    return i < values.size() ? std::u16string_view(values[i]) : std::u16string_view{};
}

inline std::vector<std::int32_t> lookupRows(const MatchTables& t) {
    std::vector<std::int32_t> rows(t.childKeys.size(), kNoRow);
    for (std::size_t c = 0; c < t.childKeys.size(); ++c)
        for (std::size_t p = 0; p < t.parentKeys.size() && rows[c] == kNoRow; ++p)
            if (!t.parentKeys[p].empty() && t.parentKeys[p] == t.childKeys[c])
                rows[c] = static_cast<std::int32_t>(p);
    return rows;
}

inline std::vector<std::int32_t> furtherMatchRows(const MatchTables& t, ValueTest test) {
    std::vector<std::int32_t> rows(t.childKeys.size(), kNoRow);
    for (std::size_t c = 0; c < t.childKeys.size(); ++c)
        for (std::size_t p = 0; p < t.parentKeys.size() && rows[c] == kNoRow; ++p) {
            if (t.parentKeys[p].empty() || t.parentKeys[p] != t.childKeys[c]) continue;
            const auto parentValue = valueAt(t.parentValues, p);
            const bool equal = valueAt(t.childValues, c) == parentValue;
            if (!parentValue.empty() && equal == (test == ValueTest::Agree))
                rows[c] = static_cast<std::int32_t>(p);
        }
    return rows;
}

}  // namespace run::plain_scan
