#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <tuple>

#include "run/composite_key.h"
#include "run/key_collection.h"
#include "run_fixture.h"

namespace run {
namespace {

constexpr auto parts = [](const KeyCondition& c) { return std::tuple(c.keyMode, c.keyLength, c.keyOffset); };

TEST_F(RunTest, InputChecksComeFirstInTheirOrder) {
    const Message params{u"请正确输入参数", u"提示"}, cond{u"请输入条件", u"提示"},
        composite{u"父表和子表的组合键列数不同，请在“选项”中为两个表选择同样多的键列", u"提示"};
    const std::pair<void (*)(RunInputs&), std::vector<Message>> cases[] = {
        {[](RunInputs& i) { i.parentPath = u"C:\\"; }, {}},
        {[](RunInputs& i) { i.childPath = u"C:\\"; }, {}},
        {[](RunInputs& i) { i.parentPath = u"C:\\", i.parentSheet.clear(); }, {}},
        {[](RunInputs& i) { i.parentSheet.clear(); }, {params}},
        {[](RunInputs& i) { i.childSheet = u""; }, {params}},
        {[](RunInputs& i) { i.childSheet.clear(), i.parentMatchKind = KeyMatch::Condition; }, {params}},
        {[](RunInputs& i) { i.parentMatchKind = KeyMatch::Condition; }, {cond}},
        {[](RunInputs& i) { i.childMatchKind = KeyMatch::Condition; }, {cond}},
        {[](RunInputs& i) { i.options.moreParentKeyColumns = {2}; }, {composite}},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        const auto& [change, messages] = cases[i];
        FakeRunWindow w;
        RunInputs inputs = in;
        change(inputs);
        lookupRun(inputs, condition, w, office);
        EXPECT_EQ(w.messages, messages);
        EXPECT_EQ(w.events.size(), messages.size());  // nothing disabled
    }
    // The file the result goes into, held by another program, is refused before anything is opened.
    const auto dir = std::filesystem::temp_directory_path() / ("pellucor-held-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "child.xls") << "x";
    std::ofstream(dir / ".~child.xls") << "";
    FakeRunWindow held;
    RunInputs heldInputs = in;
    heldInputs.childPath = (dir / "child.xls").u16string();
    lookupRun(heldInputs, condition, held, office);
    const Message refused{u"子表 child.xls 无法保存结果：文件正由 WPS Office 打开，请先在该程序中关闭它",
                          u"提示"};
    EXPECT_EQ(held.messages, std::vector{refused});
    std::filesystem::remove_all(dir);
    EXPECT_TRUE(office.log().empty());

    in.parentCondition = u"*2";  // a condition with whole-word matching is not checked
    in.childCondition.clear();
    run();
    expectCompleted();
}

sheets::FailureCause cause(sheets::FailureCause::Kind kind, std::u16string file = u"child.xls") {
    return sheets::FailureCause(kind, std::move(file));
}

// Each kind of failure under both policies: StopOnError ends the program at once and leaves the
// child file as it was, its box giving the step and the reason; IgnoreErrors skips the step and
// completes with what is left, saying first when the result was not written or not saved, and the
// office ends.
TEST(RunFailures, UnderEachPolicy) {
    using Kind = sheets::FailureCause::Kind;
    struct Case {
        const char* name;
        void (*setUp)(RunSetup&);
        Texts ignoredResult;  // column C of the child under IgnoreErrors
        std::u16string stage, reason;
        std::u16string notPlaced{};  // what the completion says first under IgnoreErrors, with the reason
        KeyCondition after{};
    };
    const Texts untouched{u"111", u"222", u"333"}, none, first{u"000"}, last{u"", u"", u"222"};
    const std::u16string parentKeys = u"读取父表（parent.xls，第 1 个工作表）的键和值";
    const std::u16string notWritten = u"结果未能写入 child.xls", notSaved = u"结果未能保存到 child.xls";
    const std::u16string locked =
        u"文件正由 LibreOffice（用户 张三，自 07.12.2026 02:16 起）打开，请先在该程序中关闭它";
    const std::u16string unknown = u"原因不明（技术细节：injected failure: ";
    const auto left = [](std::int16_t mode, std::int16_t length, std::int16_t offset) {
        return KeyCondition{mode, length, offset};  // the condition a case leaves
    };
    const Case cases[] = {
        {"missing child", [](RunSetup& t) { t.in.childPath = u"/d/none.xls"; }, untouched,
         u"打开子表（none.xls，第 1 个工作表）", u"文件不存在", u"结果未能写入 none.xls"},
        {"parent sheet 0", [](RunSetup& t) { t.in.parentSheet = u"0"; }, none,
         u"打开父表（parent.xls，第 0 个工作表）", u"工作簿只有 1 个工作表，没有第 0 个"},
        {"child sheet beyond the last", [](RunSetup& t) { t.in.childSheet = u" 5 "; }, untouched,
         u"打开子表（child.xls，第 5 个工作表）", u"工作簿只有 1 个工作表，没有第 5 个", notWritten},
        {"not a workbook",
         [](RunSetup& t) {
             t.office.fail("open /d/parent.xls", 0, cause(Kind::NotAWorkbook, u"parent.xls"));
         },
         none, u"打开父表（parent.xls，第 1 个工作表）", u"不是有效的工作簿（文件为空，或内容与扩展名不符）"},
        {"no application", [](RunSetup& t) { t.office.fail("create"); }, untouched, u"启动 LibreOffice",
         unknown + u"create）", notWritten},
        {"parent key error cell",
         [](RunSetup& t) { t.sheetOnDisk(kParent).set(1, 1, sheets::CellValue::error(u"#DIV/0!")); }, last,
         parentKeys, u"单元格 A1 的值是错误值 #DIV/0!，无法转为文本"},
        {"parent value error cell",
         [](RunSetup& t) { t.sheetOnDisk(kParent).set(3, 2, sheets::CellValue::error()); }, first, parentKeys,
         u"单元格 B3 的值是错误值，无法转为文本"},
        {"child key block read", [](RunSetup& t) { t.office.fail("column 1", 2); }, none,
         u"读取子表（child.xls，第 1 个工作表）的键", unknown + u"column 1 3）"},
        {"negative length",
         [](RunSetup& t) { t.in.parentMatchKind = KeyMatch::Condition, t.in.parentCondition = u"*-3"; }, none,
         parentKeys, u"单元格 A1 按条件截取键时长度为负或起始位置小于 1", u"", left(1, -3, 0)},
        // the mode is stored before the length overflows; keys cut by length 0 match nothing
        {"overflow",
         [](RunSetup& t) { t.in.parentMatchKind = KeyMatch::Condition, t.in.parentCondition = u"40000*"; },
         none, parentKeys, u"条件中的数字超出 -32768 到 32767 的范围", u"", left(2, 0, 0)},
        {"mode 3 on short text",
         [](RunSetup& t) {
             t.in.parentMatchKind = t.in.childMatchKind = KeyMatch::Condition;
             t.in.parentCondition = t.in.childCondition = u"*3?";
             t.put(kParent, {{u"A01x", u"000"}, {u"A02x", u"111"}, {u"A03", u"222"}});
             t.put(kChild, {{u"A01y", u"", u"111"}, {u"B01y", u"", u"222"}, {u"A03y", u"", u"333"}});
         },
         first, parentKeys, u"单元格 A3 按条件截取键时长度为负或起始位置小于 1", u"", left(3, 3, 1)},
        {"third workbook never chosen", [](RunSetup& t) { t.in.placement = Placement::IntoThirdTable; },
         untouched, u"写入结果到第三个工作簿（C:\\，第 1 个工作表）", u"文件不存在", u"结果未能写入 C:\\"},
        // a result that could not be written is not saved: the child keeps what it had
        {"result not written", [](RunSetup& t) { t.office.fail("apply"); }, untouched,
         u"写入结果到子表（child.xls，第 1 个工作表）", unknown + u"apply insert 1 at 3 write C1）",
         notWritten},
        {"child locked",
         [](RunSetup& t) {
             auto c = cause(Kind::HeldByProgram);
             c.program = u"LibreOffice", c.user = u"张三", c.since = u"07.12.2026 02:16";
             t.office.fail("close child.xls", 0, c);
         },
         untouched, u"保存 child.xls", locked, notSaved},
        {"child read-only", [](RunSetup& t) { t.office.fail("close child.xls", 0, cause(Kind::ReadOnly)); },
         untouched, u"保存 child.xls", u"文件只读", notSaved},
        {"backup failed",
         [](RunSetup& t) {
             auto c = cause(Kind::BackupFailed);
             c.systemError = ENOSPC;
             t.office.fail("backup child.xls", 0, c);
         },
         untouched, u"保存 child.xls", u"无法先备份该文件（磁盘空间不足），为保护原文件未保存", notSaved},
    };

    for (const bool ignore : {false, true}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (ignore ? " ignored" : " stopping"));
            RunSetup t;
            t.in.ignoreErrors = ignore;
            c.setUp(t);
            t.run();
            t.expectOutcome(ignore);
            EXPECT_EQ(t.column(kChild, 3), ignore ? c.ignoredResult : untouched);
            EXPECT_EQ(parts(t.condition), parts(c.after));
            if (!ignore) {
                EXPECT_EQ(t.window.detailed, u"步骤：" + c.stage + u"\n原因：" + c.reason);
                continue;
            }
            EXPECT_EQ(t.window.informative, c.notPlaced.empty() ? u"" : c.notPlaced + u"：" + c.reason);
            EXPECT_NE(t.window.detailed.find(u"忽略的错误 "), std::u16string::npos);
            for (const auto& a : t.office.applications()) EXPECT_TRUE(a.quit);
        }
    }
}

TEST(RunCondition, MalformedStopsTheRunAndKeepsThePreviousValues) {
    for (const bool childSide : {false, true}) {
        SCOPED_TRACE(childSide ? "child" : "parent");
        RunSetup t;
        t.condition = {std::int16_t{1}, 3, 7};
        (childSide ? t.in.childMatchKind : t.in.parentMatchKind) = KeyMatch::Condition;
        (childSide ? t.in.childCondition : t.in.parentCondition) = u"6**";
        const auto childBefore = t.sheetOnDisk(kChild).cells;
        t.run();
        EXPECT_EQ(t.window.messages, std::vector{kMalformed});
        EXPECT_EQ(t.window.events,
                  (Log{"Frame1 off", "Command1 off", "message", "Frame1 on", "Command1 on"}));
        EXPECT_EQ(parts(t.condition), parts({std::int16_t{1}, 3, 7}));
        EXPECT_TRUE(t.logged("close parent.xls false"));
        EXPECT_EQ(t.logged("close child.xls false"), childSide);
        EXPECT_TRUE(t.office.applications()[0].quit);
        EXPECT_EQ(t.sheetOnDisk(kChild).cells, childBefore);
    }
}

// The window's condition is the child's after the run, for the next run to start from.
TEST_F(RunTest, ChildConditionOverwritesTheParentsAndSurvivesTheRun) {
    put(kParent, {{u"XA01", u"p1"}, {u"XA03", u"p3"}});
    put(kChild, {{u"A01"}, {u"A03Y"}, {u"A02"}});
    in.parentMatchKind = in.childMatchKind = KeyMatch::Condition;
    in.parentCondition = u"*3";  // parent keys: A01, A03
    in.childCondition = u"3*";   // child keys: A01, A03, A02
    run();
    expectCompleted();
    EXPECT_EQ(column(kChild, 3), (Texts{u"p1", u"p3"}));
    EXPECT_EQ(parts(condition), parts({std::int16_t{2}, 3, 0}));
}

// Per-cell steps of the collection: what each failure leaves, values untrimmed, and the mode-3
// holder carried from row to row and from one table to the next.
TEST(KeyCollection, CellStepsAndTheirFailures) {
    memory::Office office;
    auto& sheet = office.disk[u"/t.xls"].sheets[0];
    sheet = memory::Sheet::fromRows({{u"  A01  ", u" v1 "}, {u"", u"v2"}, {u"k\t", u""}});
    sheet.set(4, 1, sheets::CellValue::number(42));
    sheet.set(5, 1, sheets::CellValue::error());
    sheet.set(5, 2, sheets::CellValue::error());
    FakeRunWindow window;
    auto app = office.create(window);
    auto s = app->open(u"/t.xls")->worksheet(1);
    ErrorPolicy ignore(true);
    KeyCollector collector;
    TableColumns table{Texts(5, u"?"), Texts(5, u"?"), std::vector<sheets::CellValue>(5), {}};
    auto& keys = table.keys;
    collector.collect(ignore, {s.get(), 5, 1, 2, {}, {}}, table);
    EXPECT_EQ(keys, (Texts{u"A01", u"", u"k\t", u"42", u"?"}));
    EXPECT_EQ(table.values, (Texts{u" v1 ", u"v2", u"", u"", u"?"}));
    EXPECT_EQ(table.valueCells[0], sheets::CellValue::text(u" v1 "));

    // *1?: the last character but one. Rows 2 and 3 are too short; row 5 cannot be read and is
    // cut from the holder the previous row left, as is the unreadable column after it.
    collector.setRule({false, 3, {3, 1, 1}});
    const std::tuple<int, std::int32_t, Texts> tables[] = {
        {1, 5, {u"0", u"?", u"k", u"4", u"4"}},
        {3, 1, {u"4"}},   // an unreadable column
        {2, 1, {u"v"}},   // " v1 "
        {26, 1, {u"?"}},  // an empty cell
    };
    office.fail("column 3");
    for (const auto& [column, rows, expected] : tables) {
        keys.assign(static_cast<std::size_t>(rows), u"?");
        collector.collect(ignore, {s.get(), rows, column, std::nullopt, {}, {}}, table);
        EXPECT_EQ(keys, expected) << column;
    }

    const auto reads = office.log().size();  // a mode outside 1 to 4 reads nothing
    for (const auto mode : {std::optional<std::int16_t>{}, std::optional<std::int16_t>{5}}) {
        collector.setRule({false, mode, {}});
        collector.collect(ignore, {s.get(), 5, 1, 2, {}, {}}, table);
    }
    EXPECT_EQ(office.log().size(), reads);

    // A composite key is stored only when each of its parts was read; further value cells as they are.
    collector.setRule({});
    keys.assign(5, u"?");
    collector.collect(ignore, {s.get(), 5, 2, 1, {1}, {2}}, table);
    EXPECT_EQ(keys, (Texts{compositeKey({u"v1", u"A01"}), compositeKey({u"v2", u""}),
                           compositeKey({u"", u"k\t"}), compositeKey({u"", u"42"}), u"?"}));
    EXPECT_EQ(table.moreValueCells.at(0)[0], sheets::CellValue::text(u" v1 "));

    ErrorPolicy stop(false);
    EXPECT_THROW(collector.collect(stop, {s.get(), 5, 1, 2, {}, {}}, table), RunStopped);
}

// The help window's example, also with "父子" and with further matching, before several columns.
TEST(RunPlacement, IntoTheChildSheetBeforeTheTargetColumn) {
    struct Case {
        int column;
        char letter;
        int matching, whose;
        std::vector<Texts> columns;  // from the target column on
    };
    const Case cases[] = {
        {0, 'A', 0, 0, {{u"000", u"", u"222"}, {u"A01", u"B01", u"A03"}}},
        {2, 'C', 0, 0, {{u"000", u"", u"222"}, {u"111", u"222", u"333"}}},
        {25, 'Z', 0, 0, {{u"000", u"", u"222"}}},
        // "父子" inserts two columns even for a lookup, whose second column stays empty
        {2, 'C', 0, 2, {{u"000", u"", u"222"}, {}, {u"111", u"222", u"333"}}},
        {2, 'C', 1, 2, {{u"", u"", u"222"}, {u"", u"", u"222"}, {u"111", u"222", u"333"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.column);
        RunSetup t;
        t.in.childTargetColumn = c.column;
        t.in.childTargetLetter = std::u16string(1, static_cast<char16_t>(c.letter));
        t.in.matching = static_cast<Matching>(c.matching);
        t.in.whose = static_cast<Whose>(c.whose);
        const auto parentBefore = t.sheetOnDisk(kParent).cells;
        t.run();
        t.expectCompleted();
        const std::string apply = "apply insert " + std::to_string(c.whose == 2 ? 2 : 1) + " at " +
                                  std::to_string(c.column + 1) + " write " + c.letter + "1";
        EXPECT_TRUE(t.loggedInOrder({"open /d/child.xls", "column 1 3", "setVisible false", "activate",
                                     std::string("select ") + c.letter + "1", apply, "close parent.xls true",
                                     "close child.xls true", "quit"}));
        const auto count = [&](const std::string& e) {
            return std::count(t.office.log().begin(), t.office.log().end(), e);
        };
        // each column needed read once, in one block
        EXPECT_EQ(std::tuple(count("column 1 3"), count("column 2 3"), count(apply)),
                  std::tuple(2, 1 + c.matching, 1));
        EXPECT_EQ(t.sheetOnDisk(kParent).cells, parentBefore);
        for (std::size_t i = 0; i < c.columns.size(); ++i)
            EXPECT_EQ(t.column(kChild, c.column + 1 + static_cast<int>(i)), c.columns[i]) << i;
        EXPECT_FALSE(t.office.applications()[0].everShown);
    }
}

TEST_F(RunTest, IntoANewWorkbookLeavesItOpenAndVisible) {
    in.placement = Placement::IntoNewWorkbook;
    const auto childBefore = sheetOnDisk(kChild).cells;
    run();
    expectCompleted();
    EXPECT_TRUE(
        loggedInOrder({"setVisible true", "add", "activeWorksheet 1", "select A1",
                       "apply insert 0 at 0 write A1", "close parent.xls true", "close child.xls true"}));
    const auto& app = office.applications()[0];
    EXPECT_TRUE(app.visible && app.destroyed && !app.quit);
    ASSERT_EQ(app.books.size(), 3u);  // parent, child, the new one
    EXPECT_TRUE(!app.books[0]->open && !app.books[1]->open && app.books[2]->open &&
                app.books[2]->path.empty());
    EXPECT_EQ(app.books[2]->data.sheets[0].columnTexts(1), (Texts{u"000", u"", u"222"}));
    EXPECT_EQ(sheetOnDisk(kChild).cells, childBefore);
}

TEST_F(RunTest, IntoAThirdTableAsksAboutSaving) {
    const std::u16string third = u"/d/third.xls";
    put(third, {{u"t1", u"t2"}});
    in.placement = Placement::IntoThirdTable;
    in.thirdPath = third;
    in.matching = Matching::FurtherMatching;
    in.valueTest = ValueTest::Differ;
    in.whose = Whose::Both;  // two columns, so that nothing of the third workbook is overwritten
    run();
    expectCompleted();
    EXPECT_TRUE(loggedInOrder({"open /d/third.xls", "worksheet 1", "activate", "select A1",
                               "apply insert 2 at 1 write A1", "close parent.xls true",
                               "close child.xls true", "close third.xls ask", "quit"}));
    EXPECT_EQ(window.asked, Texts{u"third.xls"});
    EXPECT_EQ(window.informative, u"");
    EXPECT_EQ(
        window.detailed,
        u"子表 3 行：得到结果 1 行，没有结果 2 行（父表中没有该键 1 行，父表中没有值符合条件的行 1 行）。\n"
        u"父表 3 行，没有重复的键。\n"
        u"结果写入：third.xls，第 1 个工作表，A、B 列。\n"
        u"已保存：/d/third.xls（由 LibreOffice 保存）\n"
        u"原文件的备份：/backups/third.xls");
    const Texts expected[] = {{u"000"}, {u"001"}, {u"t1"}, {u"t2"}};
    for (int c = 1; c <= 4; ++c) EXPECT_EQ(column(third, c), expected[c - 1]) << c;
    EXPECT_EQ(window.completion.resultFile + u" " + window.completion.backups.at(0),
              third + u" /backups/third.xls");

    FakeRunWindow declined;  // "don't save": the result was written, but not saved
    declined.answerSave = false;
    lookupRun(in, condition, declined, office);
    EXPECT_EQ(column(third, 1), expected[0]);
    EXPECT_NE(declined.detailed.find(u"结果写入：third.xls，第 1 个工作表，A、B 列，未保存。"),
              std::u16string::npos);
    EXPECT_EQ(declined.detailed.find(u"已保存"), std::u16string::npos);
    EXPECT_TRUE(declined.completion.resultFile.empty() && declined.completion.backups.empty());
}

// One file in two roles is one open workbook, closed once: as parent and child it saves the result
// once; as child and third workbook the user is asked about it like about any third workbook.
TEST(RunPlacement, OneFileInTwoRoles) {
    RunSetup p;  // the parent's second sheet as the child
    p.office.disk[kParent].sheets.push_back(memory::Sheet::fromRows({{u"A03", u"x"}, {u"A01", u"y"}}));
    p.in.childPath = kParent;
    p.in.childSheet = u"2";
    p.run();
    p.expectCompleted();
    EXPECT_EQ(std::count(p.office.log().begin(), p.office.log().end(), "close parent.xls true"), 1);
    EXPECT_EQ(p.sheetOnDisk(kParent, 1).columnTexts(3), (Texts{u"222", u"000"}));

    RunSetup t;  // the child as the third workbook
    t.in.placement = Placement::IntoThirdTable;
    t.in.thirdPath = kChild;
    t.run();
    t.expectCompleted();
    EXPECT_FALSE(t.logged("close child.xls true"));
    EXPECT_TRUE(t.logged("close child.xls ask"));
    EXPECT_EQ(t.window.asked, Texts{u"child.xls"});
    EXPECT_EQ(t.column(kChild, 1), (Texts{u"000", u"", u"222"}));
}

// The application is told the run's files; one that cannot read what it meets with certainty makes
// the run start again on the office, closing what it had opened unsaved, and the details say why.
TEST_F(RunTest, StartsAgainOnTheOfficeWhenTheApplicationCannotGoOn) {
    in.placement = Placement::IntoThirdTable;
    in.thirdPath = u"/d/third.xls";
    put(in.thirdPath, {{u"t1"}});
    office.needsOfficeOnce("column");
    run();
    expectCompleted();
    ASSERT_EQ(office.applications().size(), 2u);
    const auto& first = office.applications()[0];
    EXPECT_TRUE(first.quit && first.destroyed);
    for (const auto& b : first.books) EXPECT_FALSE(b->open || b->modified);
    EXPECT_EQ(office.lastFiles.paths, (Texts{kParent, kChild, in.thirdPath}));
    EXPECT_FALSE(office.lastFiles.addsWorkbook);
    EXPECT_EQ(office.lastFiles.officeBecause, u"公式没有保存的结果");
    EXPECT_NE(window.detailed.find(u"本次由 LibreOffice 读写工作簿，因为公式没有保存的结果。"),
              std::u16string::npos);
    EXPECT_EQ(sheetOnDisk(in.thirdPath).columnTexts(1), (Texts{u"000", u"", u"222"}));
}

// Runs that share the parent read it once: the later ones neither open it nor tell the factory of
// it, and match as if they had read it.
TEST_F(RunTest, SharedParentIsReadOnce) {
    const std::u16string second = u"/d/second.xls";
    put(second, {{u"A03", u"x"}, {u"A02", u"y"}});
    SharedParent parent;
    lookupRunSharing(in, condition, window, office, parent);
    expectCompleted();
    in.childPath = second;
    const auto logged = office.log().size();
    lookupRunSharing(in, condition, window, office, parent);
    const Log secondLog(office.log().begin() + static_cast<std::ptrdiff_t>(logged), office.log().end());
    EXPECT_EQ(std::count(secondLog.begin(), secondLog.end(), "open /d/parent.xls"), 0);
    EXPECT_EQ(office.lastFiles.paths, (Texts{second}));
    EXPECT_EQ(column(kChild, 3), (Texts{u"000", u"", u"222"}));
    EXPECT_EQ(column(second, 3), (Texts{u"222", u"111"}));
    EXPECT_EQ(window.completion.summary.counts->parentRows, 3u);
}

// Rows read are counted in blocks: a safe point after each.
TEST_F(RunTest, ReadingTheParentCountsBlocksOfRows) {
    Rows parent(70000, {u"k", u"v"});
    put(kParent, parent);
    run();
    expectCompleted();
    using Done = std::pair<std::int64_t, std::int64_t>;
    EXPECT_EQ(window.parentRowsDone, (std::vector<Done>{{0, 70000}, {65536, 70000}}));
}

// A cancel in any phase before the save stops the run at its next safe point: nothing on the disk
// changes, every workbook is closed unsaved, the office ends and the window is idle again. Once the
// save has begun the run completes, and says so. Each placement passes every phase in order.
TEST(RunCancel, InEachPhase) {
    const std::vector<Phase> all{Phase::OpenParent, Phase::ReadParent,  Phase::OpenChild, Phase::ReadChild,
                                 Phase::Match,      Phase::WriteResult, Phase::Save};
    const std::u16string third = u"/d/third.xls";
    for (const int placement : {0, 1, 2}) {
        for (int cancel = -1; cancel < static_cast<int>(all.size()); ++cancel) {  // -1: never
            const auto cancelIn = cancel < 0 ? std::nullopt : std::optional(all[cancel]);
            SCOPED_TRACE(testing::Message() << "placement " << placement << ", cancel in " << cancel);
            RunSetup t;
            t.put(third, {{u"t1"}});
            t.in.placement = static_cast<Placement>(placement);
            t.in.thirdPath = third;
            t.window.cancelIn = cancelIn;
            const auto before = t.office.disk;
            t.run();
            const bool completes = !cancelIn || cancelIn == Phase::Save;
            EXPECT_EQ(t.window.phases, completes ? all : std::vector(all.begin(), all.begin() + cancel + 1));
            const auto& app = t.office.applications().at(0);
            if (completes) {
                t.expectCompleted();
                EXPECT_EQ(t.sheetOnDisk(placement == 2 ? third : kChild).cells !=
                              before.at(placement == 2 ? third : kChild).sheets[0].cells,
                          placement != 1);
                // A cancel too late to stop the save is said; nothing is stored into a new workbook.
                const bool saidLate = t.window.informative == u"取消时已开始保存，结果已保存";
                EXPECT_EQ(saidLate, cancelIn && placement != 1);
                continue;
            }
            EXPECT_TRUE(t.window.messages.empty());
            EXPECT_EQ(t.window.events, (Log{"Frame1 off", "Command1 off", "Frame1 on", "Command1 on"}));
            for (const auto& [path, book] : before)
                EXPECT_EQ(t.sheetOnDisk(path).cells, book.sheets[0].cells);
            EXPECT_TRUE(app.quit && app.destroyed);
            for (const auto& b : app.books) EXPECT_FALSE(b->open);
            EXPECT_TRUE(t.window.asked.empty());
        }
    }
}

}  // namespace
}  // namespace run
