#include "run/matching.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <tuple>

#include "run/run_report.h"
#include "run/tests/plain_scan.h"

namespace run {
namespace {

using Column = std::vector<std::u16string>;

// The help window's example.
const Column kParentKeys{u"A01", u"A02", u"A03"}, kParentValues{u"000", u"111", u"222"};
const Column kChildKeys{u"A01", u"B01", u"A03"}, kChildValues{u"001", u"111", u"222"};

// The result as text, each value cell holding its value as a text.
std::u16string result(MatchTables t, const std::vector<std::int32_t>& rows, Whose whose) {
    const auto cells = [](std::span<const std::u16string> values) {
        std::vector<sheets::CellValue> out;
        for (const auto& v : values) out.push_back(sheets::CellValue::text(v));
        return out;
    };
    const auto parentCells = cells(t.parentValues), childCells = cells(t.childValues);
    t.parentCells = parentCells;
    t.childCells = childCells;
    return resultText(resultRows(t, rows, whose));
}

// The help window's example by each way of matching, then the first qualifying parent row, empty
// keys that never match, empty parent values that never yield and an empty child value that differs.
TEST(Matching, LookupAndFurtherMatching) {
    const MatchTables help{kParentKeys, kParentValues, kChildKeys, kChildValues, {}, {}};
    const MatchTables lookup{kParentKeys, kParentValues, kChildKeys, {}, {}, {}};
    EXPECT_EQ(result(lookup, lookupRows(lookup), Whose::Parent), u"000\r\r222\r");
    const std::u16string helpResults[2][3] = {{u"\r\r222\r", u"\r\r222\r", u"\r\r222\t222\r"},
                                              {u"000\r\r\r", u"001\r\r\r", u"000\t001\r\r\r"}};
    for (const ValueTest test : {ValueTest::Agree, ValueTest::Differ})
        for (const Whose whose : {Whose::Parent, Whose::Child, Whose::Both})
            EXPECT_EQ(result(help, furtherMatchRows(help, test), whose),
                      helpResults[static_cast<int>(test)][static_cast<int>(whose)]);

    struct Case {
        Column parentKeys, parentValues, childKeys, childValues;
        ValueTest test;
        Whose whose;
        std::u16string text;
    };
    const Column k{u"K"}, kk{u"K", u"K"}, ek{u"", u"K"}, ekk{u"", u"K", u"K"}, v20{u"20"}, none{u"", u""};
    const Case cases[] = {
        {kk, {u"10", u"20"}, k, v20, ValueTest::Agree, Whose::Parent, u"20\r"},
        {kk, {u"10", u"20"}, k, v20, ValueTest::Differ, Whose::Parent, u"10\r"},
        {kk, {u"10", u"20"}, k, v20, ValueTest::Differ, Whose::Child, u"20\r"},
        {kk, {u"", u"30"}, k, v20, ValueTest::Differ, Whose::Parent, u"30\r"},
        {ekk, {u"x", u"", u""}, ek, none, ValueTest::Agree, Whose::Both, u"\r\r"},
        {ekk, {u"x", u"", u""}, ek, none, ValueTest::Differ, Whose::Both, u"\r\r"},
        {ekk, {u"x", u"y", u""}, ek, none, ValueTest::Differ, Whose::Both, u"\ry\t\r"},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        const MatchTables t{c.parentKeys, c.parentValues, c.childKeys, c.childValues, {}, {}};
        EXPECT_EQ(result(t, furtherMatchRows(t, c.test), c.whose), c.text) << i;
    }
}

// How the child rows fared by each way of matching, over one pair of tables: duplicate parent keys
// (the first row counts), an empty child key, a key the parent lacks, an empty parent value.
TEST(Matching, CountsOfEachWay) {
    const Column pk{u"A", u"B", u"A", u"", u"C", u"B", u"A"}, pv{u"1", u"2", u"1x", u"9", u"", u"2", u"3"};
    const Column ck{u"A", u"B", u"", u"D", u"C", u"A"}, cv{u"1", u"5", u"x", u"y", u"7", u"3"};
    using Counts = std::tuple<std::size_t, std::size_t, std::size_t, std::size_t, std::size_t>;
    const std::pair<std::optional<ValueTest>, Counts> cases[] = {
        // matched (of them with an empty value), empty key, not in the parent, no row passing
        {std::nullopt, {4, 1, 1, 1, 0}},
        {ValueTest::Agree, {2, 0, 1, 1, 2}},
        {ValueTest::Differ, {3, 0, 1, 1, 1}},
    };
    const Column lookupHasNone;
    for (const auto& [test, expected] : cases) {
        const MatchTables t{pk, pv, ck, test ? cv : lookupHasNone, {}, {}};
        const MatchCounts c = countMatches(t, test ? furtherMatchRows(t, *test) : lookupRows(t));
        EXPECT_EQ(Counts(c.matched, c.matchedEmpty, c.emptyKey, c.keyNotInParent, c.noPassingRow), expected);
        EXPECT_EQ(std::tuple(c.childRows, c.parentRows, c.duplicateKeys, c.duplicateRows),
                  std::tuple(6u, 7u, 2u, 3u));
        ASSERT_EQ(c.examples.size(), 2u);
        EXPECT_EQ(c.examples[0].key + c.examples[1].key, u"AB");
        EXPECT_EQ(c.examples[0].rows, (std::vector<std::int32_t>{1, 3, 7}));
        EXPECT_EQ(c.examples[1].rows, (std::vector<std::int32_t>{2, 6}));
    }
    const MatchTables lookup{pk, pv, ck, {}, {}, {}};
    RunSummary summary;
    summary.counts = countMatches(lookup, lookupRows(lookup));
    EXPECT_EQ(summaryText(summary),
              u"子表 6 行：得到结果 4 行（其中 1 行父表的值为空），没有结果 2 行（键为空 1 "
              u"行，父表中没有该键 1 行）。\n"
              u"父表 7 行：2 个键出现多次，多出 3 行（匹配时取最先出现的一行），例如：\n"
              u"  A：第 1、3、7 行\n"
              u"  B：第 2、6 行");
}

// The index must choose exactly the rows a top-down scan chooses.
TEST(Matching, IndexAgreesWithPlainScan) {
    std::mt19937 random(20261206);
    auto column = [&](std::size_t n, int alphabet) {
        Column c(n);
        for (auto& s : c) {
            const int len = std::uniform_int_distribution(0, 2)(random);
            for (int i = 0; i < len; ++i) s.push_back(static_cast<char16_t>(u'a' + random() % alphabet));
        }
        return c;
    };
    for (int round = 0; round < 400; ++round) {
        const auto parents = std::uniform_int_distribution<std::size_t>(0, 40)(random);
        const auto children = std::uniform_int_distribution<std::size_t>(0, 40)(random);
        const int alphabet = 1 + round % 3;
        const Column pk = column(parents, alphabet), pv = column(parents, alphabet);
        const Column ck = column(children, alphabet), cv = column(children, alphabet);
        const MatchTables t{pk, pv, ck, cv, {}, {}};
        ASSERT_EQ(lookupRows(t), plain_scan::lookupRows(t)) << round;
        for (auto test : {ValueTest::Agree, ValueTest::Differ})
            ASSERT_EQ(furtherMatchRows(t, test), plain_scan::furtherMatchRows(t, test)) << round;
    }
}

}  // namespace
}  // namespace run
