#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "sheets/application.h"
#include "sheets/calc/calc_application.h"
#include "sheets/calc/tools/workbook_maker.h"

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

using namespace sheets::calc::tools;

class FakeDesktop : public sheets::Desktop {
public:
    bool askSaveChanges(const std::u16string& fileName) override {
        asked.push_back(fileName);
        return answer;
    }
    std::vector<std::u16string> asked;
    bool answer = false;
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

inline timespec mtimeOf(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mtim;
}

inline bool displayAvailable() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"})
        if (const char* v = std::getenv(name); v && *v) return true;
    return false;
}

inline bool exists(const std::string& path) {
    return std::filesystem::exists(path);
}

inline std::string lockOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return path.substr(0, slash + 1) + ".~lock." + path.substr(slash + 1) + "#";
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

// Everything an office leaves while it runs: its process, guard, profile and pipe sockets (those
// named when it was seen running).
inline std::vector<std::string> officeTraces(const OfficeInfo& info,
                                             const std::vector<std::string>& sockets = {}) {
    std::vector<std::string> traces;
    for (const auto& s : sockets)
        if (exists(s)) traces.push_back("socket " + s);
    if (processAlive(info.officePid)) traces.push_back("office process " + std::to_string(info.officePid));
    if (processAlive(info.guardPid)) traces.push_back("guard process " + std::to_string(info.guardPid));
    if (exists(info.profileDir)) traces.push_back("profile " + info.profileDir);
    const std::string pipe = "/tmp/OSL_PIPE_" + std::to_string(::getuid()) + "_" + info.pipeName;
    if (exists(pipe)) traces.push_back("pipe " + pipe);
    return traces;
}

}  // namespace sheets::calc::testing
