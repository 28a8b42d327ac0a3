#include "sheets/failure.h"

#include <cerrno>

#include "sheets/utf8.h"

namespace sheets {

FailureCause causeAbout(FailureCause::Kind kind, const std::string& path) {
    return FailureCause(kind, fromUtf8(path.substr(path.rfind('/') + 1)));
}

FailureCause causeOfErrno(int error, const std::string& path) {
    using Kind = FailureCause::Kind;
    Kind kind = Kind::Unknown;
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            kind = Kind::FileMissing;
            break;
        case EACCES:
        case EPERM:
            kind = Kind::NoPermission;
            break;
        case ENOSPC:
        case EDQUOT:
            kind = Kind::NoSpace;
            break;
        case EROFS:
            kind = Kind::ReadOnly;
            break;
        default:
            break;
    }
    FailureCause cause = causeAbout(kind, path);
    cause.systemError = error;
    return cause;
}

}  // namespace sheets
