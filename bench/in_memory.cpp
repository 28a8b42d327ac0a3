#include "in_memory.h"

#include <sched.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "run/matching.h"
#include "run/near_misses.h"
#include "run/run_report.h"
#include "run/tests/plain_scan.h"
#include "run/vb_text.h"
#include "table_generator.h"

namespace bench {
namespace {

using Clock = std::chrono::steady_clock;

struct TextTables {
    std::vector<std::u16string> parentKeys, parentValues, childKeys, childValues;
    std::vector<sheets::CellValue> parentCells, childCells;
    run::MatchTables lookup() const { return {parentKeys, parentValues, childKeys, {}, parentCells, {}}; }
    run::MatchTables further() const {
        return {parentKeys, parentValues, childKeys, childValues, parentCells, childCells};
    }
};

// The arrays a run collects: trimmed key texts, untrimmed value texts.
TextTables texts(std::int32_t rows) {
    const Tables t = generateTables(rows);
    TextTables out;
    for (const auto& c : t.parent[0]) out.parentKeys.push_back(run::trim(c.toText()));
    for (const auto& c : t.parent[1]) out.parentValues.push_back(c.toText());
    out.parentCells = t.parent[1];
    out.childCells = t.child[1];
    for (const auto& c : t.child[0]) out.childKeys.push_back(run::trim(c.toText()));
    for (const auto& c : t.child[1]) out.childValues.push_back(c.toText());
    return out;
}

// The best of a few repetitions, in milliseconds.
template <class F>
double bestMs(int repetitions, F&& f) {
    double best = 1e300;
    for (int i = 0; i < repetitions; ++i) {
        const auto from = Clock::now();
        f();
        best = std::min(best, std::chrono::duration<double, std::milli>(Clock::now() - from).count());
    }
    return best;
}

}  // namespace

void measureMatching(const std::vector<std::int32_t>& sizes, std::int32_t scanRows) {
    // One core: the run is single-threaded, and so is this measurement.
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(0, &one);
    sched_setaffinity(0, sizeof one, &one);

    std::printf("\nMatching in memory (one core, best of 3; rows = parent rows = child rows)\n");
    std::printf("%10s %12s %12s %12s %12s %12s %12s %12s %14s\n", "rows", "lookup ms", "further ms",
                "result ms", "counts ms", "near ms", "lookup+text", "ns/row", "plain scan ms");
    for (const std::int32_t rows : sizes) {
        const TextTables t = texts(rows);
        std::vector<std::int32_t> found;
        sheets::CellRows cells;
        const double lookup = bestMs(3, [&] { found = run::lookupRows(t.lookup()); });
        const double further = bestMs(3, [&] { run::furtherMatchRows(t.further(), run::ValueTest::Agree); });
        const double build =
            bestMs(3, [&] { cells = run::resultRows(t.lookup(), found, run::Whose::Parent); });
        const double counts = bestMs(3, [&] { run::countMatches(t.lookup(), found); });
        // Of the counts, the near misses: folding and indexing the parent keys, the child keys that
        // are missing looked up.
        const auto census = run::keyCensus(t.lookup(), 0);
        const double near = bestMs(3, [&] {
            run::findNearMisses(t.lookup(), census.inParent, {}, {t.parentKeys, t.childKeys, false});
        });
        std::string scan = "-";
        if (rows <= scanRows) {
            std::vector<std::int32_t> scanned;
            const double ms = bestMs(1, [&] { scanned = run::plain_scan::lookupRows(t.lookup()); });
            scan = std::to_string(static_cast<long long>(ms + 0.5)) + (scanned == found ? "" : " (DIFFERS)");
        }
        std::printf("%10d %12.1f %12.1f %12.1f %12.1f %12.1f %12.1f %12.1f %14s\n", rows, lookup, further,
                    build, counts, near, lookup + build + counts, (lookup + build + counts) * 1e6 / rows,
                    scan.c_str());
    }
}

}  // namespace bench
