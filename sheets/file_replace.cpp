#include "sheets/file_replace.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <vector>

#include "sheets/failure.h"

namespace sheets {
namespace {

constexpr std::string_view kPrefix = ".pellucor-";

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

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether `path` still names the file open as `fd`.
bool names(const std::string& path, int fd) {
    struct stat held {
    }, named{};
    return ::fstat(fd, &held) == 0 && ::lstat(path.c_str(), &named) == 0 && sameFile(held, named);
}

// A name NewFile makes: ".pellucor-", six letters or digits, then the end or a dot (the
// workbook's extension, and what libzip appended to it for a temporary file of its own).
bool isTemporaryName(std::string_view name) {
    const auto tail = kPrefix.size() + 6;
    if (!name.starts_with(kPrefix) || name.size() < tail) return false;
    const auto random = name.substr(kPrefix.size(), 6);
    return std::all_of(random.begin(), random.end(),
                       [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }) &&
           (name.size() == tail || name[tail] == '.');
}

void removeIfUnlocked(const std::string& path) noexcept {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        names(path, fd))
        ::unlink(path.c_str());
    ::close(fd);
}

// Files an earlier write into the folder left when it was cut short (killed, power lost). A write
// under way holds a lock on its file, so only the unlocked ones go.
void removeStaleTemporaries(const std::string& folder) noexcept {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    while (const dirent* entry = ::readdir(dir)) {
        if (isTemporaryName(entry->d_name)) removeIfUnlocked(folder + "/" + entry->d_name);
    }
    ::closedir(dir);
}

void syncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// The names of a file's extended attributes (none where the file system has none).
std::vector<std::string> attributeNames(const std::string& path, int fd) {
    for (;;) {
        const auto size = fd >= 0 ? ::flistxattr(fd, nullptr, 0) : ::listxattr(path.c_str(), nullptr, 0);
        if (size <= 0) return {};
        std::string list(static_cast<std::size_t>(size), '\0');
        const auto got = fd >= 0 ? ::flistxattr(fd, list.data(), list.size())
                                 : ::listxattr(path.c_str(), list.data(), list.size());
        if (got < 0 && errno == ERANGE) continue;  // grew in between
        std::vector<std::string> out;
        for (std::size_t pos = 0; got > 0 && pos < static_cast<std::size_t>(got);
             pos = list.find('\0', pos) + 1)
            out.emplace_back(list.c_str() + pos);
        return out;
    }
}

std::optional<std::string> attributeValue(const std::string& path, const std::string& name) {
    for (;;) {
        const auto size = ::getxattr(path.c_str(), name.c_str(), nullptr, 0);
        if (size < 0) return std::nullopt;
        std::string value(static_cast<std::size_t>(size), '\0');
        const auto got = ::getxattr(path.c_str(), name.c_str(), value.data(), value.size());
        if (got >= 0) return value.substr(0, static_cast<std::size_t>(got));
        if (errno != ERANGE) return std::nullopt;
    }
}

// The new file beside the original, locked while it is written and removed unless it replaced the
// original.
class NewFile {
public:
    explicit NewFile(const std::string& original) : original_(original) {
        const std::string extension = extensionOf(original);
        for (int attempt = 0; fd_ < 0; ++attempt) {
            auto pattern = folderOf(original) + "/" + std::string(kPrefix) + "XXXXXX" + extension;
            const int fd = ::mkostemps(pattern.data(), static_cast<int>(extension.size()), O_CLOEXEC);
            if (fd < 0) fail("cannot create a file beside " + original, original, errno);
            // Another write's removal of stale files may take it before it is locked: then again.
            if (::flock(fd, LOCK_EX) == 0 && names(pattern, fd)) {
                fd_ = fd;
                path_ = pattern;
            } else {
                ::close(fd);
                if (attempt == 9) fail("cannot keep a file beside " + original, original, EAGAIN);
            }
        }
    }
    ~NewFile() {
        if (!path_.empty()) ::unlink(path_.c_str());
        ::close(fd_);
    }
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    const std::string& path() const { return path_; }

    void sync(const std::string& shownPath) const {
        if (!names(path_, fd_))
            throw Failure(path_ + " was replaced while it was written",
                          causeAbout(FailureCause::Kind::Unknown, shownPath));
        if (::fsync(fd_) != 0) fail("cannot sync " + path_, shownPath, errno);
    }

