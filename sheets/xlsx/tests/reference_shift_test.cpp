#include "sheets/xlsx/reference_shift.h"

#include <gtest/gtest.h>

#include "sheets/xlsx/xlsx_writer.h"

namespace sheets::xlsx {
namespace {

// Two columns go in before column C of "Data"; the workbook's sheets in order.
ColumnInsertion insertion() {
    return {"Data", 3, 2, {"Data", "Other", "My Sheet", "Last", "子表"}};
}

struct Case {
    const char* ownSheet;  // nullptr: a defined name or a chart series
    const char* formula;
    const char* expected;  // nullptr: not shifted with certainty
    int spread = 0;
};

TEST(ReferenceShift, Formulas) {
    const Case cases[] = {
        {"Data", "A1+C1", "A1+E1"},
        {"Data", "$C$1*2+B$7", "$E$1*2+B$7"},
        {"Data", "SUM(B1:D4)+SUM(C:D)+SUM($A:$B)+SUM(2:3)+SUM($2:$3)",
         "SUM(B1:F4)+SUM(E:F)+SUM($A:$B)+SUM(2:3)+SUM($2:$3)"},
        {"Data", "Other!C1+C1+data!C2", "Other!C1+E1+data!E2"},
        {"Data", "LOG10(C1)+ATAN2(D1,1)+_xlfn.XLOOKUP(C1,D:D,E:E)",
         "LOG10(E1)+ATAN2(F1,1)+_xlfn.XLOOKUP(E1,F:F,G:G)"},
        {"Data", "\"C1\"&C1&\"say \"\"D1\"\"\"", "\"C1\"&E1&\"say \"\"D1\"\"\""},
        {"Data", "Table1[Col C]+Table1[[#This Row],[C1]]+[@C1]+C1",
         "Table1[Col C]+Table1[[#This Row],[C1]]+[@C1]+E1"},
        {"Data", "[1]Data!C1+'[1]Data'!C1+[1]!Total+C1", "[1]Data!C1+'[1]Data'!C1+[1]!Total+E1"},
        {"Data", "SUM(A1:XFD1)+SUM(C:XFD)+TRUE+1E+5+1.5+SUM($A2:$XFD3)",
         "SUM(A1:XFD1)+SUM(E:XFD)+TRUE+1E+5+1.5+SUM($A2:$XFD3)"},
        {"Data", "{1,\"C1\";2,3}+IF(ISERROR(C1),#N/A,C1)+MyName",
         "{1,\"C1\";2,3}+IF(ISERROR(E1),#N/A,E1)+MyName"},
        {"Data", "XFC1", nullptr},
        {"Data", "A1#", nullptr},
        {"Data", "@A1", nullptr},
        {"Data", "\"open", nullptr},
        {"Other", "Data!C1+C1+'Data'!B1:C2+'My Sheet'!C1+'It''s'!C1",
         "Data!E1+C1+'Data'!B1:E2+'My Sheet'!C1+'It''s'!C1"},
        {"Other", "Data!#REF!+SUM(Data!1:2)+SUM(Data!C:C)+SUM(Data!$A$1:C3 Data!D4)",
         "Data!#REF!+SUM(Data!1:2)+SUM(Data!E:E)+SUM(Data!$A$1:E3 Data!F4)"},
        {"Other", "SUM(Other:Last!C1)+SUM('Other:Last'!C1)+SUM(Data:Data!C1)",
         "SUM(Other:Last!C1)+SUM('Other:Last'!C1)+SUM(Data:Data!E1)"},
        {"Other", "SUM(Data:Other!C1)+SUM('Last:Data'!C1)", "SUM(Data:Other!C1)+SUM('Last:Data'!C1)"},
        {"Other", "SUM(Data:Nowhere!C1)", nullptr},
        {"Other", "Data!C1:Data!D2", "Data!E1:Data!F2"},
        {nullptr, "Data!$A$1:$D$10", "Data!$A$1:$F$10"},
        {nullptr, "Data!$C:$D,Data!$1:$2", "Data!$E:$F,Data!$1:$2"},
        {nullptr, "(Data!$C$1,Other!$C$1)", "(Data!$E$1,Other!$C$1)"},
        {nullptr, "C1", nullptr},
        {"Data", "D1+$B1+A$1", "F1+$B1+A$1", 1},  // a shared formula one column wider
        {"Data", "B1", nullptr, 1},               // B1 and C1 of its two places would move apart
    };
    const auto ins = insertion();
    for (const auto& c : cases) {
        const std::string own = c.ownSheet ? c.ownSheet : "";
        const auto* ownSheet = c.ownSheet ? &own : nullptr;
        SCOPED_TRACE(std::string(c.ownSheet ? c.ownSheet : "(no sheet)") + ": " + c.formula);
        if (c.expected) {
            EXPECT_EQ(shiftFormula(c.formula, ins, ownSheet, c.spread), c.expected);
        } else {
            EXPECT_THROW(shiftFormula(c.formula, ins, ownSheet, c.spread), Unsupported);
        }
    }
}

TEST(ReferenceShift, SheetNamesOutsideAscii) {
    const ColumnInsertion ins{"子表", 1, 1, {"父表", "子表"}};
    const std::string own = "父表";
    EXPECT_EQ(shiftFormula("子表!A1+'子表'!$B:$B+父表!A1+A1", ins, &own), "子表!B1+'子表'!$C:$C+父表!A1+A1");
}

TEST(ReferenceShift, RangeListsAndCells) {
    const auto ins = insertion();
    EXPECT_EQ(shiftSqref("A1:B2 C3 D4:XFD4 B1:C1", ins), "A1:B2 E3 F4:XFD4 B1:E1");
    EXPECT_EQ(shiftSqref("A:C 1:3 XFC1 A1 A5:XFD5", ins), "A:E 1:3 A1 A5:XFD5");
    EXPECT_EQ(shiftSqref("A1:D2 B3 1:1 C4", ins, Spanning::LeavesOut), "A1:B2 E1:F2 B3 A1:B1 E1:XFD1 E4");
    EXPECT_THROW(shiftSqref("A1:Q", ins), Unsupported);
    EXPECT_EQ(shiftCellAddress("C7", ins), "E7");
    EXPECT_EQ(shiftCellAddress("B7", ins), "B7");
    EXPECT_THROW(shiftCellAddress("XFD1", ins), Unsupported);
}

}  // namespace
}  // namespace sheets::xlsx
