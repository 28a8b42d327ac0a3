#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "memory_sheets.h"
#include "run/lookup_run.h"
#include "run/run_window.h"
#include "sheets/utf8.h"

namespace run {

using Rows = std::vector<std::vector<std::u16string>>;
using Texts = std::vector<std::u16string>;
using Log = std::vector<std::string>;

struct Message {
    std::u16string text, title;
    bool operator==(const Message&) const = default;
    friend void PrintTo(const Message& m, std::ostream* os) {
        *os << '"' << sheets::toUtf8(m.text) << "\" (" << sheets::toUtf8(m.title) << ')';
    }
};

// Records what a run does to the window; every question about saving is answered alike, "save" unless
// told otherwise.
class FakeRunWindow : public RunWindow {
public:
    void showMessage(const std::u16string& text, const std::u16string& title) override {
        showDetailedMessage(text, title, {}, {});
    }
    void showDetailedMessage(const std::u16string& text, const std::u16string& title,
                             const std::u16string& informativeText,
                             const std::u16string& detailedText) override {
        messages.push_back({text, title});
        events.push_back("message");
        informative = informativeText;
        detailed = detailedText;
    }
    void showCompletion(const Completion& c) override {
        completion = c;
        RunWindow::showCompletion(c);
    }
    void setFrameEnabled(bool on) override { events.push_back(on ? "Frame1 on" : "Frame1 off"); }
    void setStartEnabled(bool on) override { events.push_back(on ? "Command1 on" : "Command1 off"); }
    // The program ends here, so every office must be gone by now.
    void endProgram() override {
        const auto alive = [](const memory::ApplicationRecord& a) { return !a.destroyed; };
        const bool any =
            office && std::any_of(office->applications().begin(), office->applications().end(), alive);
        events.push_back(any ? "end, an office alive" : "end");
    }
    sheets::Clipboard& clipboard() override { return clip; }
    bool askSaveChanges(const std::u16string& fileName) override {
        asked.push_back(fileName);
        return answerSave;
    }
    // Each phase once as it begins; the user cancels as soon as cancelIn has begun.
    void progress(Phase phase, std::int64_t done, std::int64_t total) override {
        if (phases.empty() || phases.back() != phase) phases.push_back(phase);
        if (phase == Phase::ReadParent) parentRowsDone.emplace_back(done, total);
    }
    bool cancelled() override {
        return cancelIn && std::find(phases.begin(), phases.end(), *cancelIn) != phases.end();
    }

    std::vector<Message> messages;
    std::u16string informative, detailed;  // of the last message
    Completion completion;
    Log events;
    Texts asked;
    bool answerSave = true;
    memory::MemoryClipboard clip;
    const memory::Office* office = nullptr;
    std::vector<Phase> phases;
    std::vector<std::pair<std::int64_t, std::int64_t>> parentRowsDone;
    std::optional<Phase> cancelIn;
};

inline const std::u16string kParent = u"/d/parent.xls";
inline const std::u16string kChild = u"/d/child.xls";
inline const Message kDone{u"操作完成!", u"完成"};
inline const Message kFailed{u"操作错误，请检查Excel表是否正确或输入参数是否规范！请重新运行软件",
                             u"错误提示"};
inline const Message kMalformed{u"条件格式有误,请按照规定格式输入,详细请与IT:Tolvek联系", u"提示"};

// The help window's example on the memory disk and the window's defaults, except that the values
// are in column B and the result goes before column C of the child sheet.
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
        window.office = &office;
    }

    void put(const std::u16string& path, const Rows& rows) {
        office.disk[path].sheets = {memory::Sheet::fromRows(rows)};
    }
    memory::Sheet& sheetOnDisk(const std::u16string& path, std::size_t i = 0) {
        return office.disk.at(path).sheets.at(i);
    }
    Texts column(const std::u16string& path, int c) { return sheetOnDisk(path).columnTexts(c); }
    void run() { lookupRun(in, condition, window, office); }

    bool logged(const std::string& entry) const { return loggedInOrder({entry}); }
    // The entries appear in the log in this order, others possibly between them.
    bool loggedInOrder(const Log& entries) const {
        auto it = office.log().begin();
        for (const auto& e : entries) {
            it = std::find(it, office.log().end(), e);
            if (it == office.log().end()) return false;
            ++it;
        }
        return true;
    }

    // Disabled, enabled again, the message last; the clipboard left empty.
    void expectCompleted() {
        EXPECT_EQ(window.messages, std::vector{kDone});
        EXPECT_EQ(window.events, (Log{"Frame1 off", "Command1 off", "Frame1 on", "Command1 on", "message"}));
        EXPECT_TRUE(window.clip.empty());
    }

    // The failure message, then the program ends after every office, never shown, went away without
    // quit.
    void expectStopped() {
        EXPECT_EQ(window.messages, std::vector{kFailed});
        EXPECT_EQ(window.events, (Log{"Frame1 off", "Command1 off", "message", "end"}));
        for (const auto& a : office.applications()) EXPECT_TRUE(!a.quit && !a.everShown);
        EXPECT_FALSE(logged("quit"));
    }

    void expectOutcome(bool ignoreErrors) { ignoreErrors ? expectCompleted() : expectStopped(); }

    memory::Office office;
    FakeRunWindow window;
    KeyCondition condition;
    RunInputs in;
};

class RunTest : public ::testing::Test, protected RunSetup {};

}  // namespace run
