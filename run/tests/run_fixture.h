#pragma once

#include <gtest/gtest.h>

#include <algorithm>

#include "fake_run_window.h"
#include "memory_sheets.h"
#include "run/lookup_run.h"

namespace run {

using Rows = std::vector<std::vector<std::u16string>>;
using Texts = std::vector<std::u16string>;

inline const std::u16string kParent = u"/d/parent.xls";
inline const std::u16string kChild = u"/d/child.xls";
inline const FakeRunWindow::Message kDone{u"操作完成!", u"完成"};
inline const FakeRunWindow::Message kFailed{
    u"操作错误，请检查Excel表是否正确或输入参数是否规范！请重新运行软件", u"错误提示"};
inline const FakeRunWindow::Message kWrong{u"条件格式有误,请按照规定格式输入,详细请与IT:Tolvek联系", u"提示"};

// A parent and a child workbook on the memory disk, the help window's example, and the window's
// defaults with the result going before column C of the child sheet.
struct RunSetup {
    RunSetup() {
        put(kParent, {{u"A01", u"000", u"111"}, {u"A02", u"111", u"222"}, {u"A03", u"222", u"333"}});
        put(kChild, {{u"A01", u"001", u"111"}, {u"B01", u"111", u"222"}, {u"A03", u"222", u"333"}});
        in.parentPath = kParent;
        in.childPath = kChild;
        in.parentSheet = in.childSheet = u"1";
        in.valueColumn = 1;
        in.childTargetColumn = 2;
        in.childTargetLetter = u"C";
        in.thirdPath = u"C:\\";
    }

    void put(const std::u16string& path, const Rows& rows) {
        office.disk[path].sheets = {memory::Sheet::fromRows(rows)};
    }
    memory::Sheet& sheetOnDisk(const std::u16string& path, std::size_t i = 0) {
        return office.disk.at(path).sheets.at(i);
    }
    Texts column(const std::u16string& path, int c) { return sheetOnDisk(path).columnTexts(c); }

    void run() { lookupRun(in, condition, window, office); }

    bool logged(const std::string& entry) const {
        const auto& log = office.log();
        return std::find(log.begin(), log.end(), entry) != log.end();
    }
    // entries appear in the log in this order (others may lie between them)
    bool loggedInOrder(const std::vector<std::string>& entries) const {
        auto it = office.log().begin();
        for (const auto& e : entries) {
            it = std::find(it, office.log().end(), e);
            if (it == office.log().end()) return false;
            ++it;
        }
        return true;
    }

    void expectCompleted() {
        EXPECT_EQ(window.messages, std::vector{kDone});
        EXPECT_FALSE(window.ended);
        EXPECT_TRUE(window.clip.empty());
        const std::vector<std::string> tail{"Frame1 on", "Command1 on", "message"};
        ASSERT_GE(window.events.size(), 3u);
        EXPECT_TRUE(std::equal(tail.begin(), tail.end(), window.events.end() - 3));
    }

    // The run reported its failure, then the program ended; the office that was never shown went
    // away without quit.
    void expectStopped() {
        EXPECT_EQ(window.messages, std::vector{kFailed});
        EXPECT_TRUE(window.ended);
        for (const auto& a : office.applications()) EXPECT_TRUE(a.destroyed && !a.quit);
        EXPECT_FALSE(logged("quit"));
    }

    memory::Office office;
    FakeRunWindow window;
    KeyCondition condition;
    RunInputs in;
};

class RunTest : public ::testing::Test, protected RunSetup {};

}  // namespace run