    // Gives the new file the original's owner, permissions and extended attributes. False when a
    // rename would not keep the original as it is: it has other names, or something of it cannot
    // be set here.
    bool takeOver(const struct stat& was, const std::string& shownPath) const {
        // The owner can only be given where the system allows it (as root, or a group of one's own).
        bool keeps = was.st_nlink == 1 && ::fchown(fd_, was.st_uid, was.st_gid) == 0;
        if (::fchmod(fd_, was.st_mode & 07777) != 0)
            fail("cannot set the permissions of " + path_, shownPath, errno);
        for (const auto& name : attributeNames(path_, fd_)) {
            // Inherited from the folder's default ACL, say, which the original did not have.
            if (!attributeValue(original_, name) && ::fremovexattr(fd_, name.c_str()) != 0) keeps = false;
        }
        for (const auto& name : attributeNames(original_, -1)) {
            const auto value = attributeValue(original_, name);
            if (!value) {
                keeps = false;
            } else if (::fsetxattr(fd_, name.c_str(), value->data(), value->size(), 0) != 0) {
                if (errno == ENOSPC || errno == EDQUOT)
                    fail("cannot set " + name + " on " + path_, shownPath, errno);
                keeps = false;
            }
        }
        return keeps;
    }

    void renameOver(const std::string& shownPath) {
        if (std::rename(path_.c_str(), original_.c_str()) != 0)
            fail("cannot rename " + path_ + " over " + original_, shownPath, errno);
        path_.clear();
    }

    // The new content written into the original itself, which so keeps its links, owner and
    // attributes. Room for it is taken first, so that a full disk stops it before anything changes.
    void copyInto(const std::string& shownPath) const {
        struct stat st {};
        if (::fstat(fd_, &st) != 0) fail("cannot read " + path_, shownPath, errno);
        const int to = ::open(original_.c_str(), O_WRONLY | O_CLOEXEC);
        if (to < 0) fail("cannot open " + original_, shownPath, errno);
        if (::fallocate(to, FALLOC_FL_KEEP_SIZE, 0, st.st_size) != 0 && errno != EOPNOTSUPP &&
            errno != ENOSYS) {
            const int error = errno;
            ::close(to);
            fail("no room for the new content of " + original_, shownPath, error);
        }
        const int error = copyTo(to, st.st_size);
        if (::close(to) != 0 && error == 0) fail("cannot write " + original_, shownPath, errno);
        if (error != 0)
            fail("cannot write " + original_ + " (its backup holds the original)", shownPath, error);
    }

private:
    // 0, or the errno of the step that failed.
    int copyTo(int to, off_t size) const {
        std::vector<char> buffer(1 << 20);
        for (off_t at = 0; at < size;) {
            const auto got = ::pread(fd_, buffer.data(), buffer.size(), at);
            if (got <= 0) return got == 0 ? EIO : errno;
            for (ssize_t done = 0; done < got;) {
                const auto put =
                    ::pwrite(to, buffer.data() + done, static_cast<std::size_t>(got - done), at + done);
                if (put < 0) return errno;
                done += put;
            }
            at += got;
        }
        if (::ftruncate(to, size) != 0 || ::fsync(to) != 0) return errno;
        return 0;
    }

    std::string original_;
    std::string path_;
    int fd_ = -1;
};

void refuseIfChanged(const std::string& target, const std::optional<FileIdentity>& expected,
                     const std::string& shownPath) {
    if (expected && identityOf(target) != expected)
        throw Failure(shownPath + " was changed by another program",
                      causeAbout(FailureCause::Kind::FileChanged, shownPath));
}

}  // namespace

void replaceFile(const std::string& path, const std::optional<FileIdentity>& expected,
                 const std::function<void(const std::string& newFile)>& write) {
    std::error_code error;
    const auto target = std::filesystem::canonical(path, error).string();
    if (error) fail("cannot find " + path, path, error.value());
    struct stat was {};
    if (::stat(target.c_str(), &was) != 0) fail("cannot stat " + target, path, errno);
    if (::access(target.c_str(), W_OK) != 0) fail(path + " is not writable", path, errno);
    refuseIfChanged(target, expected, path);
    removeStaleTemporaries(folderOf(target));
    NewFile out(target);
    write(out.path());
    out.sync(path);
    const bool renameKeepsAll = out.takeOver(was, path);
    // As late as can be: a save by another program in the meantime is not overwritten.
    refuseIfChanged(target, expected, path);
    if (renameKeepsAll) {
        out.renameOver(path);
    } else {
        out.copyInto(path);
    }
    syncFolder(folderOf(target));
}

}  // namespace sheets
