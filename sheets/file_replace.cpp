#include "sheets/file_replace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "sheets/failure.h"

namespace sheets {
namespace {

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

std::string extensionOf(const std::string& path) {
    const auto slash = path.rfind('/'), dot = path.rfind('.');
    return dot == std::string::npos || (slash != std::string::npos && dot < slash) ? "" : path.substr(dot);
}

[[noreturn]] void fail(const std::string& what, const std::string& path, int error) {
    throw Failure(what + ": " + std::strerror(error), causeOfErrno(error, path));
}

void syncFile(const std::string& path, const std::string& original, const struct stat& was) {
    const int fd = ::open(path.c_str(), O_RDWR);
    if (fd < 0) fail("cannot open " + path, original, errno);
    // The owner can only be kept where the system allows it (as root); the mode always is.
    if (::fchown(fd, was.st_uid, was.st_gid) != 0) errno = 0;
    const bool kept = ::fchmod(fd, was.st_mode & 07777) == 0;
    const int modeError = errno;
    const bool synced = kept && ::fsync(fd) == 0;
    const int error = kept ? errno : modeError;
    ::close(fd);
    if (!synced)
        fail(std::string("cannot ") + (kept ? "sync " : "set the permissions of ") + path, original, error);
}

void syncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// The new file beside the original, removed again unless it was renamed over it.
class NewFile {
public:
    explicit NewFile(const std::string& original) {
        const std::string extension = extensionOf(original);
        auto pattern = folderOf(original) + "/.pellucor-XXXXXX" + extension;
        const int fd = ::mkstemps(pattern.data(), static_cast<int>(extension.size()));
        if (fd < 0) fail("cannot create a file beside " + original, original, errno);
        ::close(fd);
        path_ = pattern;
    }
    ~NewFile() {
        if (!path_.empty()) std::remove(path_.c_str());
    }
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    const std::string& path() const { return path_; }
    void renameOver(const std::string& original) {
        if (std::rename(path_.c_str(), original.c_str()) != 0)
            fail("cannot rename " + path_ + " over " + original, original, errno);
        path_.clear();
    }

private:
    std::string path_;
};

}  // namespace

void replaceFile(const std::string& path, const std::optional<FileIdentity>& expected,
                 const std::function<void(const std::string& newFile)>& write) {
    std::error_code error;
    const auto target = std::filesystem::canonical(path, error).string();
    if (error) fail("cannot find " + path, path, error.value());
    struct stat was {};
    if (::stat(target.c_str(), &was) != 0) fail("cannot stat " + target, path, errno);
    if (::access(target.c_str(), W_OK) != 0) fail(path + " is not writable", path, errno);
    const auto changed = [&] { return expected && identityOf(target) != expected; };
    if (changed())
        throw Failure(path + " was changed by another program",
                      causeAbout(FailureCause::Kind::FileChanged, path));
    NewFile out(target);
    write(out.path());
    syncFile(out.path(), path, was);
    // As late as can be: a save by another program in the meantime is not overwritten.
    if (changed())
        throw Failure(path + " was changed by another program",
                      causeAbout(FailureCause::Kind::FileChanged, path));
    out.renameOver(target);
    syncFolder(folderOf(target));
}

}  // namespace sheets
