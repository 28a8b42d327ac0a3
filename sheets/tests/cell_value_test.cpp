#include "sheets/cell_value.h"

#include <gtest/gtest.h>

#include "sheets/choosing_factory.h"
#include "sheets/failure.h"

namespace sheets {
namespace {

// Numbers in the general form, dates and times, booleans and text as they are; an error has no text.
TEST(CellValue, Text) {
    const std::pair<CellValue, std::u16string> cases[] = {
        {CellValue::number(0), u"0"},
        {CellValue::number(12), u"12"},
        {CellValue::number(-3.5), u"-3.5"},
        {CellValue::number(0.1 + 0.2), u"0.3"},
        {CellValue::number(1.0 / 3), u"0.333333333333333"},
        {CellValue::number(123456789012345.0), u"123456789012345"},
        {CellValue::number(999999999999999.0), u"999999999999999"},
        {CellValue::number(1e15), u"1E+15"},
        {CellValue::number(1.5e15), u"1.5E+15"},
        {CellValue::number(1e20), u"1E+20"},
        {CellValue::number(123456789012345678.0), u"1.23456789012346E+17"},
        {CellValue::number(1e-15), u"0.000000000000001"},
        {CellValue::number(1e-16), u"1E-16"},
        {CellValue::number(-2.5e-20), u"-2.5E-20"},
        {CellValue::number(100), u"100"},
        {CellValue::number(0.25), u"0.25"},
        {CellValue::number(45366), u"45366"},
        {CellValue::date(45366), u"2024/3/15"},
        {CellValue::date(45366 + 13.75 / 24), u"2024/3/15 13:45:00"},
        {CellValue::date(0.5729166666666666), u"13:45:00"},
        {CellValue::date(1), u"1899/12/31"},
        {CellValue::date(45366.99999999), u"2024/3/16"},
        {CellValue::boolean(true), u"True"},
        {CellValue::boolean(false), u"False"},
        {CellValue(), u""},
        {CellValue::text(u"  a\tb\n中文 "), u"  a\tb\n中文 "},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(cases[i].first.toText(), cases[i].second) << "case " << i;
    EXPECT_THROW(CellValue::error().toText(), Failure);
}

// The packages themselves serve a run only when every file it opens is an .xlsx or .xlsm and no new
// workbook is shown; the office serves the rest and a run that starts again on it.
TEST(ChoosingFactory, ThePackagesOnlyForPackagesThatStayFiles) {
    const std::pair<RunFiles, bool> cases[] = {
        {{{u"/d/p.xlsx", u"/d/c.xlsm"}}, true},
        {{{u"/d/p.XLSX", u"c.Xlsm", u"/d/third.xlsx"}}, true},
        {{{u"/d/p.xlsx", u"/d/c.xls"}}, false},
        {{{u"/d/p.xlsx", u"/d/c.ods"}}, false},
        {{{u"/d/p.xlsx", u"/d/c.xlsx", u"C:\\"}}, false},
        {{{u"/d/p.xlsx", u"/d.xlsx/c"}}, false},
        {{{u"/d/p.xlsx", u"/d/c.xlsx"}, true}, false},
        {{{u"/d/p.xlsx", u"/d/c.xlsx"}, false, u"公式没有保存的结果"}, false},
        {{}, false},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(ChoosingFactory::packagesServe(cases[i].first), cases[i].second) << "case " << i;
}

}  // namespace
}  // namespace sheets
