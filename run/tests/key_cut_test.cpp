#include "run/key_cut.h"

#include <gtest/gtest.h>

#include "run/vb_text.h"

namespace run {
namespace {

constexpr KeyCondition kBefore{std::int16_t{9}, 99, 77};

enum class Outcome { Parsed, Malformed, Fails };

struct ParseCase {
    std::u16string condition;
    Outcome outcome;
    KeyCondition after;  // what the three values hold afterwards
};

TEST(AandB, ParsesTheFourFormsAndStoresInOrder) {
    const ParseCase cases[] = {
        {u"*4", Outcome::Parsed, {1, 4, 77}},
        {u"3*", Outcome::Parsed, {2, 3, 77}},
        {u"12*", Outcome::Parsed, {2, 12, 77}},
        {u"*3??", Outcome::Parsed, {3, 3, 2}},
        {u"??6*", Outcome::Parsed, {4, 6, 3}},
        {u"*2.5", Outcome::Parsed, {1, 2, 77}},
        {u"*-3", Outcome::Parsed, {1, -3, 77}},
        {u"*", Outcome::Malformed, kBefore},
        {u"6", Outcome::Malformed, kBefore},
        {u"*a", Outcome::Malformed, kBefore},
        {u"a*", Outcome::Malformed, kBefore},
        {u"6**", Outcome::Malformed, kBefore},
        {u"??6", Outcome::Malformed, kBefore},
        {u"*?", Outcome::Malformed, kBefore},
        // conversions that fail after KeyMode (and KeyOffset) are stored
        {u"40000*", Outcome::Fails, {2, 99, 77}},
        {u"*40000", Outcome::Fails, {1, 99, 77}},
        {u"*40000??", Outcome::Fails, {3, 99, 2}},
        {u"?*", Outcome::Fails, {4, 99, 3}},
        {u"?6**", Outcome::Fails, {4, 99, 2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.condition.begin(), c.condition.end()));
        KeyCondition kc = kBefore;
        if (c.outcome == Outcome::Fails) {
            EXPECT_THROW(AandB(c.condition, kc), RunError);
        } else {
            EXPECT_EQ(AandB(c.condition, kc), c.outcome == Outcome::Parsed);
        }
        EXPECT_EQ(kc.keyMode, c.after.keyMode);
        EXPECT_EQ(kc.keyLength, c.after.keyLength);
        EXPECT_EQ(kc.keyOffset, c.after.keyOffset);
    }
}

TEST(CutKey, CutsByMode) {
    struct Case {
        std::u16string condition, text;
        std::optional<std::u16string> key;  // nullopt: the cut fails
    };
    const Case cases[] = {
        {u"*4", u"ABC12DEF", u"2DEF"},
        {u"3*", u"ABC12DEF", u"ABC"},
        {u"*10", u"ABC", u"ABC"},
        {u"12*", u"AB", u"AB"},
        {u"*3??", u"AB12345XY", u"345"},
        {u"*3??", u"12345", u"123"},
        {u"*3??", u"1234", std::nullopt},
        {u"*3??", u"", std::nullopt},
        {u"??6*", u"AB12", u"12"},
        {u"??6*", u"A", u""},
        {u"??6*", u"AB12345678", u"123456"},
        {u"*-3", u"ABC", std::nullopt},
        {u"*2", u"中文字", u"文字"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.condition.begin(), c.condition.end()));
        KeyCondition kc;
        ASSERT_TRUE(AandB(c.condition, kc));
        const std::u16string t = trim(c.text);
        const auto key = cutKey(t, *kc.keyMode, kc);
        ASSERT_EQ(key.has_value(), c.key.has_value());
        if (key) {
            EXPECT_EQ(*key, *c.key);
        }
    }
}

}  // namespace
}  // namespace run
