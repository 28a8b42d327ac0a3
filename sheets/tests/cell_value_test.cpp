#include "sheets/cell_value.h"

#include <gtest/gtest.h>

#include "sheets/failure.h"

namespace sheets {
namespace {

struct NumberCase {
    double value;
    std::u16string text;
};

TEST(CellValueText, NumbersTakeTheGeneralForm) {
    const NumberCase cases[] = {
        {0, u"0"},
        {12, u"12"},
        {-3.5, u"-3.5"},
        {0.1 + 0.2, u"0.3"},
        {1.0 / 3, u"0.333333333333333"},
        {123456789012345.0, u"123456789012345"},
        {999999999999999.0, u"999999999999999"},
        {1e15, u"1E+15"},
        {1.5e15, u"1.5E+15"},
        {1e20, u"1E+20"},
        {123456789012345678.0, u"1.23456789012346E+17"},
        {1e-15, u"0.000000000000001"},
        {1e-16, u"1E-16"},
        {-2.5e-20, u"-2.5E-20"},
        {100, u"100"},
        {0.25, u"0.25"},
        {45366, u"45366"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CellValue::number(c.value).toText(), c.text) << c.value;
    }
}

TEST(CellValueText, DatesTimesBooleansAndText) {
    EXPECT_EQ(CellValue::date(45366).toText(), u"2024/3/15");
    EXPECT_EQ(CellValue::date(45366 + 13.75 / 24).toText(), u"2024/3/15 13:45:00");
    EXPECT_EQ(CellValue::date(0.5729166666666666).toText(), u"13:45:00");
    EXPECT_EQ(CellValue::date(1).toText(), u"1899/12/31");
    EXPECT_EQ(CellValue::date(45366.99999999).toText(), u"2024/3/16");
    EXPECT_EQ(CellValue::boolean(true).toText(), u"True");
    EXPECT_EQ(CellValue::boolean(false).toText(), u"False");
    EXPECT_EQ(CellValue().toText(), u"");
    EXPECT_EQ(CellValue::text(u"  a\tb\n中文 ").toText(), u"  a\tb\n中文 ");
}

TEST(CellValueText, AnErrorValueHasNoText) {
    EXPECT_THROW(CellValue::error().toText(), Failure);
}

}  // namespace
}  // namespace sheets
