#include "run/matching.h"

#include <gtest/gtest.h>

#include <random>

namespace run {
namespace {

using Column = std::vector<std::u16string>;

std::u16string furtherMatch(const MatchTables& t, ValueTest test, Whose whose) {
    return resultText(t, furtherMatchRows(t, test), whose);
}

// The help window's example.
const Column kParentKeys{u"A01", u"A02", u"A03"}, kParentValues{u"000", u"111", u"222"};
const Column kChildKeys{u"A01", u"B01", u"A03"}, kChildValues{u"001", u"111", u"222"};

TEST(Matching, HelpExample) {
    const MatchTables lookup{kParentKeys, kParentValues, kChildKeys, {}};
    EXPECT_EQ(resultText(lookup, lookupRows(lookup), Whose::Parent), u"000\r\r222\r");

    const MatchTables t{kParentKeys, kParentValues, kChildKeys, kChildValues};
    struct Case {
        ValueTest test;
        Whose whose;
        std::u16string text;
    };
    const Case cases[] = {
        {ValueTest::Agree, Whose::Parent, u"\r\r222\r"},
        {ValueTest::Agree, Whose::Child, u"\r\r222\r"},
        {ValueTest::Agree, Whose::Both, u"\r\r222\t222\r"},
        {ValueTest::Differ, Whose::Parent, u"000\r\r\r"},
        {ValueTest::Differ, Whose::Child, u"001\r\r\r"},
        {ValueTest::Differ, Whose::Both, u"000\t001\r\r\r"},
    };
    for (const auto& c : cases) EXPECT_EQ(furtherMatch(t, c.test, c.whose), c.text);
}

TEST(Matching, FirstQualifyingParentRowWins) {
    const Column keys{u"K", u"K"}, values{u"10", u"20"}, childKeys{u"K"}, childValues{u"20"};
    const MatchTables t{keys, values, childKeys, childValues};
    EXPECT_EQ(furtherMatch(t, ValueTest::Agree, Whose::Parent), u"20\r");
    EXPECT_EQ(furtherMatch(t, ValueTest::Differ, Whose::Parent), u"10\r");
    EXPECT_EQ(furtherMatch(t, ValueTest::Differ, Whose::Child), u"20\r");

    const Column emptyFirst{u"", u"30"}, child20{u"20"};
    EXPECT_EQ(furtherMatch({keys, emptyFirst, childKeys, child20}, ValueTest::Differ, Whose::Parent),
              u"30\r");

    // empty keys never match, empty parent values never yield, an empty child value differs
    const Column pk{u"", u"K", u"K"}, pv{u"x", u"", u""}, ck{u"", u"K"}, cv{u"", u""};
    for (auto test : {ValueTest::Agree, ValueTest::Differ})
        EXPECT_EQ(furtherMatch({pk, pv, ck, cv}, test, Whose::Both), u"\r\r");
    const Column pv2{u"x", u"y", u""};
    EXPECT_EQ(furtherMatch({pk, pv2, ck, cv}, ValueTest::Differ, Whose::Both), u"\ry\t\r");
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
        const MatchTables t{pk, pv, ck, cv};
        ASSERT_EQ(lookupRows(t), reference::lookupRows(t)) << round;
        for (auto test : {ValueTest::Agree, ValueTest::Differ})
            ASSERT_EQ(furtherMatchRows(t, test), reference::furtherMatchRows(t, test)) << round;
    }
}

}  // namespace
}  // namespace run
