#include "sheets/calc/office_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>
#include <vector>

#include "sheets/failure.h"

extern char** environ;

namespace sheets::calc {
namespace {

using namespace std::chrono_literals;

// The guard: bash, because it can wait for its office and for the program's pipe at once.
// Arguments: state folder, a token naming the profile in lock files, pipe name, the office command.
// Standard input is the program's pipe; the first line on standard output is the office's pid.
constexpr const char* kGuardScript = R"GUARD(
state=$1 token=$2 pipe=$3
shift 3
exec 3<&0 </dev/null
# Its temporary files go into the state folder too, so that nothing outlives the cleanup.
mkdir -p "$state/tmp"
env -u QT_QPA_PLATFORM SAL_ENABLE_FILE_LOCKING=1 TMPDIR="$state/tmp" "$@" 3<&- >"$state/office.log" 2>&1 &
office=$!
echo "$office"
# An office left running for the user must not hold the program's output open (a terminal, or the
# pipe of whoever waits for the program to finish).
exec >/dev/null 2>&1
guard=$$
killer=
# The program is gone: an office that shows no workbook goes too, by TERM and after 10 s by KILL.
program_gone() {
    [ -e "$state/shown" ] && return
    kill -TERM "$office" 2>/dev/null
    mkfifo "$state/pacer" 2>/dev/null
    ( read -r -t 10 -u 4 4<>"$state/pacer"; kill -KILL "$office" 2>/dev/null ) &
    killer=$!
}
trap program_gone USR1
( while read -r -u 3 _; do :; done; kill -USR1 "$guard" 2>/dev/null ) &
reader=$!
exec 3<&-
while kill -0 "$office" 2>/dev/null; do wait "$office"; done
kill "$reader" $killer 2>/dev/null
# Lock files that this office left behind (they name its profile) and its pipe.
if [ -f "$state/documents" ]; then
    while IFS= read -r doc; do
        lock="${doc%/*}/.~lock.${doc##*/}#"
        if [ -f "$lock" ] && grep -qF -- "$token" "$lock" 2>/dev/null; then rm -f -- "$lock"; fi
    done <"$state/documents"
fi
rm -f -- "/tmp/OSL_PIPE_$(id -u)_$pipe"
if [ -f "$state/pipes" ]; then
    while IFS= read -r p; do if [ -S "$p" ]; then rm -f -- "$p"; fi; done <"$state/pipes"
fi
rm -rf -- "$state"
)GUARD";

std::string temporaryRoot() {
    const char* tmp = std::getenv("TMPDIR");
    return tmp && *tmp ? tmp : "/tmp";
}

std::string readAll(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out.flush()) throw Failure("cannot write " + path);
}

void makeDir(const std::string& path) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        throw Failure("cannot create " + path + ": " + std::strerror(errno));
}

// The build of the installed office: a profile that names it needs no restart on its first start.
std::string officeBuildId() {
    std::istringstream rc(readAll(LO_PROGRAM_DIR "/versionrc"));
    for (std::string line; std::getline(rc, line);)
        if (line.rfind("buildid=", 0) == 0) return line.substr(8);
    return {};
}

// The settings a fresh profile starts with: no first-start work, no tips or recovery, macros off; a
// store that changes no more of a workbook than it must (an .xls keeps its VBA storage byte for byte
// instead of one rebuilt from the office's Basic; rows keep the heights the file gives them, which
// LibreOffice 25.2 would otherwise fit at load; 7.4 does not know that item and ignores it); a user
// interface in Chinese, beside the program's own (the language chosen in the options, from which the
// office sets ooLocale at start). The UI language only: numbers and dates are still read in the locale
// the office takes from the system.
std::string registrySeed() {
    auto item = [](const char* path, const char* name, const char* value) {
        return std::string("<item oor:path=\"") + path + "\"><prop oor:name=\"" + name +
               "\" oor:op=\"fuse\"><value>" + value + "</value></prop></item>\n";
    };
    return std::string(
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<oor:items xmlns:oor=\"http://openoffice.org/2001/registry\" "
               "xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
               "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n") +
           item("/org.openoffice.Setup/Product", "ooSetupLastVersion", LO_MAJOR_MINOR) +
           item("/org.openoffice.Office.Common/Misc", "FirstRun", "false") +
           item("/org.openoffice.Office.Common/Misc", "ShowTipOfTheDay", "false") +
           item("/org.openoffice.Office.Recovery/AutoSave", "Enabled", "false") +
           item("/org.openoffice.Office.Common/Security/Scripting", "MacroSecurityLevel", "3") +
           item("/org.openoffice.Office.Calc/Filter/Import/VBA", "UseExport", "false") +
           item("/org.openoffice.Office.Calc/Formula/Load", "RecalcOptimalRowHeightMode", "1") +
           item("/org.openoffice.Office.Linguistic/General", "UILocale", "zh-CN") + "</oor:items>\n";
}

