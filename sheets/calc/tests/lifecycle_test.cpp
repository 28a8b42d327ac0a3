// Offices of their own: starting, quitting, destruction, a program that ends abruptly, a shown office.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "sheets/calc/calc_application.h"
#include "sheets/failure.h"
#include "test_support.h"
#include "workbook_maker.h"

extern char** environ;

namespace sheets::calc::testing {
namespace {

using namespace std::chrono_literals;

std::u16string u16(const std::string& s) {
    return std::u16string(s.begin(), s.end());
}

bool displayAvailable() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"})
        if (const char* v = std::getenv(name); v && *v) return true;
    return false;
}

// Polls until nothing of the office is left or the limit passes; what is left.
std::vector<std::string> tracesAfter(const OfficeInfo& info, const std::vector<std::string>& sockets,
                                     const std::string& document, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        std::vector<std::string> traces = officeTraces(info, sockets);
        if (exists(lockOf(document))) traces.push_back("lock file of " + document);
        if (traces.empty() || std::chrono::steady_clock::now() > deadline) return traces;
        std::this_thread::sleep_for(50ms);
    }
}

class LifecycleTest : public ::testing::Test {
protected:
    // A workbook with a change, so that an office holding it has its lock file and a reason to ask.
    std::shared_ptr<sheets::Workbook> openChanged(sheets::Application& app, const std::string& path) {
        makeWorkbook(officeInfo(app).pipeName, path, {{u"S"}}, {{0, "A1", u"x"}});
        auto book = app.open(u16(path));
        desktop_.clipboard().setText(u"changed\r");
        book->worksheet(1)->paste();
        EXPECT_TRUE(exists(lockOf(path)));
        return book;
    }

    FakeDesktop desktop_;
    TempDir dir_;
};

TEST_F(LifecycleTest, QuitClosesWithoutSavingAndLeavesNothingBehind) {
    auto app = CalcApplicationFactory().create(desktop_);
    const OfficeInfo info = officeInfo(*app);
    ASSERT_TRUE(processAlive(info.officePid));
    const std::vector<std::string> sockets = socketsOf(info.officePid);
    ASSERT_GE(sockets.size(), 2u) << "its own instance pipe and the pipe of the connection";
    const std::string path = dir_.file("quit.xls");
    auto book = openChanged(*app, path);
    auto sheet = book->worksheet(1);
    const std::string before = bytesOf(path);

    app->quit();
    EXPECT_EQ(tracesAfter(info, sockets, path, 0s), std::vector<std::string>{});
    EXPECT_EQ(bytesOf(path), before);
    EXPECT_TRUE(desktop_.asked.empty());
    EXPECT_THROW(app->open(u16(path)), Failure);
    EXPECT_THROW(app->add(), Failure);
    EXPECT_THROW(app->setVisible(true), Failure);
    EXPECT_THROW(app->activeWorksheet(1), Failure);
    EXPECT_THROW(app->quit(), Failure);
    EXPECT_THROW(book->close(true), Failure);
    EXPECT_THROW(sheet->cell(1, 1), Failure);
}

TEST_F(LifecycleTest, AnApplicationNeverShownEndsWithItsObject) {
    // Without a display "visible" shows nothing: the office still counts as never shown.
    auto app = CalcApplicationFactory(CalcOptions{.forceHeadless = true}).create(desktop_);
    const OfficeInfo info = officeInfo(*app);
    const std::vector<std::string> sockets = socketsOf(info.officePid);
    EXPECT_TRUE(info.headless);
    const std::string path = dir_.file("destroyed.xlsx");
    openChanged(*app, path);
    app->setVisible(true);
    auto added = app->add();
    app.reset();
    EXPECT_EQ(tracesAfter(info, sockets, path, 0s), std::vector<std::string>{});
    EXPECT_THROW(added->worksheet(1), Failure);
}

