#include "run/key_cut.h"

#include <gtest/gtest.h>

#include "run/vb_text.h"

namespace run {
namespace {

constexpr auto narrow = [](const std::u16string& s) { return std::string(s.begin(), s.end()); };

TEST(VbText, IsNumericTrimAndVal) {
    const std::pair<std::u16string, bool> numeric[] = {
        {u"12", true}, {u" 12 ", true}, {u"-3", true},     {u"+3", true},   {u"1.5", true},  {u".5", true},
        {u"5.", true}, {u"1e3", true},  {u"1E-2", true},   {u"", false},    {u" ", false},   {u".", false},
        {u"-", false}, {u"1e", false},  {u"1.2.3", false}, {u"12a", false}, {u"1 2", false}, {u"６", false},
    };
    for (const auto& [text, expected] : numeric) EXPECT_EQ(isNumeric(text), expected) << narrow(text);

    // spaces and ideographic spaces only
    const std::pair<std::u16string, std::u16string> trims[] = {
        {u"  A01  ", u"A01"}, {u"\u3000中文 \u3000", u"中文"}, {u"\tA\n", u"\tA\n"}, {u"   ", u""}};
    for (const auto& [text, expected] : trims) EXPECT_EQ(trim(text), expected);

    const std::pair<std::u16string, double> vals[] = {
        {u"2", 2}, {u" 3", 3},      {u"12abc", 12}, {u"abc", 0},
        {u"", 0},  {u"1.5.3", 1.5}, {u"-4", -4},    {u"1e2", 100},
    };
    for (const auto& [text, expected] : vals) EXPECT_EQ(val(text), expected) << narrow(text);
}

TEST(VbText, ToInt16RoundsHalfToEvenAndFailsOnOverflow) {
    const std::pair<std::u16string, int> cases[] = {
        {u"6", 6},         {u"2.5", 2},         {u"3.5", 4},           {u"-2.5", -2},
        {u"32767", 32767}, {u"-32768", -32768}, {u"-32768.5", -32768},
    };
    for (const auto& [text, value] : cases) EXPECT_EQ(toInt16(text), value) << narrow(text);
    for (const std::u16string bad : {u"32767.5", u"40000", u"-32769", u"1e400", u"", u"6*"})
        EXPECT_THROW(toInt16(bad), RunError) << narrow(bad);
}

enum class Outcome { Parsed, Malformed, Fails };

// A failing conversion leaves KeyMode (and KeyOffset, when it comes first) stored.
TEST(ConditionParse, ParsesTheFourFormsAndStoresInOrder) {
    constexpr KeyCondition kBefore{std::int16_t{9}, 99, 77};
    const std::tuple<std::u16string, Outcome, KeyCondition> cases[] = {
        {u"*4", Outcome::Parsed, {1, 4, 77}},      {u"3*", Outcome::Parsed, {2, 3, 77}},
        {u"12*", Outcome::Parsed, {2, 12, 77}},    {u"*3??", Outcome::Parsed, {3, 3, 2}},
        {u"??6*", Outcome::Parsed, {4, 6, 3}},     {u"*2.5", Outcome::Parsed, {1, 2, 77}},
        {u"*-3", Outcome::Parsed, {1, -3, 77}},    {u"*", Outcome::Malformed, kBefore},
        {u"6", Outcome::Malformed, kBefore},       {u"*a", Outcome::Malformed, kBefore},
        {u"a*", Outcome::Malformed, kBefore},      {u"6**", Outcome::Malformed, kBefore},
        {u"??6", Outcome::Malformed, kBefore},     {u"*?", Outcome::Malformed, kBefore},
        {u"40000*", Outcome::Fails, {2, 99, 77}},  {u"*40000", Outcome::Fails, {1, 99, 77}},
        {u"*40000??", Outcome::Fails, {3, 99, 2}}, {u"?*", Outcome::Fails, {4, 99, 3}},
        {u"?6**", Outcome::Fails, {4, 99, 2}},
    };
    for (const auto& [condition, outcome, after] : cases) {
        SCOPED_TRACE(narrow(condition));
        KeyCondition kc = kBefore;
        if (outcome == Outcome::Fails) {
            EXPECT_THROW(parseCondition(condition, kc), RunError);
        } else {
            EXPECT_EQ(parseCondition(condition, kc), outcome == Outcome::Parsed);
        }
        EXPECT_EQ(std::tuple(kc.keyMode, kc.keyLength, kc.keyOffset),
                  std::tuple(after.keyMode, after.keyLength, after.keyOffset));
    }
}

TEST(CutKey, CutsTheTrimmedTextByMode) {
    const std::tuple<std::u16string, std::u16string, std::optional<std::u16string>> cases[] = {
        {u"*4", u"ABC12DEF", u"2DEF"},
        {u"3*", u" ABC12DEF ", u"ABC"},
        {u"*10", u"ABC", u"ABC"},
        {u"12*", u"AB", u"AB"},
        {u"*3??", u"AB12345XY", u"345"},
        {u"*3??", u"12345", u"123"},
        {u"*3??", u"1234", {}},
        {u"*3??", u"", {}},
        {u"??6*", u"AB12", u"12"},
        {u"??6*", u"A", u""},
        {u"??6*", u"AB12345678", u"123456"},
        {u"*-3", u"ABC", {}},
        {u"*2", u"中文字", u"文字"},
    };
    for (const auto& [condition, text, expected] : cases) {
        SCOPED_TRACE(narrow(condition) + " " + narrow(text));
        KeyCondition kc;
        ASSERT_TRUE(parseCondition(condition, kc));
        EXPECT_EQ(cutKey(trim(text), *kc.keyMode, kc), expected);
    }
}

}  // namespace
}  // namespace run
