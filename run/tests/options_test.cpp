#include <tuple>

#include "run/composite_key.h"
#include "run/key_folding.h"
#include "run/run_report.h"
#include "run_fixture.h"
#include "sheets/utf8.h"

namespace run {
namespace {

constexpr KeyFolding kWidth{true, false, false}, kCase{false, true, false}, kInvisible{false, false, true};

// Each difference alone and together; what folding leaves alone: Chinese, the plain space, the
// ideographic space for invisible characters, a no-break space for width and case.
TEST(KeyFolding, FoldsEachDifferenceAndNothingElse) {
    const std::tuple<std::u16string, KeyFolding, std::u16string> cases[] = {
        {u"ＡＢ１２３", kWidth, u"AB123"},
        {u"ＡＢ１２３", kCase, u"ａｂ１２３"},
        {u"ＡＢ１２３", KeyFolding::all(), u"ab123"},
        {u"\u3000张　三￥", kWidth, u" 张 三¥"},
        {u"张三ÀÉ ΣΑ ЖЯЁ ŽĲİ", kCase, u"张三àé σα жяё žĳi"},
        {u"\uFEFFAB\u00A0 1\u200B2\u3000\u2060", kInvisible, u"AB 12\u3000"},
        {u"A\u00A0b", kWidth | kCase, u"a\u00A0b"},
        {u"張三", KeyFolding::all(), u"張三"},
    };
    for (const auto& [key, folding, expected] : cases) EXPECT_EQ(foldedKey(key, folding), expected);

    // Folding first by some differences and then by all gives what folding by all at once gives.
    const std::u16string mixed = u"\u3000ＡｂĲ\u00A0Ｚ张\u200B";
    for (const KeyFolding some : {kWidth, kCase, kInvisible, kWidth | kCase, kCase | kInvisible})
        EXPECT_EQ(foldedKey(foldedKey(mixed, some), KeyFolding::all()), foldedKey(mixed, KeyFolding::all()));
}

// Parts that differ give different keys, whatever they hold; folding the key folds each part.
TEST(CompositeKey, EqualExactlyWhenEveryPartIs) {
    using Parts = std::vector<std::u16string_view>;
    const Parts distinct[] = {{u"a", u"b"},
                              {u"a\u001F\u001E", u"b"},
                              {u"a", u"\u001F\u001Eb"},
                              {u"a\u001F", u"\u001Eb"},
                              {u"ab", u""},
                              {u"", u"ab"},
                              {u"a", u"b", u""}};
    for (std::size_t i = 0; i < std::size(distinct); ++i)
        for (std::size_t j = 0; j < i; ++j)
            EXPECT_NE(compositeKey(distinct[i]), compositeKey(distinct[j])) << i << j;
    EXPECT_EQ(compositeKey({u"", u""}), u"");
    EXPECT_EQ(shownKey(compositeKey({u"张三", u"销售\u001F部"}), true), u"张三 / 销售\u001F部");
    EXPECT_EQ(foldedKey(compositeKey({u"Ａ\u200B", u"b\u001F"}), KeyFolding::all()),
              compositeKey({u"a", u"b\u001F"}));
    EXPECT_TRUE(hasOnlyEmptyParts(foldedKey(compositeKey({u"\u200B", u"\u00A0"}), kInvisible)));
}

// The near-miss report: each kind of difference, combinations, keys that differ in more, Chinese,
// differences the run already left aside, more than five, composite keys.
TEST(NearMisses, ReportedWithTheirDifferences) {
    using Keys = std::vector<std::u16string>;
    struct Case {
        Keys parent, child;
        KeyFolding folded;
        std::u16string count, kinds, examples;  // examples: the first two
    };
    const Keys x8(8, u"x"), ab6(6, u"ab");
    const std::u16string composite = compositeKey({u"张三", u"销售部"});
    const Case cases[] = {
        {[&] {
             auto p = x8;
             return p.push_back(u"AB123"), p;
         }(),
         {u"x", u"x", u"x", u"x", u"ＡＢ１２３"},
         {},
         u"1",
         u"全角/半角 1 行",
         u"  子表第 5 行 \"ＡＢ１２３\" 与父表第 9 行 \"AB123\" 仅全角/半角不同\n"},
        {{u"AB12", u"ab12"},
         {u"ａｂ12", u"AB12\u00A0", u"Ab12", u"AB13", u"張三"},
         {},
         u"3",
         u"全角/半角 1 行，大小写 1 行，不可见字符 1 行",
         u"  子表第 1 行 \"ａｂ12\" 与父表第 2 行 \"ab12\" 仅全角/半角不同\n"
         u"  子表第 2 行 \"AB12[U+00A0]\" 与父表第 1 行 \"AB12\" 仅不可见字符不同\n"},
        {{u"AB"},
         {u"ａｂ"},
         {},
         u"1",
         u"全角/半角、大小写 1 行",
         u"  子表第 1 行 \"ａｂ\" 与父表第 1 行 \"AB\" 仅全角/半角、大小写不同\n"},
        {{u"AB"},
         {u"ａｂ"},
         kWidth,
         u"1",
         u"大小写 1 行",  // width already left aside
         u"  子表第 1 行 \"ａｂ\" 与父表第 1 行 \"AB\" 仅大小写不同\n"},
        {{u"AB"}, {u"ａｂ\u200B"}, KeyFolding::all(), u"", u"", u""},
        {{u"AB"},
         ab6,
         {},
         u"6",
         u"大小写 6 行",
         u"  子表第 1 行 \"ab\" 与父表第 1 行 \"AB\" 仅大小写不同\n"
         u"  子表第 2 行 \"ab\" 与父表第 1 行 \"AB\" 仅大小写不同\n"},
        {{composite},
         {compositeKey({u"张三", u"销售部\uFEFF"})},
         {},
         u"1",
         u"不可见字符 1 行",
         u"  子表第 1 行 \"张三 / 销售部[U+FEFF]\" 与父表第 1 行 \"张三 / 销售部\" 仅不可见字符不同\n"},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        Keys parent, child;
        for (const auto& k : c.parent) parent.push_back(foldedKey(k, c.folded));
        for (const auto& k : c.child) child.push_back(foldedKey(k, c.folded));
        const MatchTables t{parent, {}, child, {}, {}, {}};
        RunSummary summary;
        summary.counts =
            countMatches(t, lookupRows(t), {{c.parent, c.child, c.parent[0] == composite}, c.folded});
        EXPECT_LE(summary.counts->nearMisses.examples.size(), NearMisses::kExamples);
        const std::u16string text = summaryText(summary);
        const auto from = text.find(u"\n") + 1;
        const std::u16string report = text.substr(from, text.find(u"父表 ", from) - from);
        const std::u16string expected =
            c.count.empty() ? u""
                            : u"父表中没有该键的行中，有 " + c.count +
                                  u" 行的键与父表的键仅全角/半角、大小写或不可见字符不同（" + c.kinds +
                                  u"），可在“选项”中将这些差别视为相同，例如：\n" + c.examples;
        EXPECT_EQ(report.substr(0, expected.size()), expected) << i;
    }
}

// Each option through a whole run, on the help window's example, the result before column C.
TEST(RunOptions, EachThroughAWholeRun) {
    const auto texts = [](std::initializer_list<const char16_t*> column) {
        return Texts(column.begin(), column.end());
    };
    struct Case {
        const char* name;
        void (*setUp)(RunSetup&);
        std::string apply;           // the edit as logged
        std::vector<Texts> columns;  // of the child from C on
        std::u16string details;      // a line of the completion's details
    };
    const Case cases[] = {
        {"further value columns",
         [](RunSetup& t) {
             t.in.options.moreValueColumns = {2, 0};
         },
         "apply insert 3 at 3 write C1",
         {texts({u"000", u"", u"222"}), texts({u"111", u"", u"333"}), texts({u"A01", u"", u"A03"}),
          texts({u"111", u"222", u"333"})},
         u"结果写入：child.xls，第 1 个工作表，C、D、E 列。"},
        {"keys folded",
         [](RunSetup& t) {
             t.put(kChild, {{u"ａ０１"}, {u"a02\u200B"}, {u"A03"}});
             t.in.options.folding = KeyFolding::all();
         },
         "apply insert 1 at 3 write C1",
         {texts({u"000", u"111", u"222"})},
         u"选项：全半角视同、不分大小写、忽略不可见字符"},
        {"keys not folded",
         [](RunSetup& t) {
             t.put(kChild, {{u"ａ０１"}, {u"A02\u200B"}, {u"A03"}});
         },
         "apply insert 1 at 3 write C1",
         {texts({u"", u"", u"222"})},
         u"有 2 行的键与父表的键仅全角/半角、大小写或不可见字符不同"},
        {"composite keys",
         [](RunSetup& t) {
             t.put(kParent, {{u"A01", u"000", u"x"}, {u"A01", u"111", u"y"}, {u"A01", u"222", u""}});
             t.put(kChild, {{u"A01", u"", u"y"}, {u"A01", u"", u"z"}, {u"A01"}});
             t.in.options.moreParentKeyColumns = t.in.options.moreChildKeyColumns = {2};
         },
         "apply insert 1 at 3 write C1",
         {texts({u"111", u"", u"222"}), texts({u"y", u"z"})},
         u"父表中没有该键 1 行"},
        {"unmatched rows marked",
         [](RunSetup& t) {
             t.in.options.unmatched = Unmatched::WriteText;
             t.in.options.unmatchedText = u"无";
         },
         "apply insert 1 at 3 write C1",
         {texts({u"000", u"无", u"222"})},
         u"无匹配写“无”"},
        {"unmatched rows of further matching",
         [](RunSetup& t) {
             t.in.matching = Matching::FurtherMatching;
             t.in.whose = Whose::Both;
             t.in.options.unmatched = Unmatched::WriteText;
             t.in.options.unmatchedText = u"-";
         },
         "apply insert 2 at 3 write C1",
         {texts({u"-", u"-", u"222"}), texts({u"-", u"-", u"222"})},
         u"C、D 列"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RunSetup t;
        c.setUp(t);
        t.run();
        t.expectCompleted();
        EXPECT_TRUE(t.logged(c.apply));
        for (std::size_t i = 0; i < c.columns.size(); ++i)
            EXPECT_EQ(t.column(kChild, 3 + static_cast<int>(i)), c.columns[i]) << i;
        EXPECT_NE(t.window.detailed.find(c.details), std::u16string::npos)
            << sheets::toUtf8(t.window.detailed);
    }
}

// The first row, the last, all of them joined as text (one row as it is) or their number.
TEST(RunOptions, DuplicateParentKeys) {
    const std::pair<DuplicateKeys, std::vector<sheets::CellValue>> cases[] = {
        {DuplicateKeys::First, {sheets::CellValue::number(1), sheets::CellValue::text(u"x")}},
        {DuplicateKeys::Last, {sheets::CellValue::number(3), sheets::CellValue::text(u"x")}},
        {DuplicateKeys::AllJoined, {sheets::CellValue::text(u"1、2、3"), sheets::CellValue::text(u"x")}},
        {DuplicateKeys::Count, {sheets::CellValue::number(3), sheets::CellValue::number(1)}},
    };
    for (const auto& [taken, expected] : cases) {
        RunSetup t;
        t.put(kParent, {{u"K"}, {u"K"}, {u"L", u"x"}, {u"K"}});
        for (std::int32_t r : {1, 2, 4})
            t.sheetOnDisk(kParent).set(r, 2, sheets::CellValue::number(r == 4 ? 3 : r));
        t.put(kChild, {{u"K"}, {u"L"}, {u"M"}});
        t.in.options.duplicates = taken;
        t.run();
        t.expectCompleted();
        const auto& cells = t.sheetOnDisk(kChild).cells;
        EXPECT_EQ(cells.at({1, 3}), expected[0]);
        EXPECT_EQ(cells.at({2, 3}), expected[1]);
        EXPECT_FALSE(cells.contains({3, 3}));
    }
}

}  // namespace
}  // namespace run