// The program ends without letting go of its application: killed, or ended by exit() as after a
// run failure that stops the program.
TEST_F(LifecycleTest, AnOfficeNeverShownDoesNotOutliveItsProgram) {
    for (const char* ending : {"kill", "exit"}) {
        const std::string infoFile = dir_.file(std::string("child-") + ending);
        const std::string document = dir_.file(std::string("child-") + ending + ".ods");
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) env.emplace_back(*e);
        env.push_back("PELLUCOR_CALC_CHILD=" + infoFile + "|" + document + "|" + ending);
        std::vector<char*> envp;
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        std::string self = std::filesystem::read_symlink("/proc/self/exe");
        std::string filter = "--gtest_filter=LifecycleChild.HoldsAnOffice";
        char* argv[] = {self.data(), filter.data(), nullptr};
        pid_t child = -1;
        ASSERT_EQ(::posix_spawn(&child, self.c_str(), nullptr, nullptr, argv, envp.data()), 0);

        // The child writes what its office is once it has a workbook open.
        OfficeInfo info;
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        while (std::chrono::steady_clock::now() < deadline) {
            std::ifstream in(infoFile);
            if (in >> info.officePid >> info.guardPid >> info.profileDir >> info.pipeName) break;
            std::this_thread::sleep_for(20ms);
        }
        ASSERT_GT(info.officePid, 0) << ending;
        const std::vector<std::string> sockets = socketsOf(info.officePid);
        ASSERT_TRUE(exists(lockOf(document))) << ending;
        if (std::string(ending) == "kill") ::kill(child, SIGKILL);
        std::ofstream(infoFile + ".go") << "";
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_EQ(tracesAfter(info, sockets, document, 20s), std::vector<std::string>{}) << ending;
    }
}

TEST(LifecycleChild, HoldsAnOffice) {
    const char* spec = std::getenv("PELLUCOR_CALC_CHILD");
    if (!spec) GTEST_SKIP() << "runs as the child of AnOfficeNeverShownDoesNotOutliveItsProgram";
    const std::string s = spec;
    const std::string infoFile = s.substr(0, s.find('|'));
    const std::string rest = s.substr(s.find('|') + 1);
    const std::string document = rest.substr(0, rest.find('|'));
    const std::string ending = rest.substr(rest.find('|') + 1);

    FakeDesktop desktop;
    auto app = CalcApplicationFactory().create(desktop).release();  // never let go
    const OfficeInfo info = officeInfo(*app);
    makeWorkbook(info.pipeName, document, {{u"S"}}, {{0, "A1", 1.0}});
    auto book = app->open(u16(document));
    desktop.clipboard().setText(u"changed\r");
    book->worksheet(1)->paste();
    {
        std::ofstream out(infoFile + ".tmp");
        out << info.officePid << ' ' << info.guardPid << ' ' << info.profileDir << ' ' << info.pipeName
            << '\n';
    }
    std::filesystem::rename(infoFile + ".tmp", infoFile);
    for (;;) {
        if (ending == "exit" && exists(infoFile + ".go")) std::exit(3);
        std::this_thread::sleep_for(20ms);
    }
}

TEST_F(LifecycleTest, AShownOfficeStaysWithTheUser) {
    if (!displayAvailable()) GTEST_SKIP() << "needs a display";
    auto app = CalcApplicationFactory().create(desktop_);
    const OfficeInfo info = officeInfo(*app);
    const std::vector<std::string> sockets = socketsOf(info.officePid);
    EXPECT_FALSE(info.headless);
    const std::string path = dir_.file("shown.ods");
    openChanged(*app, path);
    app->setVisible(true);
    app.reset();

    std::this_thread::sleep_for(1s);
    EXPECT_TRUE(processAlive(info.officePid));
    EXPECT_TRUE(exists(lockOf(path)));
    // The user ends the office: its guard removes what it leaves.
    ::kill(info.officePid, SIGKILL);
    EXPECT_EQ(tracesAfter(info, sockets, path, 20s), std::vector<std::string>{});
}

TEST_F(LifecycleTest, AnOfficeHiddenAgainEndsWithItsObject) {
    if (!displayAvailable()) GTEST_SKIP() << "needs a display";
    auto app = CalcApplicationFactory().create(desktop_);
    const OfficeInfo info = officeInfo(*app);
    const std::vector<std::string> sockets = socketsOf(info.officePid);
    const std::string path = dir_.file("hidden-again.xlsx");
    openChanged(*app, path);
    app->setVisible(true);
    app->setVisible(false);
    app.reset();
    EXPECT_EQ(tracesAfter(info, sockets, path, 0s), std::vector<std::string>{});
}

}  // namespace
}  // namespace sheets::calc::testing
