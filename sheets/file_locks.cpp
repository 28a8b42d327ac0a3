#include "sheets/file_locks.h"

#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include "sheets/utf8.h"

namespace sheets {
namespace {

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string nameOf(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

std::optional<std::string> contentOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

FailureCause held(const std::string& path, std::u16string program) {
    FailureCause cause = causeAbout(FailureCause::Kind::HeldByProgram, path);
    cause.program = std::move(program);
    return cause;
}

// "<office user>,<system user>,<host>,<since>,<profile>;", the office user often empty
FailureCause officeHold(const std::string& path, const std::string& lock) {
    std::vector<std::string> fields;
    std::istringstream is(lock.substr(0, lock.find(';')));
    for (std::string f; std::getline(is, f, ',');) fields.push_back(f);
    const auto field = [&](std::size_t i) { return i < fields.size() ? fields[i] : std::string(); };
    FailureCause cause = held(path, u"LibreOffice");
    cause.user = fromUtf8(field(0).empty() ? field(1) : field(0));
    cause.since = fromUtf8(field(3));
    return cause;
}

// Excel's owner file: the user's name in the Windows code page after a length byte, then at offset
// 55 its length again as a 16-bit number and the name in UTF-16LE (165 bytes in all).
FailureCause excelHold(const std::string& path, const std::string& owner) {
    FailureCause cause = held(path, u"Microsoft Excel");
    const auto byte = [&](std::size_t i) {
        return i < owner.size() ? static_cast<unsigned char>(owner[i]) : 0u;
    };
    const unsigned length = byte(55) | byte(56) << 8;
    if (length == 0 || length > 52 || owner.size() < 57 + 2 * length) return cause;
    for (unsigned i = 0; i < length; ++i)
        cause.user.push_back(static_cast<char16_t>(byte(57 + 2 * i) | byte(58 + 2 * i) << 8));
    return cause;
}

}  // namespace

std::string officeLockPath(const std::string& path) {
    return folderOf(path) + ".~lock." + nameOf(path) + "#";
}

std::optional<FailureCause> heldByAnotherProgram(const std::string& path) {
    const std::string folder = folderOf(path), name = nameOf(path);
    if (const auto lock = contentOf(officeLockPath(path))) return officeHold(path, *lock);
    if (const auto owner = contentOf(folder + "~$" + name)) return excelHold(path, *owner);
    if (contentOf(folder + ".~" + name)) return held(path, u"WPS Office");
    return std::nullopt;
}

std::optional<FailureCause> whyNotStorable(const std::string& path) {
    if (::access(path.c_str(), F_OK) != 0) return std::nullopt;
    if (auto hold = heldByAnotherProgram(path)) return hold;
    if (::access(path.c_str(), W_OK) != 0) {
        FailureCause cause = causeOfErrno(errno, path);
        if (cause.kind == FailureCause::Kind::NoPermission) cause.kind = FailureCause::Kind::ReadOnly;
        return cause;
    }
    const std::string folder = folderOf(path).empty() ? std::string(".") : folderOf(path);
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        FailureCause cause = causeOfErrno(errno, path);
        if (cause.kind == FailureCause::Kind::NoPermission) cause.kind = FailureCause::Kind::FolderReadOnly;
        return cause;
    }
    return std::nullopt;
}

}  // namespace sheets
