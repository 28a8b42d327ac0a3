#include "run/matching.h"

#include <gtest/gtest.h>

#include <random>

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

TEST(Matching, LookupOfTheHelpExample) {
    const MatchTables t{kParentKeys, kParentValues, kChildKeys, {}, {}, {}};
    EXPECT_EQ(result(t, lookupRows(t), Whose::Parent), u"000\r\r222\r");
}

TEST(Matching, FurtherMatching) {
    struct Case {
        Column parentKeys, parentValues, childKeys, childValues;
        ValueTest test;
        Whose whose;
        std::u16string text;
    };
    const Column k{u"K"}, kk{u"K", u"K"}, ek{u"", u"K"}, ekk{u"", u"K", u"K"}, v20{u"20"}, none{u"", u""};
    const Case cases[] = {
        {kParentKeys, kParentValues, kChildKeys, kChildValues, ValueTest::Agree, Whose::Parent, u"\r\r222\r"},
        {kParentKeys, kParentValues, kChildKeys, kChildValues, ValueTest::Agree, Whose::Child, u"\r\r222\r"},
        {kParentKeys, kParentValues, kChildKeys, kChildValues, ValueTest::Agree, Whose::Both,
         u"\r\r222\t222\r"},
        {kParentKeys, kParentValues, kChildKeys, kChildValues, ValueTest::Differ, Whose::Parent,
         u"000\r\r\r"},
        {kParentKeys, kParentValues, kChildKeys, kChildValues, ValueTest::Differ, Whose::Child, u"001\r\r\r"},
        {kParentKeys, kParentValues, kChildKeys, kChildValues, ValueTest::Differ, Whose::Both,
         u"000\t001\r\r\r"},
        // the first qualifying parent row wins
        {kk, {u"10", u"20"}, k, v20, ValueTest::Agree, Whose::Parent, u"20\r"},
        {kk, {u"10", u"20"}, k, v20, ValueTest::Differ, Whose::Parent, u"10\r"},
        {kk, {u"10", u"20"}, k, v20, ValueTest::Differ, Whose::Child, u"20\r"},
        {kk, {u"", u"30"}, k, v20, ValueTest::Differ, Whose::Parent, u"30\r"},
        // empty keys never match, empty parent values never yield, an empty child value differs
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
        ASSERT_EQ(lookupRows(t), reference::lookupRows(t)) << round;
        for (auto test : {ValueTest::Agree, ValueTest::Differ})
            ASSERT_EQ(furtherMatchRows(t, test), reference::furtherMatchRows(t, test)) << round;
    }
}

}  // namespace
}  // namespace run