// file:// URL of an absolute path, with every byte outside the unreserved set percent-encoded.
std::string fileUrlOf(const std::string& path) {
    static const char* hex = "0123456789ABCDEF";
    std::string url = "file://";
    for (unsigned char c : path) {
        if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
            url += static_cast<char>(c);
        } else {
            url += '%';
            url += hex[c >> 4];
            url += hex[c & 15];
        }
    }
    return url;
}

std::string uniqueToken() {
    std::random_device rd;
    std::ostringstream os;
    os << std::hex << rd() << rd();
    return os.str();
}

// pid from the guard's first line, or -1 when the guard ends or stays silent.
pid_t readOfficePid(int fd) {
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (line.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return -1;
        pollfd p{fd, POLLIN, 0};
        const int r = ::poll(&p, 1, static_cast<int>(left.count()));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return -1;
        char buf[64];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return -1;
        line.append(buf, static_cast<std::size_t>(n));
    }
    return static_cast<pid_t>(std::atol(line.c_str()));
}

// Paths of the named local sockets a process has open: the inodes of its socket descriptors, looked up
// in the kernel's table of Unix sockets.
std::vector<std::string> socketPathsOf(pid_t pid) {
    std::vector<std::string> inodes;
    const std::string fdDir = "/proc/" + std::to_string(pid) + "/fd";
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(fdDir, ec)) {
        const std::string target = std::filesystem::read_symlink(entry.path(), ec).string();
        if (!ec && target.rfind("socket:[", 0) == 0) inodes.push_back(target.substr(8, target.size() - 9));
    }
    std::vector<std::string> paths;
    std::istringstream table(readAll("/proc/net/unix"));
    std::string line;
    std::getline(table, line);  // header
    while (std::getline(table, line)) {
        // Num RefCount Protocol Flags Type St Inode Path
        std::istringstream fields(line);
        std::string num, refs, protocol, flags, type, state, inode, path;
        if (!(fields >> num >> refs >> protocol >> flags >> type >> state >> inode >> path)) continue;
        if (path.rfind("/", 0) == 0 && std::find(inodes.begin(), inodes.end(), inode) != inodes.end())
            paths.push_back(path);
    }
    return paths;
}

}  // namespace

