#include "run/key_collection.h"
#include "run_fixture.h"

namespace run {
namespace {

TEST_F(RunTest, InputChecksComeFirstInTheirOrder) {
    struct Case {
        const char* name;
        void (*change)(RunInputs&);
        std::vector<FakeRunWindow::Message> messages;
    };
    const FakeRunWindow::Message params{u"请正确输入参数", u"提示"}, cond{u"请输入条件", u"提示"};
    const Case cases[] = {
        {"parent not chosen", [](RunInputs& i) { i.parentPath = u"C:\\"; }, {}},
        {"child not chosen", [](RunInputs& i) { i.childPath = u"C:\\"; }, {}},
        {"not chosen before sheet", [](RunInputs& i) { i.parentPath = u"C:\\", i.parentSheet.clear(); }, {}},
        {"parent sheet", [](RunInputs& i) { i.parentSheet.clear(); }, {params}},
        {"child sheet", [](RunInputs& i) { i.childSheet.clear(); }, {params}},
        {"sheet before condition",
         [](RunInputs& i) { i.childSheet.clear(), i.parentMatchKind = 1; },
         {params}},
        {"parent condition", [](RunInputs& i) { i.parentMatchKind = 1; }, {cond}},
        {"child condition", [](RunInputs& i) { i.childMatchKind = 1; }, {cond}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeRunWindow w;
        RunInputs inputs = in;
        c.change(inputs);
        lookupRun(inputs, condition, w, office);
        EXPECT_EQ(w.messages, c.messages);
        EXPECT_TRUE(w.events.size() == c.messages.size());  // nothing disabled
    }
    EXPECT_TRUE(office.log().empty());

    in.parentCondition = u"*2";  // a condition with whole-word matching is not checked
    in.childCondition.clear();
    run();
    expectCompleted();
}

TEST_F(RunTest, LookupOfTheHelpExampleLandsBeforeColumnC) {
    const auto parentBefore = office.disk.at(kParent).sheets;
    run();
    expectCompleted();
    EXPECT_EQ(window.events.front(), "Frame1 off");
    EXPECT_EQ(window.events[1], "Command1 off");
    EXPECT_EQ(column(kChild, 3), (Texts{u"000", u"", u"222"}));
    EXPECT_EQ(column(kChild, 4), (Texts{u"111", u"222", u"333"}));
    EXPECT_EQ(office.disk.at(kParent).sheets.front().cells, parentBefore.front().cells);
    // each needed column read once in one block
    EXPECT_TRUE(loggedInOrder({"create", "setVisible false", "open /d/parent.xls", "worksheet 1",
                               "usedRowCount", "column 1 3", "column 2 3", "open /d/child.xls", "worksheet 1",
                               "usedRowCount", "column 1 3", "insertColumn 3"}));
    EXPECT_EQ(std::count(office.log().begin(), office.log().end(), "column 2 3"), 1);
}

// Each kind of failure under both policies: StopOnError ends the program at once, IgnoreErrors
// skips the step and completes with what is left.
TEST_F(RunTest, FailuresUnderEachPolicy) {
    struct Case {
        const char* name;
        void (*setUp)(RunSetup&);
        Texts ignoredResult;  // column C of the child under IgnoreErrors
    };
    const Case cases[] = {
        {"missing parent", [](RunSetup& t) { t.in.parentPath = u"/d/none.xls"; }, {}},
        {"parent sheet 0", [](RunSetup& t) { t.in.parentSheet = u"0"; }, {}},
        {"parent sheet beyond the last", [](RunSetup& t) { t.in.parentSheet = u"2"; }, {}},
        {"parent application not created", [](RunSetup& t) { t.office.fail("create"); }, {}},
        {"parent key error cell",
         [](RunSetup& t) { t.sheetOnDisk(kParent).set(1, 1, sheets::CellValue::error()); },
         {u"", u"", u"222"}},
        {"parent value error cell",
         [](RunSetup& t) { t.sheetOnDisk(kParent).set(3, 2, sheets::CellValue::error()); },
         {u"000"}},
        {"child key column unreadable", [](RunSetup& t) { t.office.fail("column 1", 2); }, {}},
        {"negative length", [](RunSetup& t) { t.in.parentMatchKind = 1, t.in.parentCondition = u"*-3"; }, {}},
        {"mode 3 on short text",
         [](RunSetup& t) {
             t.in.parentMatchKind = t.in.childMatchKind = 1;
             t.in.parentCondition = t.in.childCondition = u"*3?";
             t.put(kParent, {{u"A01x", u"000"}, {u"A02x", u"111"}, {u"A03", u"222"}});
             t.put(kChild, {{u"A01y", u"", u"111"}, {u"B01y", u"", u"222"}, {u"A03y", u"", u"333"}});
         },
         {u"000"}},
    };
    for (bool ignore : {false, true}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (ignore ? " ignored" : " stopping"));
            RunSetup t;
            t.in.ignoreErrors = ignore;
            c.setUp(t);
            t.run();
            if (ignore) {
                t.expectCompleted();
                if (c.name != std::string("parent application not created")) {
                    EXPECT_EQ(t.column(kChild, 3), c.ignoredResult);
                }
            } else {
                t.expectStopped();
                EXPECT_EQ(t.column(kChild, 3), (Texts{u"111", u"222", u"333"}));  // child file untouched
            }
        }
    }
}

TEST_F(RunTest, OverflowStoresTheModeBeforeFailing) {
    condition = {std::int16_t{1}, 2, 5};
    in.parentMatchKind = 1;
    in.parentCondition = u"40000*";
    in.ignoreErrors = true;
    run();
    expectCompleted();
    EXPECT_EQ(condition.keyMode, 2);
    EXPECT_EQ(condition.keyLength, 2);  // the keys were cut by 2*: "A0" matches nothing
    EXPECT_EQ(column(kChild, 3), Texts{});

    RunSetup stopping;
    stopping.in.parentMatchKind = 1;
    stopping.in.parentCondition = u"40000*";
    stopping.run();
    stopping.expectStopped();
}

TEST_F(RunTest, MalformedConditionStopsTheRunAndKeepsTheCondition) {
    for (bool childSide : {false, true}) {
        SCOPED_TRACE(childSide ? "child" : "parent");
        RunSetup t;
        t.condition = {std::int16_t{1}, 3, 7};
        (childSide ? t.in.childMatchKind : t.in.parentMatchKind) = 1;
        (childSide ? t.in.childCondition : t.in.parentCondition) = u"6**";
        const auto disk = t.office.disk.at(kChild).sheets.front().cells;
        t.run();
        EXPECT_EQ(t.window.messages, std::vector{kWrong});
        EXPECT_EQ(t.window.events, (std::vector<std::string>{"Frame1 off", "Command1 off", "message",
                                                             "Frame1 on", "Command1 on"}));
        EXPECT_FALSE(t.window.ended);
        EXPECT_EQ(t.condition.keyMode, 1);
        EXPECT_EQ(t.condition.keyLength, 3);
        EXPECT_EQ(t.condition.keyOffset, 7);
        EXPECT_TRUE(t.logged("close parent.xls false"));
        EXPECT_EQ(t.logged("close child.xls false"), childSide);
        EXPECT_TRUE(t.office.applications()[0].quit);
        EXPECT_EQ(t.office.disk.at(kChild).sheets.front().cells, disk);
    }
}

TEST_F(RunTest, ChildConditionOverwritesTheParentsAndSurvivesTheRun) {
    put(kParent, {{u"XA01", u"p1"}, {u"XA03", u"p3"}});
    put(kChild, {{u"A01"}, {u"A03Y"}, {u"A02"}});
    in.parentMatchKind = in.childMatchKind = 1;
    in.parentCondition = u"*3";  // parent keys: A01, A03
    in.childCondition = u"3*";   // child keys: A01, A03, A02
    run();
    expectCompleted();
    EXPECT_EQ(column(kChild, 3), (Texts{u"p1", u"p3"}));
    EXPECT_EQ(condition.keyMode, 2);
    EXPECT_EQ(condition.keyLength, 3);

    // the next run starts from what this one left; a malformed condition changes nothing
    FakeRunWindow second;
    in.parentCondition = u"a*";
    lookupRun(in, condition, second, office);
    EXPECT_EQ(second.messages, std::vector{kWrong});
    EXPECT_EQ(condition.keyMode, 2);
    EXPECT_EQ(condition.keyLength, 3);
    EXPECT_EQ(office.applications().size(), 2u);
}

// Per-cell steps of the collection: what each failure leaves, values untrimmed, and the mode-3
// holder carried from row to row and from one table to the next.
TEST(KeyCollection, CellStepsAndTheirFailures) {
    memory::Office office;
    office.disk[u"/t.xls"].sheets = {
        memory::Sheet::fromRows({{u"  A01  ", u" v1 "}, {u"", u"v2"}, {u"k\t", u""}})};
    office.disk[u"/t.xls"].sheets[0].set(4, 1, sheets::CellValue::number(42));
    office.disk[u"/t.xls"].sheets[0].set(5, 1, sheets::CellValue::error());
    office.disk[u"/t.xls"].sheets[0].set(5, 2, sheets::CellValue::error());
    FakeRunWindow window;
    auto app = office.create(window);
    auto sheet = app->open(u"/t.xls")->worksheet(1);

    ErrorPolicy ignore(true);
    std::u16string holder = u"before";
    std::vector<std::u16string> keys(5, u"?"), values(5, u"?");
    collectKeys(ignore, {sheet.get(), 5, 1, 2}, KeyRule{}, holder, keys, &values);
    EXPECT_EQ(keys, (Texts{u"A01", u"", u"k\t", u"42", u"?"}));
    EXPECT_EQ(values, (Texts{u" v1 ", u"v2", u"", u"", u"?"}));

    // *1?: the key is the last character but one; rows 2 and 3 are too short, row 5 cannot be
    // read and is cut from the holder, which the previous row left
    KeyRule mode3{false, 3, {3, 1, 1}};
    keys.assign(5, u"?");
    collectKeys(ignore, {sheet.get(), 5, 1, std::nullopt}, mode3, holder, keys, nullptr);
    EXPECT_EQ(keys, (Texts{u"0", u"?", u"k", u"4", u"4"}));
    EXPECT_EQ(holder, u"42");

    // the holder keeps its text into the next table
    holder = u"XY9Z";
    keys.assign(1, u"?");
    collectKeys(ignore, {sheet.get(), 1, 2, std::nullopt}, mode3, holder, keys, nullptr);  // (1, B) is " v1 "
    EXPECT_EQ(keys, Texts{u"v"});
    keys.assign(1, u"?");
    collectKeys(ignore, {sheet.get(), 1, 26, std::nullopt}, mode3, holder, keys, nullptr);  // an empty cell
    EXPECT_EQ(keys, Texts{u"?"});
    keys.assign(1, u"?");
    holder = u"XY9Z";
    office.fail("column 3");
    collectKeys(ignore, {sheet.get(), 1, 3, std::nullopt}, mode3, holder, keys, nullptr);  // unreadable
    EXPECT_EQ(keys, Texts{u"9"});

    // a mode outside 1 to 4 reads nothing
    const auto reads = office.log().size();
    collectKeys(ignore, {sheet.get(), 5, 1, 2}, KeyRule{false, std::nullopt, {}}, holder, keys, &values);
    EXPECT_EQ(office.log().size(), reads);

    ErrorPolicy stop(false);
    EXPECT_THROW(collectKeys(stop, {sheet.get(), 5, 1, 2}, KeyRule{}, holder, keys, &values), RunStopped);
}

}  // namespace
}  // namespace run
