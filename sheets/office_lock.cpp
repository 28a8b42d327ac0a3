#include "sheets/office_lock.h"

#include <unistd.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include "sheets/utf8.h"

namespace sheets {

std::string officeLockPath(const std::string& documentPath) {
    const auto slash = documentPath.rfind('/');
    return documentPath.substr(0, slash + 1) + ".~lock." + documentPath.substr(slash + 1) + "#";
}

Failure storeRefusal(const std::string& path) {
    const std::string lock = officeLockPath(path);
    std::ifstream in(lock);
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (content.empty()) {
        const bool fileWritable = ::access(path.c_str(), W_OK) == 0;
        return Failure(
            "cannot save " + path + ": it was opened read-only",
            causeAbout(fileWritable ? FailureCause::Kind::NoPermission : FailureCause::Kind::ReadOnly, path));
    }
    std::vector<std::string> fields;
    std::istringstream is(content.substr(0, content.find(';')));
    for (std::string f; std::getline(is, f, ',');) fields.push_back(f);
    auto field = [&](std::size_t i) { return i < fields.size() ? fields[i] : std::string(); };
    const std::string user = field(0).empty() ? field(1) : field(0);
    FailureCause cause = causeAbout(FailureCause::Kind::LockedByUser, path);
    cause.user = fromUtf8(user);
    cause.since = fromUtf8(field(3));
    return Failure("cannot save " + path + ": it is locked by " +
                       (user.empty() ? std::string("an unnamed user") : user) + " on " + field(2) +
                       " since " + field(3) + " (lock file " + lock + ", office profile " + field(4) + ")",
                   cause);
}

}  // namespace sheets
