#pragma once
// What the tests against the real office share: a desktop that answers for the user, temporary
// folders, files as bytes, and the traces an office leaves.

#include <spawn.h>
#include <sys/types.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "sheets/application.h"
#include "sheets/calc/calc_application.h"
#include "sheets/file_locks.h"
#include "workbook_maker.h"

namespace sheets {
inline void PrintTo(const CellValue& v, std::ostream* os) {
    static const char* kinds[] = {"Empty", "Number", "Text", "Date", "Boolean", "Error"};
    *os << kinds[static_cast<int>(v.kind())];
    if (v.kind() == CellValue::Kind::Text) {
        const std::u16string& t = v.textValue();
        *os << " \"" << std::string(t.begin(), t.end()) << "\"";
    } else if (v.kind() != CellValue::Kind::Empty && v.kind() != CellValue::Kind::Error) {
        *os << " " << v.numberValue();
    }
}
}  // namespace sheets

namespace sheets::calc::testing {

class FakeDesktop : public sheets::Desktop {
public:
    bool askSaveChanges(const std::u16string& fileName) override {
        asked.push_back(fileName);
        return answer;
    }
    bool stopRequested() override { return stop; }
    std::vector<std::u16string> asked;
    bool answer = false;
    std::atomic<bool> stop = false;
};

// A fresh folder for one test, removed afterwards.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "pellucor-calc-test-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

inline std::string bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline bool displayAvailable() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"})
        if (const char* v = std::getenv(name); v && *v) return true;
    return false;
}

// An application whose office runs headless although a display is available: it finds none.
inline std::unique_ptr<sheets::Application> headlessApplication(sheets::Desktop& desktop) {
    struct Hidden {
        std::vector<std::pair<const char*, std::string>> saved;
        Hidden() {
            for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"})
                if (const char* v = std::getenv(name)) saved.emplace_back(name, v), ::unsetenv(name);
        }
        ~Hidden() {
            for (const auto& [name, value] : saved) ::setenv(name, value.c_str(), 1);
        }
    } hidden;
    return CalcApplicationFactory().create(desktop);
}

inline bool exists(const std::string& path) {
    return std::filesystem::exists(path);
}

inline std::string lockOf(const std::string& path) {
    return sheets::officeLockPath(path);
}

// Alive and not a zombie.
inline bool processAlive(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return false;
    const auto paren = line.rfind(')');
    return paren != std::string::npos && paren + 2 < line.size() && line[paren + 2] != 'Z';
}

// The named local sockets that a process has open.
inline std::vector<std::string> socketsOf(pid_t pid) {
    std::vector<std::string> inodes, paths;
    std::error_code ec;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
        const std::string target = std::filesystem::read_symlink(fd.path(), ec).string();
        if (target.rfind("socket:[", 0) == 0) inodes.push_back(target.substr(8, target.size() - 9));
    }
    std::ifstream table("/proc/net/unix");
    std::string line;
    while (std::getline(table, line)) {
        const auto slash = line.find(" /");
        if (slash == std::string::npos) continue;
        for (const auto& inode : inodes)
            if (line.find(" " + inode + " ") != std::string::npos) paths.push_back(line.substr(slash + 1));
    }
    return paths;
}

// Starts the program args[0] with its arguments in the environment env, to which this process's is
// added when inherit; its pid, or -1.
inline pid_t spawn(std::vector<std::string> args, std::vector<std::string> env, bool inherit) {
    for (char** e = environ; *e && inherit; ++e) env.emplace_back(*e);
    std::vector<char*> argv, envp;
    for (auto& a : args) argv.push_back(a.data());
    for (auto& e : env) envp.push_back(e.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    pid_t pid = -1;
    return ::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), envp.data()) == 0 ? pid : -1;
}

// An office as a program that holds it tells another: its pids, profile and pipe on one line.
inline void writeOfficeInfo(const std::string& path, const OfficeInfo& info) {
    std::ofstream(path + ".tmp") << info.officePid << ' ' << info.guardPid << ' ' << info.profileDir << ' '
                                 << info.pipeName << '\n';
    std::filesystem::rename(path + ".tmp", path);
}
// What writeOfficeInfo wrote, or an office with no pid while nothing was written.
inline OfficeInfo readOfficeInfo(const std::string& path) {
    OfficeInfo info;
    if (std::ifstream in(path); !(in >> info.officePid >> info.guardPid >> info.profileDir >> info.pipeName))
        info.officePid = -1;
    return info;
}

// Everything an office leaves while it runs: its process, guard, profile and pipe, and the named
// files (its pipe sockets as seen while it ran, lock files), polled until none is left or the limit
// passes.
inline std::vector<std::string> officeTraces(const OfficeInfo& info, std::chrono::milliseconds limit,
                                             std::vector<std::string> files = {}) {
    files.push_back(info.profileDir);
    files.push_back("/tmp/OSL_PIPE_" + std::to_string(::getuid()) + "_" + info.pipeName);
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        std::vector<std::string> traces;
        for (pid_t pid : {info.officePid, info.guardPid})
            if (processAlive(pid)) traces.push_back("process " + std::to_string(pid));
        for (const auto& file : files)
            if (exists(file)) traces.push_back(file);
        if (traces.empty() || std::chrono::steady_clock::now() > deadline) return traces;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

}  // namespace sheets::calc::testing
