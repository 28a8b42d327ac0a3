// The rules for numbers and blocks apart from the office; calc_test pastes through the office.
#include "sheets/calc/paste_plan.h"

#include <gtest/gtest.h>

namespace sheets::calc {
namespace {

std::string narrow(const std::u16string& s) {
    return std::string(s.begin(), s.end());
}

TEST(PlainNumber, OnlyTextsThatComeBackUnchangedAreNumbers) {
    const std::pair<std::u16string, double> numbers[] = {
        {u"42", 42}, {u"-3.5", -3.5}, {u"0", 0}, {u"0.25", 0.25}, {u"123456789012345", 123456789012345.0}};
    for (const auto& [field, number] : numbers) EXPECT_EQ(plainNumber(field), number) << narrow(field);
    for (const std::u16string field : {u"0012", u"1.50", u"123456789012345678", u"1e5", u"+1", u"-0", u" 1",
                                       u"1.", u".5", u"", u"=HYPERLINK(\"x\")", u"1,5"})
        EXPECT_EQ(plainNumber(field), std::nullopt) << narrow(field);
}

// Every field of every line written exactly once, and nothing beyond a line's last field.
TEST(PlanPasteBlocks, CoversEachLineExactly) {
    const std::vector<int> cases[] = {
        {1}, {2, 2, 2}, {2, 1, 2, 2}, {3, 1, 4, 4, 2, 1, 5, 3, 3, 1}, {5, 4, 3, 2, 1}, {1, 2, 3, 4, 5}};
    for (const auto& widths : cases) {
        std::vector<std::vector<int>> covered(widths.size(), std::vector<int>(6, 0));
        for (const auto& b : planPasteBlocks(widths))
            for (int l = b.firstLine; l < b.firstLine + b.lineCount; ++l)
                for (int f = b.firstField; f < b.firstField + b.fieldCount; ++f) ++covered.at(l).at(f);
        for (std::size_t i = 0; i < widths.size(); ++i)
            for (int f = 0; f < 6; ++f)
                EXPECT_EQ(covered[i][f], f < widths[i] ? 1 : 0) << "line " << i << " field " << f;
    }
    EXPECT_EQ(planPasteBlocks({2, 2, 2}).size(), 1u) << "one write for a rectangular paste";
}

}  // namespace
}  // namespace sheets::calc
