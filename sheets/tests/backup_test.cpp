#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "sheets/backup.h"
#include "sheets/failure.h"
#include "sheets/run_history.h"

namespace sheets {
namespace {

namespace fs = std::filesystem;

std::string bytesOf(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Two files of one name in one run, a folder per run, the newest 30 runs kept by their age and
// nothing else in the folder touched; a root that cannot be made fails the copy.
TEST(RunBackup, CopiesByteForByteAndKeepsTheLastRuns) {
    const fs::path root = fs::temp_directory_path() / ("pellucor-backup-test-" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "a");
    fs::create_directories(root / "b");
    const std::string bytes("PK\x03\x04\0\xff binary", 14);
    std::ofstream(root / "a" / "子表.xlsx", std::ios::binary) << bytes;
    std::ofstream(root / "b" / "子表.xlsx", std::ios::binary) << "other";
    const fs::path backups = root / "backups";
    fs::create_directories(backups / "mine");
    // Made first though named last, as after the clock was set back: its age counts, not its name.
    const auto made = [&](const std::string& name) {
        fs::create_directories(backups / name);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));  // file times are coarse
    };
    made("2099-01-01_00-00-00");
    for (int i = 0; i < 30; ++i) made("2001-01-01_00-00-" + std::to_string(10 + i));
    // A copy left half-made by a killed run goes; one a live run is making stays.
    const fs::path leftOver = backups / "2001-01-01_00-00-20" / "x.xlsx.partial",
                   live = backups / "2001-01-01_00-00-21" / "y.xlsx.partial";
    std::ofstream(leftOver) << "half";
    std::ofstream(live) << "half";
    const int liveCopy = ::open(live.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(liveCopy, LOCK_EX), 0);

    RunBackup run(backups, 30);
    const fs::path first = run.copy(root / "a" / "子表.xlsx"), second = run.copy(root / "b" / "子表.xlsx");
    EXPECT_EQ(first, run.folder() / "子表.xlsx");
    EXPECT_EQ(second, run.folder() / "2" / "子表.xlsx");
    EXPECT_EQ(bytesOf(first), bytes);
    EXPECT_EQ(bytesOf(second), "other");
    EXPECT_EQ(bytesOf(run.folder() / "originals.txt"), "子表.xlsx\t" + (root / "a" / "子表.xlsx").string() +
                                                           "\n2/子表.xlsx\t" +
                                                           (root / "b" / "子表.xlsx").string() + "\n");

    int runs = 0;
    for (const auto& entry : fs::directory_iterator(backups)) runs += entry.path().filename() != "mine";
    EXPECT_EQ(runs, 30);
    EXPECT_FALSE(fs::exists(backups / "2099-01-01_00-00-00"));
    EXPECT_FALSE(fs::exists(backups / "2001-01-01_00-00-10"));
    EXPECT_TRUE(fs::exists(backups / "2001-01-01_00-00-11"));
    EXPECT_TRUE(fs::exists(backups / "mine"));
    EXPECT_FALSE(fs::exists(leftOver));
    EXPECT_TRUE(fs::exists(live));
    ::close(liveCopy);

    RunBackup blocked(root / "a" / "子表.xlsx" / "backups");  // under a file: as root too
    try {
        blocked.copy(root / "a" / "子表.xlsx");
        ADD_FAILURE() << "copied into a folder that cannot exist";
    } catch (const Failure& f) {
        EXPECT_EQ(f.cause().kind, FailureCause::Kind::BackupFailed);
        EXPECT_EQ(f.cause().systemError, ENOTDIR);
    }
    fs::remove_all(root);
}

void write(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
}

// A run that stored two files: an undo puts back both byte for byte, and is itself a run that can be
// undone; a file changed since (same size, other bytes), or one whose copy is gone, is left alone.
TEST(RunHistory, UndoRestoresRefusesChangedFilesAndIsUndoneInTurn) {
    const fs::path root = fs::temp_directory_path() / ("pellucor-history-test-" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "b");
    const fs::path child = root / "子表.xlsx", third = root / "b" / "子表.xlsx", backups = root / "backups";
    write(child, std::string("PK\0before", 9));
    write(third, "third before");
    RunBackup run(backups);
    const fs::path childCopy = run.copy(child), thirdCopy = run.copy(third);
    write(child, "the run's result");
    write(third, "third after");
    const ResultColumns columns{1, u"数据", 3, 2};
    ASSERT_TRUE(recordStored(run, childCopy, child, {columns}) && recordStored(run, thirdCopy, third, {}));
    const auto recorded = runOfBackup(thirdCopy);
    ASSERT_TRUE(recorded && recorded->files.size() == 2);
    EXPECT_EQ(recorded->files[0].results, std::vector{columns});

    const UndoOutcome undone = undoRun(*recorded, backups);
    EXPECT_EQ(undone.restored, (std::vector{child, third}));
    EXPECT_EQ(bytesOf(child), std::string("PK\0before", 9));
    EXPECT_EQ(bytesOf(third), "third before");
    EXPECT_EQ(bytesOf(undone.backupFolder / "子表.xlsx"), "the run's result");
    auto runs = recordedRuns(backups);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].undoes, run.folder().filename());
    EXPECT_TRUE(!runs[0].undone && runs[1].undone);

    const UndoOutcome redone = undoRun(runs[0], backups);  // the undo undone: the run's result is back
    EXPECT_EQ(redone.restored.size(), 2u);
    EXPECT_EQ(bytesOf(child), "the run's result");
    runs = recordedRuns(backups);
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_TRUE(!runs[0].undone && runs[1].undone && !runs[2].undone);

    // changed since the undo of the undo wrote it; open in LibreOffice; then its copy gone
    write(child, "the run's resulT");
    write(root / "b" / ".~lock.子表.xlsx#", ",张三,host,07.12.2026 02:16,file:///p;");
    using Why = UndoOutcome::Refused::Why;
    for (const Why why : {Why::Failed, Why::BackupGone}) {
        if (why == Why::BackupGone)
            fs::remove(root / "b" / ".~lock.子表.xlsx#"), fs::remove(runs[0].files[1].backup);
        const UndoOutcome refused = undoRun(runs[0], backups);
        ASSERT_EQ(refused.refused.size(), 2u);
        EXPECT_TRUE(refused.restored.empty());
        EXPECT_EQ(refused.refused[0].why, Why::Changed);
        EXPECT_EQ(refused.refused[1].why, why);
    }
    EXPECT_EQ(bytesOf(child), "the run's resulT");
    EXPECT_EQ(bytesOf(third), "third after");
    EXPECT_EQ(recordedRuns(backups).size(), 3u);
    fs::remove_all(root);
}

TEST(RunBackup, RootFollowsXdgDataHome) {
    const char* data = std::getenv("XDG_DATA_HOME");
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    const std::string dataBefore = data ? data : "";
    ::setenv("XDG_DATA_HOME", "/data", 1);
    EXPECT_EQ(backupRoot(), fs::path("/data/Pellucor/backups"));
    ::unsetenv("XDG_DATA_HOME");
    ::setenv("HOME", "/home/u", 1);
    EXPECT_EQ(backupRoot(), fs::path("/home/u/.local/share/Pellucor/backups"));
    ::setenv("HOME", home.c_str(), 1);
    if (data) ::setenv("XDG_DATA_HOME", dataBefore.c_str(), 1);
}

}  // namespace
}  // namespace sheets
