#include "run/matching.h"

#include <bit>
#include <cstring>
#include <string_view>

namespace run {
namespace {

// An entry beyond an array counts as the empty text.
std::u16string_view at(std::span<const std::u16string> array, std::size_t i) {
    return i < array.size() ? std::u16string_view(array[i]) : std::u16string_view{};
}

std::uint64_t mix(std::uint64_t h) {
    h ^= h >> 32;
    h *= 0xD6E8FEB86659FD93ull;
    h ^= h >> 32;
    return h;
}

std::uint64_t hashText(std::u16string_view s, std::uint64_t seed = 0x9E3779B97F4A7C15ull) {
    std::uint64_t h = seed ^ (s.size() * 0xFF51AFD7ED558CCDull);
    const char* p = reinterpret_cast<const char*>(s.data());
    std::size_t bytes = s.size() * sizeof(char16_t);
    for (; bytes >= 8; bytes -= 8, p += 8) {
        std::uint64_t w;
        std::memcpy(&w, p, 8);
        h = (h ^ mix(w)) * 0x9FB21C651E98DF25ull;
    }
    if (bytes > 0) {
        std::uint64_t w = 0;
        std::memcpy(&w, p, bytes);
        h = (h ^ mix(w)) * 0x9FB21C651E98DF25ull;
    }
    return mix(h);
}

// An open-addressing table from a key text to up to two parent rows, built once per run. It keeps
// views into the parent keys, which stay untouched while it lives.
class RowIndex {
public:
    struct Slot {
        std::uint64_t hash = 0;  // 0: free
        const char16_t* key = nullptr;
        std::uint32_t keySize = 0;
        std::int32_t first = kNoRow;
        std::int32_t second = kNoRow;

        std::u16string_view keyText() const { return {key, keySize}; }
    };

    explicit RowIndex(std::size_t entries)
        : slots_(std::bit_ceil(std::max<std::size_t>(16, entries * 2))), mask_(slots_.size() - 1) {}

    void prefetch(std::uint64_t hash) const { __builtin_prefetch(&slots_[(hash | 1) & mask_]); }
    // Once the slot is at hand: the key text its entry points to.
    void prefetchKey(std::uint64_t hash) const {
        const Slot& s = slots_[(hash | 1) & mask_];
        if (s.hash != 0) __builtin_prefetch(s.key);
    }

    // The slot of an entry with this key for which more(slot) holds; a new slot when there is none.
    template <class More>
    Slot& slot(std::uint64_t hash, std::u16string_view key, More&& more) {
        hash |= 1;
        for (std::size_t i = hash & mask_;; i = (i + 1) & mask_) {
            Slot& s = slots_[i];
            if (s.hash == 0) {
                s.hash = hash;
                s.key = key.data();
                s.keySize = static_cast<std::uint32_t>(key.size());
                return s;
            }
            if (s.hash == hash && s.keyText() == key && more(s)) return s;
        }
    }

