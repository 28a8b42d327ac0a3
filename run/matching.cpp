#include "run/matching.h"

#include <functional>
#include <string_view>
#include <unordered_map>

namespace run {
namespace {

// An entry beyond an array counts as the empty text.
std::u16string_view at(std::span<const std::u16string> array, std::size_t i) {
    return i < array.size() ? std::u16string_view(array[i]) : std::u16string_view{};
}

struct KeyValue {
    std::u16string_view key;
    std::u16string_view value;
    bool operator==(const KeyValue&) const = default;
};

struct KeyValueHash {
    std::size_t operator()(const KeyValue& kv) const {
        const std::hash<std::u16string_view> h;
        return h(kv.key) * 0x9E3779B97F4A7C15ull ^ h(kv.value);
    }
};

// Per key, the first parent row with a non-empty value, and the first after it whose value differs
// from that row's value. A child row whose value differs from the first takes the first; one whose
// value equals it takes the first that differs.
struct DifferRows {
    std::int32_t first = kNoRow;
    std::int32_t firstOther = kNoRow;
};

}  // namespace

std::vector<std::int32_t> lookupRows(const MatchTables& t) {
    std::unordered_map<std::u16string_view, std::int32_t> firstRow;
    firstRow.reserve(t.parentKeys.size());
    for (std::size_t p = 0; p < t.parentKeys.size(); ++p) {
        const std::u16string_view key = t.parentKeys[p];
        if (!key.empty()) firstRow.try_emplace(key, static_cast<std::int32_t>(p));
    }
    std::vector<std::int32_t> rows(t.childKeys.size(), kNoRow);
    for (std::size_t c = 0; c < rows.size(); ++c) {
        const auto it = firstRow.find(t.childKeys[c]);
        if (it != firstRow.end()) rows[c] = it->second;
    }
    return rows;
}

std::vector<std::int32_t> furtherMatchRows(const MatchTables& t, ValueTest test) {
    std::vector<std::int32_t> rows(t.childKeys.size(), kNoRow);
    if (test == ValueTest::Agree) {
        std::unordered_map<KeyValue, std::int32_t, KeyValueHash> firstRow;
        firstRow.reserve(t.parentKeys.size());
        for (std::size_t p = 0; p < t.parentKeys.size(); ++p) {
            const KeyValue kv{t.parentKeys[p], at(t.parentValues, p)};
            if (!kv.key.empty() && !kv.value.empty()) firstRow.try_emplace(kv, static_cast<std::int32_t>(p));
        }
        for (std::size_t c = 0; c < rows.size(); ++c) {
            const auto it = firstRow.find(KeyValue{t.childKeys[c], at(t.childValues, c)});
            if (it != firstRow.end()) rows[c] = it->second;
        }
        return rows;
    }

    std::unordered_map<std::u16string_view, DifferRows> byKey;
    byKey.reserve(t.parentKeys.size());
    for (std::size_t p = 0; p < t.parentKeys.size(); ++p) {
        const std::u16string_view key = t.parentKeys[p];
        const std::u16string_view value = at(t.parentValues, p);
        if (key.empty() || value.empty()) continue;
        DifferRows& d = byKey[key];
        if (d.first == kNoRow) {
            d.first = static_cast<std::int32_t>(p);
        } else if (d.firstOther == kNoRow && value != at(t.parentValues, static_cast<std::size_t>(d.first))) {
            d.firstOther = static_cast<std::int32_t>(p);
        }
    }
    for (std::size_t c = 0; c < rows.size(); ++c) {
        const auto it = byKey.find(t.childKeys[c]);
        if (it == byKey.end()) continue;
        const DifferRows& d = it->second;
        const bool differsFromFirst =
            at(t.childValues, c) != at(t.parentValues, static_cast<std::size_t>(d.first));
        rows[c] = differsFromFirst ? d.first : d.firstOther;
    }
    return rows;
}

std::u16string resultText(const MatchTables& t, const std::vector<std::int32_t>& rows, Whose whose) {
    auto cells = [&](std::size_t c, auto&& emit) {
        if (rows[c] == kNoRow) return;
        const auto p = static_cast<std::size_t>(rows[c]);
        if (whose == Whose::Child) {
            emit(at(t.childValues, c));
        } else {
            emit(at(t.parentValues, p));
            if (whose == Whose::Both) {
                emit(u"\t");
                emit(at(t.childValues, c));
            }
        }
    };
    std::size_t size = rows.size();
    for (std::size_t c = 0; c < rows.size(); ++c) cells(c, [&](std::u16string_view s) { size += s.size(); });
    std::u16string text;
    text.reserve(size);
    for (std::size_t c = 0; c < rows.size(); ++c) {
        cells(c, [&](std::u16string_view s) { text.append(s); });
        text.push_back(u'\r');
    }
    return text;
}

namespace reference {

std::vector<std::int32_t> lookupRows(const MatchTables& t) {
    std::vector<std::int32_t> rows(t.childKeys.size(), kNoRow);
    for (std::size_t c = 0; c < t.childKeys.size(); ++c) {
        for (std::size_t p = 0; p < t.parentKeys.size(); ++p) {
            if (!t.parentKeys[p].empty() && t.parentKeys[p] == t.childKeys[c]) {
                rows[c] = static_cast<std::int32_t>(p);
                break;
            }
        }
    }
    return rows;
}

std::vector<std::int32_t> furtherMatchRows(const MatchTables& t, ValueTest test) {
    std::vector<std::int32_t> rows(t.childKeys.size(), kNoRow);
    for (std::size_t c = 0; c < t.childKeys.size(); ++c) {
        for (std::size_t p = 0; p < t.parentKeys.size(); ++p) {
            if (t.parentKeys[p].empty() || t.parentKeys[p] != t.childKeys[c]) continue;
            const auto parentValue = at(t.parentValues, p);
            const bool equal = at(t.childValues, c) == parentValue;
            if (parentValue.empty() || equal != (test == ValueTest::Agree)) continue;
            rows[c] = static_cast<std::int32_t>(p);
            break;
        }
    }
    return rows;
}

}  // namespace reference
}  // namespace run
