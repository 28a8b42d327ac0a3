// Offices of their own: quit, destruction of the object, a shown office, a killed program.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "calc_test_support.h"
#include "sheets/calc/calc_application.h"
#include "sheets/failure.h"

namespace sheets::calc::testing {
namespace {

using namespace std::chrono_literals;
using Traces = std::vector<std::string>;

// The files an office leaves and the lock file of its document.
Traces withLock(Traces files, const std::string& document) {
    files.push_back(lockOf(document));
    return files;
}

// A workbook with a change, so that an office holding it has its lock file and a reason to ask.
std::shared_ptr<sheets::Workbook> openChanged(sheets::Application& app, const std::string& path) {
    makeWorkbook(officeInfo(app).pipeName, path, {{u"S"}}, {{0, "A1", u"x"}});
    auto book = app.open(std::u16string(path.begin(), path.end()));
    book->worksheet(1)->apply({0, 0, 1, CellRows{1, {CellValue::text(u"changed")}}});
    EXPECT_TRUE(exists(lockOf(path)));
    return book;
}

// Quit, or destruction of the object: the office ends without saving unless it was shown and stays
// shown. Headless, an office shows nothing even when made visible.
TEST(Lifecycle, AnOfficeEndsWithItsApplicationUnlessTheUserHasIt) {
    const struct {
        const char* file;
        bool headless, show, hide, quit, stays;
    } cases[] = {
        {"quit.xls", false, false, false, true, false},
        {"never-shown.xlsx", true, true, false, false, false},
        {"shown.ods", false, true, false, false, true},
        {"hidden-again.xlsx", false, true, true, false, false},
    };
    for (const auto& c : cases) {
        if (c.show && !c.headless && !displayAvailable()) continue;  // needs a display
        FakeDesktop desktop;
        TempDir dir;
        auto app = c.headless ? headlessApplication(desktop) : CalcApplicationFactory().create(desktop);
        const OfficeInfo info = officeInfo(*app);
        const Traces sockets = socketsOf(info.officePid);
        ASSERT_GE(sockets.size(), 2u) << "its own instance pipe and the pipe of the connection";
        EXPECT_EQ(info.headless, c.headless || !displayAvailable()) << c.file;
        const std::string path = dir.file(c.file);
        auto book = openChanged(*app, path);
        auto sheet = book->worksheet(1);
        const std::string before = bytesOf(path);
        if (c.show) app->setVisible(true);
        if (c.hide) app->setVisible(false);
        if (c.quit) {
            app->quit();
            EXPECT_THROW(app->open(u"x.xls"), Failure);
            EXPECT_THROW(app->add(), Failure);
            EXPECT_THROW(app->quit(), Failure);
        } else {
            app.reset();
        }
        if (c.stays) {
            std::this_thread::sleep_for(1s);
            EXPECT_TRUE(processAlive(info.officePid));
            EXPECT_TRUE(exists(lockOf(path)));
            // Nor does it hold the program's output open for whoever waits for the program to end.
            std::error_code ec;
            for (pid_t pid : {info.officePid, info.guardPid})
                for (int fd : {1, 2})
                    EXPECT_NE(std::filesystem::read_symlink(
                                  "/proc/" + std::to_string(pid) + "/fd/" + std::to_string(fd), ec),
                              std::filesystem::read_symlink("/proc/self/fd/2", ec))
                        << "pid " << pid << " fd " << fd;
            ::kill(info.officePid, SIGKILL);  // the user ends the office: its guard removes what it leaves
        } else {
            EXPECT_THROW(sheet->cell(1, 1), Failure) << c.file;
            EXPECT_THROW(book->close(true), Failure) << c.file;
        }
        EXPECT_EQ(officeTraces(info, c.stays ? 20s : 0s, withLock(sockets, path)), Traces{}) << c.file;
        EXPECT_EQ(bytesOf(path), before) << c.file;
        EXPECT_TRUE(desktop.asked.empty()) << c.file;
    }
}

// An office that dies while it stores a workbook leaves the file as it was and no temporary file of
// its store beside it.
TEST(Lifecycle, AStoreCutShortLeavesTheFileAsItWas) {
    FakeDesktop desktop;
    TempDir dir;
    auto app = headlessApplication(desktop);
    const OfficeInfo info = officeInfo(*app);
    const std::string path = dir.file("big.ods");
    auto book = openChanged(*app, path);
    const std::string before = bytesOf(path);
    CellRows rows{3, {}};
    for (int i = 0; i < 600000; ++i)
        rows.cells.push_back(CellValue::text(u"行" + std::u16string(1, u'a' + i % 26)));
    book->worksheet(1)->apply({0, 0, 1, rows});

    const auto temporaries = [&] {
        Traces found;
        for (const auto& e : std::filesystem::directory_iterator(dir.path()))
            if (e.path().filename().string().starts_with("lu")) found.push_back(e.path().filename());
        return found;
    };
    std::thread store([&] { EXPECT_THROW(book->close(true), Failure); });
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (temporaries().empty() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    ::kill(info.officePid, SIGKILL);
    store.join();
    EXPECT_EQ(temporaries(), Traces{});
    EXPECT_EQ(bytesOf(path), before);
}

// Stops a process and waits until it is stopped.
void stopProcess(pid_t pid) {
    ::kill(pid, SIGSTOP);
    for (int i = 0; i < 1000; ++i) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string line;
        std::getline(stat, line);
        if (line.find(") T ") != std::string::npos) return;
        std::this_thread::sleep_for(1ms);
    }
}

// An office that waits for ever (here: stopped by a signal) is ended, and the call that waits for it
// fails: at once when the run stops, else once the office has done nothing for the stall limit.
TEST(Lifecycle, NoCallWaitsForAnOfficeForEver) {
    ::setenv("PELLUCOR_OFFICE_STALL_SECONDS", "3", 1);
    for (const bool stop : {true, false}) {
        SCOPED_TRACE(stop ? "stopped" : "stalled");
        FakeDesktop desktop;
        TempDir dir;
        auto app = headlessApplication(desktop);
        auto book = openChanged(*app, dir.file("waits.ods"));
        auto sheet = book->worksheet(1);
        stopProcess(officeInfo(*app).officePid);
        desktop.stop = stop;
        const auto start = std::chrono::steady_clock::now();
        try {
            sheet->usedRowCount();
            ADD_FAILURE() << "an office that does nothing answered";
        } catch (const Failure& f) {
            EXPECT_EQ(f.cause().kind, stop ? FailureCause::Kind::Unknown : FailureCause::Kind::OfficeStalled);
            EXPECT_EQ(f.cause().seconds, stop ? 0 : 3);
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, stop ? 3s : 8s);
        app->quit();  // nothing left waiting: the office has gone
    }
    ::unsetenv("PELLUCOR_OFFICE_STALL_SECONDS");
}

// A program killed without letting go of its application.
TEST(Lifecycle, AnOfficeNeverShownDoesNotOutliveAKilledProgram) {
    TempDir dir;
    const std::string infoFile = dir.file("child"), document = infoFile + ".ods";
    const pid_t child = spawn({"/proc/self/exe", "--gtest_filter=LifecycleChild.HoldsAnOffice"},
                              {"PELLUCOR_CALC_CHILD=" + infoFile}, true);
    ASSERT_GT(child, 0);

    // The child writes what its office is once it has a changed workbook open.
    OfficeInfo info;
    for (const auto deadline = std::chrono::steady_clock::now() + 30s;
         info.officePid <= 0 && std::chrono::steady_clock::now() < deadline;
         std::this_thread::sleep_for(20ms))
        info = readOfficeInfo(infoFile);
    ASSERT_GT(info.officePid, 0);
    const Traces sockets = socketsOf(info.officePid);
    ASSERT_TRUE(exists(lockOf(document)));
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_EQ(officeTraces(info, 20s, withLock(sockets, document)), Traces{});
}

TEST(LifecycleChild, HoldsAnOffice) {
    const char* infoFile = std::getenv("PELLUCOR_CALC_CHILD");
    if (!infoFile) GTEST_SKIP() << "runs as the child of AnOfficeNeverShownDoesNotOutliveAKilledProgram";
    FakeDesktop desktop;
    auto app = CalcApplicationFactory().create(desktop).release();  // never let go
    const OfficeInfo info = officeInfo(*app);
    openChanged(*app, infoFile + std::string(".ods"));
    writeOfficeInfo(infoFile, info);
    for (;;) ::pause();
}

}  // namespace
}  // namespace sheets::calc::testing