OfficeProcess::OfficeProcess(bool headless) : headless_(headless) {
    if (::access(LO_PROGRAM_DIR "/soffice.bin", X_OK) != 0)
        throw Failure("LibreOffice is not installed: " LO_PROGRAM_DIR
                      "/soffice.bin is missing (package libreoffice-calc)");
    std::string pattern = temporaryRoot() + "/pellucor-office-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        throw Failure("cannot create a folder for the office profile: " + pattern);
    stateDir_ = pattern;
    const std::string token = stateDir_.substr(stateDir_.rfind('/') + 1);
    pipeName_ = "pellucor_" + std::to_string(::getpid()) + "_" + uniqueToken();

    int lifeline[2] = {-1, -1};
    int handshake[2] = {-1, -1};
    try {
        makeDir(stateDir_ + "/profile");
        makeDir(stateDir_ + "/profile/user");
        makeDir(stateDir_ + "/profile/user/extensions");
        writeFile(stateDir_ + "/profile/user/registrymodifications.xcu", registrySeed());
        if (const std::string id = officeBuildId(); !id.empty())
            writeFile(stateDir_ + "/profile/user/extensions/buildid", id);

        if (::pipe2(lifeline, O_CLOEXEC) != 0 || ::pipe2(handshake, O_CLOEXEC) != 0)
            throw Failure(std::string("cannot create pipes for the office: ") + std::strerror(errno));

        std::vector<std::string> args = {
            "bash",
            "-c",
            kGuardScript,
            "pellucor-office-guard",
            stateDir_,
            token,
            pipeName_,
            LO_PROGRAM_DIR "/soffice.bin",
            "-env:UserInstallation=" + fileUrlOf(stateDir_ + "/profile"),
            headless ? "--headless" : "--invisible",
            "--norestore",
            "--nologo",
            "--nodefault",
            "--nolockcheck",
            "--accept=pipe,name=" + pipeName_ + ";urp;StarOffice.ComponentContext"};
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, lifeline[0], 0);
        posix_spawn_file_actions_adddup2(&actions, handshake[1], 1);
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        // Its own session: a terminal's Ctrl+C or hang-up reaches the program, not the office.
        sigset_t none, defaults;
        sigemptyset(&none);
        sigemptyset(&defaults);
        for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGUSR1, SIGCHLD, SIGQUIT}) sigaddset(&defaults, s);
        posix_spawnattr_setsigmask(&attr, &none);
        posix_spawnattr_setsigdefault(&attr, &defaults);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
        const int rc = ::posix_spawn(&guardPid_, "/bin/bash", &actions, &attr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attr);
        if (rc != 0)
            throw Failure(std::string("cannot start the office guard /bin/bash: ") + std::strerror(rc));
        ::close(lifeline[0]);
        ::close(handshake[1]);
        lifeline[0] = handshake[1] = -1;
        lifeline_ = lifeline[1];
        officePid_ = readOfficePid(handshake[0]);
        ::close(handshake[0]);
        handshake[0] = -1;
        if (officePid_ <= 0) throw Failure("the office guard did not start " LO_PROGRAM_DIR "/soffice.bin");
    } catch (...) {
        for (int fd : {lifeline[0], handshake[0], handshake[1]})
            if (fd >= 0) ::close(fd);
        if (guardPid_ > 0) {
            kill();
        } else {
            std::string rm = "rm -rf -- '" + stateDir_ + "'";
            if (std::system(rm.c_str()) != 0) { /* best effort */
            }
        }
        throw;
    }
}

OfficeProcess::~OfficeProcess() {
    if (released_ || reaped_) {
        if (lifeline_ >= 0) ::close(lifeline_);
        return;
    }
    kill();
}

void OfficeProcess::reap(bool block) {
    if (reaped_ || guardPid_ <= 0) return;
    int status = 0;
    pid_t r;
    do {
        r = ::waitpid(guardPid_, &status, block ? 0 : WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == guardPid_ || (r < 0 && errno == ECHILD)) {
        reaped_ = true;
        if (lifeline_ >= 0) ::close(lifeline_);
        lifeline_ = -1;
    }
}

bool OfficeProcess::running() {
    reap(false);
    return !reaped_;
}

bool OfficeProcess::waitForEnd(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (running()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

void OfficeProcess::kill() {
    if (released_) return;
    setShown(false);
    if (officePid_ > 0 && running()) ::kill(officePid_, SIGTERM);
    if (!waitForEnd(10s) && officePid_ > 0) {
        ::kill(officePid_, SIGKILL);
        if (!waitForEnd(5s)) {
            ::kill(guardPid_, SIGKILL);
            reap(true);
        }
    }
}

void OfficeProcess::setShown(bool shown) {
    if (reaped_) return;
    const std::string marker = stateDir_ + "/shown";
    if (shown) {
        writeFile(marker, "");
    } else {
        ::unlink(marker.c_str());
    }
}

void OfficeProcess::recordDocument(const std::string& path) {
    std::ofstream out(stateDir_ + "/documents", std::ios::app);
    out << path << '\n';
}

void OfficeProcess::recordPipes() {
    std::ofstream out(stateDir_ + "/pipes", std::ios::app);
    for (const auto& path : socketPathsOf(officePid_)) out << path << '\n';
}

void OfficeProcess::release() {
    if (released_ || reaped_) return;
    released_ = true;
    ::close(lifeline_);
    lifeline_ = -1;
    // The guard stays our child until the user ends the office: reap it whenever that is.
    std::thread([pid = guardPid_] {
        int status;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
}

std::string OfficeProcess::lockFilePath(const std::string& documentPath) {
    const auto slash = documentPath.rfind('/');
    return documentPath.substr(0, slash + 1) + ".~lock." + documentPath.substr(slash + 1) + "#";
}

}  // namespace sheets::calc
