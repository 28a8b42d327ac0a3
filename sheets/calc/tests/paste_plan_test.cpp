#include "sheets/calc/paste_plan.h"

#include <gtest/gtest.h>

namespace sheets::calc {
namespace {

using Lines = std::vector<std::vector<std::u16string>>;

TEST(SplitPasteText, CarriageReturnsEndLinesAndTabsEndFields) {
    const struct {
        std::u16string text;
        Lines lines;
    } cases[] = {
        {u"", {}},
        {u"\r", {{u""}}},
        {u"a", {{u"a"}}},
        {u"a\r", {{u"a"}}},
        {u"a\rb\r", {{u"a"}, {u"b"}}},
        {u"a\r\rb", {{u"a"}, {u""}, {u"b"}}},
        {u"a\tb\r\tc\t\r", {{u"a", u"b"}, {u"", u"c", u""}}},
        {u"a\r\nb\r\n", {{u"a"}, {u"b"}}},
        {u"x\ny\rz", {{u"x\ny"}, {u"z"}}},  // a line feed alone belongs to the cell
        {u" 中文 \r", {{u" 中文 "}}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(splitPasteText(c.text), c.lines) << std::string(c.text.begin(), c.text.end());
}

TEST(PlainNumber, OnlyTextsThatComeBackUnchangedAreNumbers) {
    const struct {
        std::u16string field;
        std::optional<double> number;
    } cases[] = {
        {u"42", 42.0},
        {u"-3.5", -3.5},
        {u"0", 0.0},
        {u"0.25", 0.25},
        {u"123456789012345", 123456789012345.0},
        {u"0012", std::nullopt},
        {u"1.50", std::nullopt},
        {u"123456789012345678", std::nullopt},
        {u"1e5", std::nullopt},
        {u"+1", std::nullopt},
        {u"-0", std::nullopt},
        {u" 1", std::nullopt},
        {u"1.", std::nullopt},
        {u".5", std::nullopt},
        {u"", std::nullopt},
        {u"=HYPERLINK(\"x\")", std::nullopt},
        {u"1,5", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(plainNumber(c.field), c.number) << std::string(c.field.begin(), c.field.end());
}

TEST(PlanPasteBlocks, CoversEachLineExactly) {
    EXPECT_EQ(planPasteBlocks({2, 2, 2}), (std::vector<PasteBlock>{{0, 3, 0, 2}}));
    EXPECT_EQ(planPasteBlocks({2, 1, 2, 2}),
              (std::vector<PasteBlock>{{0, 4, 0, 1}, {0, 1, 1, 1}, {2, 2, 1, 1}}));
    const std::vector<int> widths = {3, 1, 4, 4, 2, 1, 5, 3, 3, 1};
    std::vector<std::vector<int>> covered(widths.size());
    for (std::size_t i = 0; i < widths.size(); ++i) covered[i].assign(6, 0);
    for (const auto& b : planPasteBlocks(widths))
        for (int l = b.firstLine; l < b.firstLine + b.lineCount; ++l)
            for (int f = b.firstField; f < b.firstField + b.fieldCount; ++f) ++covered[l][f];
    for (std::size_t i = 0; i < widths.size(); ++i)
        for (int f = 0; f < 6; ++f)
            EXPECT_EQ(covered[i][f], f < widths[i] ? 1 : 0) << "line " << i << " field " << f;
}

}  // namespace
}  // namespace sheets::calc
