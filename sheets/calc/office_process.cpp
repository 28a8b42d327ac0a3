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

#include "office_guard_script.h"
#include "sheets/failure.h"

extern char** environ;

namespace sheets::calc {
namespace {

using namespace std::chrono_literals;

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

// The locale for the office when the program's own will not do, else "". The office maps file names
// through the character set it reads from LC_ALL, LC_CTYPE or LANG, so under a locale that is not
// UTF-8 (LANG=C, for one) it cannot reach a file with a Chinese name: it gets the same language in
// UTF-8 instead.
std::string officeLocale() {
    std::string locale = "C";
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"})
        if (const char* value = std::getenv(name); value && *value) {
            locale = value;
            break;
        }
    std::string base = locale.substr(0, locale.find_first_of(".@"));
    const auto dot = locale.find('.');
    std::string codeset =
        dot == std::string::npos ? "" : locale.substr(dot + 1, locale.find('@', dot) - dot - 1);
    std::transform(codeset.begin(), codeset.end(), codeset.begin(), ::tolower);
    if (codeset == "utf-8" || codeset == "utf8") return {};
    return (base == "POSIX" ? "C" : base) + ".UTF-8";
}

std::vector<char*> pointersTo(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (auto& s : strings) pointers.push_back(s.data());
    pointers.push_back(nullptr);
    return pointers;
}

// Both ends of a new pipe, closed on exec.
struct Pipe {
    Descriptor read, write;
};

Pipe makePipe() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        throw Failure(std::string("cannot create pipes for the office: ") + std::strerror(errno));
    return {Descriptor(fds[0]), Descriptor(fds[1])};
}

// A fresh profile: the registry seed, and the office's build so that its first start needs no restart.
void seedProfile(const std::string& profile) {
    makeDir(profile);
    makeDir(profile + "/user");
    makeDir(profile + "/user/extensions");
    writeFile(profile + "/user/registrymodifications.xcu", registrySeed());
    if (const std::string id = officeBuildId(); !id.empty())
        writeFile(profile + "/user/extensions/buildid", id);
}

// Starts the guard with the lifeline as its standard input and the handshake as its output, in a
// session of its own: a terminal's Ctrl+C or hang-up reaches the program, not the office.
pid_t spawnGuard(std::vector<std::string> args, int lifeline, int handshake) {
    const std::vector<char*> argv = pointersTo(args);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, lifeline, 0);
    posix_spawn_file_actions_adddup2(&actions, handshake, 1);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGUSR1, SIGCHLD, SIGQUIT}) sigaddset(&defaults, s);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, "/bin/bash", &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) throw Failure(std::string("cannot start the office guard /bin/bash: ") + std::strerror(rc));
    return pid;
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
    pipeName_ = "pellucor_" + std::to_string(::getpid()) + "_" + uniqueToken();
    try {
        seedProfile(stateDir_ + "/profile");
        startGuard();
    } catch (...) {
        if (guardPid_ > 0) {
            kill();
        } else {
            std::error_code ignored;
            std::filesystem::remove_all(stateDir_, ignored);
        }
        throw;
    }
}

OfficeProcess::~OfficeProcess() {
    if (!released_ && !reaped_) kill();
}

std::vector<std::string> OfficeProcess::guardArguments() const {
    const std::string token = stateDir_.substr(stateDir_.rfind('/') + 1);
    return {"bash",
            "-c",
            kGuardScript,
            "pellucor-office-guard",
            stateDir_,
            token,
            pipeName_,
            officeLocale(),
            LO_PROGRAM_DIR "/soffice.bin",
            "-env:UserInstallation=" + fileUrlOf(stateDir_ + "/profile"),
            headless_ ? "--headless" : "--invisible",
            "--norestore",
            "--nologo",
            "--nodefault",
            "--nolockcheck",
            "--accept=pipe,name=" + pipeName_ + ";urp;StarOffice.ComponentContext"};
}

void OfficeProcess::startGuard() {
    Pipe lifeline = makePipe();
    Pipe handshake = makePipe();
    guardPid_ = spawnGuard(guardArguments(), lifeline.read.get(), handshake.write.get());
    lifeline.read.reset();
    handshake.write.reset();
    lifeline_ = std::move(lifeline.write);
    officePid_ = readOfficePid(handshake.read.get());
    if (officePid_ <= 0) throw Failure("the office guard did not start " LO_PROGRAM_DIR "/soffice.bin");
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
        lifeline_.reset();
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
    lifeline_.reset();
    // The guard stays our child until the user ends the office: reap it whenever that is.
    std::thread([pid = guardPid_] {
        int status;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
}

}  // namespace sheets::calc
