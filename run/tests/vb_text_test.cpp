#include "run/vb_text.h"

#include <gtest/gtest.h>

namespace run {
namespace {

TEST(VbText, IsNumeric) {
    const std::pair<std::u16string, bool> cases[] = {
        {u"12", true}, {u" 12 ", true}, {u"-3", true},     {u"+3", true},   {u"1.5", true},  {u".5", true},
        {u"5.", true}, {u"1e3", true},  {u"1E-2", true},   {u"", false},    {u" ", false},   {u".", false},
        {u"-", false}, {u"1e", false},  {u"1.2.3", false}, {u"12a", false}, {u"1 2", false}, {u"６", false},
    };
    for (const auto& [text, numeric] : cases)
        EXPECT_EQ(isNumeric(text), numeric) << std::string(text.begin(), text.end());
}

TEST(VbText, TrimRemovesSpacesAndIdeographicSpacesOnly) {
    EXPECT_EQ(trim(u"  A01  "), u"A01");
    EXPECT_EQ(trim(u"\u3000中文 \u3000"), u"中文");
    EXPECT_EQ(trim(u"\tA\n"), u"\tA\n");
    EXPECT_EQ(trim(u"   "), u"");
}

TEST(VbText, ValTakesTheLeadingNumber) {
    const std::pair<std::u16string, double> cases[] = {
        {u"2", 2}, {u" 3", 3},      {u"12abc", 12}, {u"abc", 0},
        {u"", 0},  {u"1.5.3", 1.5}, {u"-4", -4},    {u"1e2", 100},
    };
    for (const auto& [text, value] : cases) EXPECT_EQ(val(text), value);
}

TEST(VbText, ToInt16RoundsHalfToEvenAndFailsOnOverflow) {
    const std::pair<std::u16string, int> cases[] = {
        {u"6", 6},         {u"2.5", 2},         {u"3.5", 4},           {u"-2.5", -2},
        {u"32767", 32767}, {u"-32768", -32768}, {u"-32768.5", -32768},
    };
    for (const auto& [text, value] : cases) EXPECT_EQ(toInt16(text), value);
    for (const std::u16string bad : {u"32767.5", u"40000", u"-32769", u"1e400", u"", u"6*"})
        EXPECT_THROW(toInt16(bad), RunError);
}

TEST(VbText, LeftRightMid) {
    EXPECT_EQ(left(u"ABC", 2), u"AB");
    EXPECT_EQ(left(u"ABC", 10), u"ABC");
    EXPECT_EQ(right(u"ABC", 2), u"BC");
    EXPECT_EQ(right(u"ABC", 0), u"");
    EXPECT_EQ(mid(u"ABCDE", 2, 3), u"BCD");
    EXPECT_EQ(mid(u"ABC", 2, 10), u"BC");
    EXPECT_EQ(mid(u"ABC", 4, 1), u"");
    EXPECT_THROW(left(u"ABC", -1), RunError);
    EXPECT_THROW(right(u"ABC", -1), RunError);
    EXPECT_THROW(mid(u"ABC", 0, 1), RunError);
    EXPECT_THROW(mid(u"ABC", 1, -1), RunError);
}

}  // namespace
}  // namespace run
