#include "run_fixture.h"

namespace run {
namespace {

const std::u16string kThird = u"/d/third.xls";

TEST_F(RunTest, IntoChildSheetAtTargetColumn) {
    struct Case {
        int column;
        std::u16string letter;
        int matching, whose;
        std::vector<std::string> inserts;
        std::vector<Texts> columns;  // from the target column on
    };
    const Case cases[] = {
        {0, u"A", 0, 0, {"insertColumn 1"}, {{u"000", u"", u"222"}, {u"A01", u"B01", u"A03"}}},
        {25, u"Z", 0, 0, {"insertColumn 26"}, {{u"000", u"", u"222"}}},
        // "父子" asks for two columns even for a lookup, whose second column stays empty
        {2,
         u"C",
         0,
         2,
         {"insertColumn 3", "insertColumn 3"},
         {{u"000", u"", u"222"}, {}, {u"111", u"222", u"333"}}},
        {2, u"C", 1, 2, {"insertColumn 3", "insertColumn 3"}, {{u"", u"", u"222"}, {u"", u"", u"222"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.column);
        RunSetup t;
        t.in.childTargetColumn = c.column;
        t.in.childTargetLetter = c.letter;
        t.in.matching = c.matching;
        t.in.whose = c.whose;
        t.run();
        t.expectCompleted();
        std::vector<std::string> order = c.inserts;
        const std::string select = "select " + std::string(c.letter.begin(), c.letter.end()) + "1";
        for (const std::string e : {"setVisible false", "activate", select.c_str(), "paste",
                                    "close parent.xls true", "close child.xls true", "quit"})
            order.push_back(e);
        EXPECT_TRUE(t.loggedInOrder(order));
        for (std::size_t i = 0; i < c.columns.size(); ++i)
            EXPECT_EQ(t.column(kChild, c.column + 1 + static_cast<int>(i)), c.columns[i]) << i;
        EXPECT_FALSE(t.office.applications()[0].everShown);
        EXPECT_TRUE(t.office.applications()[0].quit);
    }
}

TEST_F(RunTest, IntoNewWorkbookLeavesItOpenAndVisible) {
    in.intoChildSheet = false;
    in.intoNewWorkbook = true;
    const auto childBefore = sheetOnDisk(kChild).cells;
    run();
    expectCompleted();
    EXPECT_TRUE(loggedInOrder({"setVisible true", "add", "activeWorksheet 1", "select A1", "paste",
                               "close parent.xls true", "close child.xls true"}));
    const auto& app = office.applications()[0];
    EXPECT_FALSE(app.quit);
    EXPECT_TRUE(app.visible);
    ASSERT_EQ(app.openBooks.size(), 1u);
    EXPECT_EQ(app.openBooks[0].first, u"");
    EXPECT_EQ(app.openBooks[0].second.sheets[0].columnTexts(1), (Texts{u"000", u"", u"222"}));
    EXPECT_EQ(sheetOnDisk(kChild).cells, childBefore);
}

TEST_F(RunTest, IntoThirdTableAsksAboutSaving) {
    put(kThird, {{u"t1", u"t2"}});
    in.intoChildSheet = false;
    in.thirdPath = kThird;
    in.thirdTargetColumn = 0;
    in.thirdTargetLetter = u"A";
    in.matching = 1;
    in.valueTest = 1;
    in.whose = 2;  // one column only: the second cell overwrites the column right of it
    run();
    expectCompleted();
    EXPECT_TRUE(loggedInOrder({"open /d/third.xls", "worksheet 1", "setVisible true", "insertColumn 1",
                               "setVisible false", "activate", "select A1", "paste", "close parent.xls true",
                               "close child.xls true", "close third.xls ask", "quit"}));
    EXPECT_EQ(window.asked, Texts{u"third.xls"});
    EXPECT_EQ(column(kThird, 1), (Texts{u"000"}));
    EXPECT_EQ(column(kThird, 2), (Texts{u"001"}));
    EXPECT_EQ(column(kThird, 3), (Texts{u"t2"}));
}

TEST_F(RunTest, ThirdTableNeverChosen) {
    in.intoChildSheet = false;  // Text7 still "C:\"
    const auto childBefore = sheetOnDisk(kChild).cells;
    in.ignoreErrors = true;
    run();
    expectCompleted();
    EXPECT_TRUE(loggedInOrder({"open C:\\", "setVisible true", "setVisible false", "close parent.xls true",
                               "close child.xls true", "quit"}));
    EXPECT_EQ(sheetOnDisk(kChild).cells, childBefore);

    RunSetup stopping;
    stopping.in.intoChildSheet = false;
    stopping.run();
    stopping.expectStopped();
    EXPECT_FALSE(stopping.logged("close parent.xls true"));
}

TEST_F(RunTest, SameFileAsParentAndChild) {
    office.disk[kParent].sheets.push_back(memory::Sheet::fromRows({{u"A03", u"x"}, {u"A01", u"y"}}));
    for (bool ignore : {true, false}) {
        SCOPED_TRACE(ignore);
        RunSetup t;
        t.office.disk = office.disk;
        t.in.childPath = kParent;
        t.in.childSheet = u"2";
        t.in.ignoreErrors = ignore;
        t.run();
        if (ignore) {
            t.expectCompleted();
        } else {
            t.expectStopped();
        }
        EXPECT_TRUE(t.loggedInOrder({"close parent.xls true", "close parent.xls true"}));
        // the parent's close saved the result into the child sheet
        EXPECT_EQ(t.sheetOnDisk(kParent, 1).columnTexts(3), (Texts{u"222", u"000"}));
    }
}

}  // namespace
}  // namespace run
