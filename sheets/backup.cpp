#include "sheets/backup.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <vector>

#include "sheets/descriptor.h"
#include "sheets/failure.h"
#include "sheets/utf8.h"

namespace sheets {
namespace {

namespace fs = std::filesystem;

// Run folders are named "YYYY-MM-DD_HH-MM-SS", with "-N" for a second run in the same second; nothing
// else in the root is ever removed.
bool isRunFolder(const std::string& name) {
    if (name.size() < 19) return false;
    for (std::size_t i = 0; i < 19; ++i) {
        const char c = name[i];
        const bool separator = i == 4 || i == 7 || i == 10 || i == 13 || i == 16;
        if (separator ? (c != (i == 10 ? '_' : '-')) : (c < '0' || c > '9')) return false;
    }
    return name.size() == 19 || (name[19] == '-' && name.find_first_not_of("0123456789", 20) == name.npos);
}

std::string timestamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d_%H-%M-%S", &local);
    return text;
}

[[noreturn]] void fail(const fs::path& file, const std::string& what, int error) {
    FailureCause cause;
    cause.kind = FailureCause::Kind::BackupFailed;
    cause.file = fromUtf8(file.filename().string());
    cause.systemError = error;
    throw Failure("cannot back up " + file.string() + ": " + what + ": " + std::strerror(error), cause);
}

// Copies all that `in` holds to `out`: 0 or the errno of what failed.
int copyAll(int in, int out) {
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n < 0 ? errno : 0;
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(out, buffer.data() + done, static_cast<std::size_t>(n - done));
            if (w < 0 && errno != EINTR) return errno;
            if (w > 0) done += w;
        }
    }
}

void syncFile(const fs::path& file) {
    Descriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.valid()) ::fsync(fd.get());
}

void syncFolder(const fs::path& folder) {
    Descriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.valid()) ::fsync(fd.get());
}

// Copies from to to through a temporary name, synced before it takes its own name, and the name
// synced too. The temporary is locked while it is written, so that another run that finds it knows
// whether it is left over (backup.h, removeLeftovers).
void copyBytes(const fs::path& from, const fs::path& to) {
    const fs::path partial = to.string() + ".partial";
    Descriptor in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    if (!in.valid()) fail(from, "cannot read it", errno);
    Descriptor out(::open(partial.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!out.valid()) fail(from, "cannot create " + partial.string(), errno);
    ::flock(out.get(), LOCK_EX);
    int error = copyAll(in.get(), out.get());
    if (!error && ::fsync(out.get()) != 0) error = errno;
    if (!error && ::rename(partial.c_str(), to.c_str()) != 0) error = errno;
    if (const int closed = out.close(); !error) error = closed;
    if (error) {
        ::unlink(partial.c_str());
        fail(from, "cannot copy it to " + to.string(), error);
    }
    syncFolder(to.parent_path());
}

// When a run folder was made: its birth time where the file system keeps one, else its change
// time. Not its name, which a clock set back would make look old.
std::int64_t madeAt(const fs::path& folder) {
    struct statx st {};
    if (::statx(AT_FDCWD, folder.c_str(), 0, STATX_BTIME | STATX_CTIME, &st) != 0) return 0;
    const auto& t = (st.stx_mask & STATX_BTIME) ? st.stx_btime : st.stx_ctime;
    return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

// A copy a run was making when it was killed: its temporary, which no live run holds locked.
void removeIfLeftOver(const fs::path& file) {
    Descriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.valid() && ::flock(fd.get(), LOCK_EX | LOCK_NB) == 0) ::unlink(file.c_str());
}

}  // namespace

fs::path backupRoot() {
    const char* data = std::getenv("XDG_DATA_HOME");
    fs::path base;
    if (data && *data) {
        base = data;
    } else {
        const char* home = std::getenv("HOME");
        base = fs::path(home && *home ? home : "/tmp") / ".local" / "share";
    }
    return base / "Pellucor" / "backups";
}

RunBackup::RunBackup(fs::path root, int keptRuns) : root_(std::move(root)), keptRuns_(keptRuns) {}

void RunBackup::makeFolder() {
    std::error_code ec;
    fs::create_directories(root_, ec);
    if (ec) fail(root_, "cannot create the backup folder", ec.value());
    const std::string stamp = timestamp();
    for (int n = 1;; ++n) {
        const fs::path candidate = root_ / (n == 1 ? stamp : stamp + "-" + std::to_string(n));
        if (fs::create_directory(candidate, ec)) {
            folder_ = candidate;
            syncFolder(root_);
            break;
        }
        if (ec) fail(candidate, "cannot create the backup folder", ec.value());
    }
    removeOldRuns();
}

// Old backups that cannot be removed stay; that never stops a run. The oldest go first; this run's
// own folder never does. Copies left half-made by a run that was killed go too.
void RunBackup::removeOldRuns() const {
    std::error_code ec;
    std::vector<std::pair<std::int64_t, fs::path>> runs;
    for (const auto& entry : fs::directory_iterator(root_, ec)) {
        if (!entry.is_directory(ec) || !isRunFolder(entry.path().filename().string())) continue;
        for (const auto& file : fs::recursive_directory_iterator(entry.path(), ec))
            if (file.path().extension() == ".partial") removeIfLeftOver(file.path());
        if (entry.path() != folder_) runs.emplace_back(madeAt(entry.path()), entry.path());
    }
    std::sort(runs.begin(), runs.end());
    const auto excess = static_cast<std::ptrdiff_t>(runs.size()) + 1 - keptRuns_;
    for (std::ptrdiff_t i = 0; i < excess; ++i) fs::remove_all(runs[static_cast<std::size_t>(i)].second, ec);
}

fs::path RunBackup::copy(const fs::path& file) {
    if (folder_.empty()) makeFolder();
    // Two files of one name in a run: the second goes into a numbered subfolder.
    fs::path target = folder_ / file.filename();
    for (int n = 2; fs::exists(target); ++n) {
        std::error_code ec;
        const fs::path sub = folder_ / std::to_string(n);
        fs::create_directory(sub, ec);
        if (ec) fail(file, "cannot create " + sub.string(), ec.value());
        target = sub / file.filename();
    }
    copyBytes(file, target);
    std::ofstream note(folder_ / "originals.txt", std::ios::app);
    note << fs::relative(target, folder_).string() << '\t' << file.string() << '\n';
    note.flush();
    if (note) syncFile(folder_ / "originals.txt");
    if (!note) {
        std::error_code ec;
        fs::remove(target, ec);
        fail(file, "cannot note its original path in " + (folder_ / "originals.txt").string(),
             errno ? errno : EIO);
    }
    return target;
}

}  // namespace sheets