    template <class More>
    const Slot* find(std::uint64_t hash, std::u16string_view key, More&& more) const {
        hash |= 1;
        for (std::size_t i = hash & mask_;; i = (i + 1) & mask_) {
            const Slot& s = slots_[i];
            if (s.hash == 0) return nullptr;
            if (s.hash == hash && s.keyText() == key && more(s)) return &s;
        }
    }

private:
    std::vector<Slot> slots_;
    std::size_t mask_;
};

// Calls visit(i, hash) for i in 0..n in order, hashing a batch ahead and prefetching its slots and
// their key texts, so that the cache misses of the table overlap.
template <class Hash, class Visit>
void inBatches(std::size_t n, const RowIndex& index, Hash&& hash, Visit&& visit) {
    constexpr std::size_t kBatch = 16;
    std::uint64_t hashes[kBatch];
    for (std::size_t base = 0; base < n; base += kBatch) {
        const std::size_t count = std::min(kBatch, n - base);
        for (std::size_t i = 0; i < count; ++i) {
            hashes[i] = hash(base + i);
            index.prefetch(hashes[i]);
        }
        for (std::size_t i = 0; i < count; ++i) index.prefetchKey(hashes[i]);
        for (std::size_t i = 0; i < count; ++i) visit(base + i, hashes[i]);
    }
}

constexpr auto kAny = [](const RowIndex::Slot&) { return true; };

// Hashes entry i of a key column.
auto keyHash(std::span<const std::u16string> keys) {
    return [keys](std::size_t i) { return hashText(keys[i]); };
}

}  // namespace

// Per key, its first row and its last (second).
std::vector<std::int32_t> lookupRows(const MatchTables& t, DuplicateKeys pick) {
    RowIndex index(t.parentKeys.size());
    inBatches(t.parentKeys.size(), index, keyHash(t.parentKeys), [&](std::size_t p, std::uint64_t h) {
        const std::u16string_view key = t.parentKeys[p];
        if (key.empty()) return;
        auto& s = index.slot(h, key, kAny);
        if (s.first == kNoRow) s.first = static_cast<std::int32_t>(p);
        s.second = static_cast<std::int32_t>(p);
    });
    const bool last = pick == DuplicateKeys::Last;
    std::vector<std::int32_t> rows(t.childKeys.size(), kNoRow);
    inBatches(rows.size(), index, keyHash(t.childKeys), [&](std::size_t c, std::uint64_t h) {
        const std::u16string_view key = t.childKeys[c];
        if (key.empty()) return;
        if (const auto* s = index.find(h, key, kAny)) rows[c] = last ? s->second : s->first;
    });
    return rows;
}

namespace {

// Per child row, the first parent row holding both its key and its value, neither empty.
std::vector<std::int32_t> agreeingRows(const MatchTables& t) {
    std::vector<std::int32_t> rows(t.childKeys.size(), kNoRow);
    RowIndex index(t.parentKeys.size());
    const auto pairHash = [](std::span<const std::u16string> keys, std::span<const std::u16string> values) {
        return [keys, values](std::size_t i) { return hashText(at(values, i), hashText(keys[i])); };
    };
    inBatches(t.parentKeys.size(), index, pairHash(t.parentKeys, t.parentValues),
              [&](std::size_t p, std::uint64_t h) {
                  const std::u16string_view key = t.parentKeys[p], value = at(t.parentValues, p);
                  if (key.empty() || value.empty()) return;
                  auto& s = index.slot(h, key, [&](const RowIndex::Slot& s) {
                      return at(t.parentValues, static_cast<std::size_t>(s.first)) == value;
                  });
                  if (s.first == kNoRow) s.first = static_cast<std::int32_t>(p);
              });
    inBatches(rows.size(), index, pairHash(t.childKeys, t.childValues), [&](std::size_t c, std::uint64_t h) {
        const std::u16string_view key = t.childKeys[c], value = at(t.childValues, c);
        if (key.empty() || value.empty()) return;
        const auto* s = index.find(h, key, [&](const RowIndex::Slot& s) {
            return at(t.parentValues, static_cast<std::size_t>(s.first)) == value;
        });
        if (s) rows[c] = s->first;
    });
    return rows;
}

std::vector<std::int32_t> differingRows(const MatchTables& t) {
    std::vector<std::int32_t> rows(t.childKeys.size(), kNoRow);
    RowIndex index(t.parentKeys.size());
    // Per key, the first row with a non-empty value, and the first after it whose value differs
    // from that one. A child value that differs from the first takes the first; one that equals
    // it takes the first that differs.
    inBatches(t.parentKeys.size(), index, keyHash(t.parentKeys), [&](std::size_t p, std::uint64_t h) {
        const std::u16string_view key = t.parentKeys[p], value = at(t.parentValues, p);
        if (key.empty() || value.empty()) return;
        auto& s = index.slot(h, key, kAny);
        if (s.first == kNoRow) {
            s.first = static_cast<std::int32_t>(p);
        } else if (s.second == kNoRow && value != at(t.parentValues, static_cast<std::size_t>(s.first))) {
            s.second = static_cast<std::int32_t>(p);
        }
    });
    inBatches(rows.size(), index, keyHash(t.childKeys), [&](std::size_t c, std::uint64_t h) {
        const std::u16string_view key = t.childKeys[c];
        if (key.empty()) return;
        const auto* s = index.find(h, key, kAny);
        if (!s) return;
        const bool differsFromFirst =
            at(t.childValues, c) != at(t.parentValues, static_cast<std::size_t>(s->first));
        rows[c] = differsFromFirst ? s->first : s->second;
    });
    return rows;
}

}  // namespace

std::vector<std::int32_t> furtherMatchRows(const MatchTables& t, ValueTest test) {
    return test == ValueTest::Agree ? agreeingRows(t) : differingRows(t);
}

KeyCensus keyCensus(const MatchTables& t, std::size_t examples) {
    KeyCensus census;
    RowIndex index(t.parentKeys.size());
    inBatches(t.parentKeys.size(), index, keyHash(t.parentKeys), [&](std::size_t p, std::uint64_t h) {
        const std::u16string_view key = t.parentKeys[p];
        if (key.empty()) return;
        auto& s = index.slot(h, key, kAny);
        if (s.first == kNoRow) {
            s.first = static_cast<std::int32_t>(p);
            return;
        }
        ++census.duplicateRows;
        if (s.second != kNoRow) return;
        s.second = static_cast<std::int32_t>(p);
        ++census.duplicateKeys;
        if (census.duplicateFirstRows.size() < examples) census.duplicateFirstRows.push_back(s.first);
    });
    census.inParent.assign(t.childKeys.size(), false);
    inBatches(t.childKeys.size(), index, keyHash(t.childKeys), [&](std::size_t c, std::uint64_t h) {
        const std::u16string_view key = t.childKeys[c];
        census.inParent[c] = !key.empty() && index.find(h, key, kAny) != nullptr;
    });
    return census;
}

sheets::CellRows resultRows(const MatchTables& t, const std::vector<std::int32_t>& rows, Whose whose) {
    const auto cellAt = [](std::span<const sheets::CellValue> cells, std::size_t i) {
        return i < cells.size() ? cells[i] : sheets::CellValue();
    };
    sheets::CellRows out{whose == Whose::Both ? 2 : 1, {}};
    out.cells.reserve(rows.size() * static_cast<std::size_t>(out.width));
    for (std::size_t c = 0; c < rows.size(); ++c) {
        const bool chosen = rows[c] != kNoRow;
        const auto p = chosen ? static_cast<std::size_t>(rows[c]) : 0;
        if (whose != Whose::Child)
            out.cells.push_back(chosen ? cellAt(t.parentCells, p) : sheets::CellValue());
        if (whose != Whose::Parent)
            out.cells.push_back(chosen ? cellAt(t.childCells, c) : sheets::CellValue());
    }
    return out;
}

std::vector<std::int32_t> nextRowsOfSameKey(std::span<const std::u16string> keys) {
    std::vector<std::int32_t> next(keys.size(), kNoRow);
    RowIndex index(keys.size());
    inBatches(keys.size(), index, keyHash(keys), [&](std::size_t p, std::uint64_t h) {
        if (keys[p].empty()) return;
        auto& s = index.slot(h, keys[p], kAny);
        if (s.second != kNoRow) next[static_cast<std::size_t>(s.second)] = static_cast<std::int32_t>(p);
        s.second = static_cast<std::int32_t>(p);
    });
    return next;
}

namespace {

// The texts of a column's cells in the rows from `first` on, joined by "、"; a single row's cell
// as it is.
sheets::CellValue joinedCells(std::span<const sheets::CellValue> cells, std::int32_t first,
                              const std::vector<std::int32_t>& next) {
    const auto cellAt = [&](std::int32_t p) {
        const auto i = static_cast<std::size_t>(p);
        return i < cells.size() ? cells[i] : sheets::CellValue();
    };
    if (next[static_cast<std::size_t>(first)] == kNoRow) return cellAt(first);
    std::u16string text;
    for (std::int32_t p = first; p != kNoRow; p = next[static_cast<std::size_t>(p)]) {
        if (p != first) text += u"、";
        const sheets::CellValue cell = cellAt(p);
        if (!cell.isError()) text += cell.toText();
    }
    return sheets::CellValue::text(std::move(text));
}

// Per parent row, how many rows from it on hold its key.
std::vector<std::int32_t> rowsFromHere(const std::vector<std::int32_t>& next) {
    std::vector<std::int32_t> count(next.size(), 1);
    for (std::size_t p = next.size(); p-- > 0;)
        if (next[p] != kNoRow) count[p] += count[static_cast<std::size_t>(next[p])];
    return count;
}

}  // namespace

sheets::CellRows lookupResult(const MatchTables& t,
                              std::span<const std::span<const sheets::CellValue>> columns,
                              const std::vector<std::int32_t>& rows, DuplicateKeys pick) {
    const bool count = pick == DuplicateKeys::Count, all = pick == DuplicateKeys::AllJoined;
    const std::vector<std::int32_t> next =
        count || all ? nextRowsOfSameKey(t.parentKeys) : std::vector<std::int32_t>();
    const std::vector<std::int32_t> counts = count ? rowsFromHere(next) : std::vector<std::int32_t>();
    sheets::CellRows out{count ? 1 : static_cast<int>(columns.size()), {}};
    out.cells.reserve(rows.size() * static_cast<std::size_t>(out.width));
    for (const std::int32_t first : rows) {
        const auto p = static_cast<std::size_t>(first);
        for (int c = 0; c < out.width; ++c) {
            if (first == kNoRow) {
                out.cells.emplace_back();
                continue;
            }
            if (count) {
                out.cells.push_back(sheets::CellValue::number(counts[p]));
                continue;
            }
            const auto cells = columns[static_cast<std::size_t>(c)];
            out.cells.push_back(all                ? joinedCells(cells, first, next)
                                : p < cells.size() ? cells[p]
                                                   : sheets::CellValue());
        }
    }
    return out;
}

void markUnmatched(sheets::CellRows& result, const std::vector<std::int32_t>& rows,
                   const std::u16string& text) {
    const auto width = static_cast<std::size_t>(result.width);
    for (std::size_t r = 0; r < rows.size(); ++r)
        if (rows[r] == kNoRow)
            for (std::size_t c = 0; c < width; ++c)
                result.cells[r * width + c] = sheets::CellValue::text(text);
}

std::u16string resultText(const sheets::CellRows& rows) {
    std::u16string text;
    std::vector<std::u16string> cells(static_cast<std::size_t>(rows.width));
    for (std::size_t r = 0; r < rows.rowCount(); ++r) {
        bool any = false;
        for (int c = 0; c < rows.width; ++c) {
            const sheets::CellValue& v = rows.at(r, c);
            cells[c] = v.isError() ? std::u16string() : v.toText();
            any |= !cells[c].empty();
        }
        // A row without a value is an empty line, without separators.
        for (int c = 0; any && c < rows.width; ++c) {
            if (c > 0) text.push_back(u'\t');
            text.append(cells[c]);
        }
        text.push_back(u'\r');
    }
    return text;
}

}  // namespace run
