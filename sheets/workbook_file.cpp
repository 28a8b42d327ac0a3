#include "sheets/workbook_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "sheets/failure.h"
#include "sheets/utf8.h"

namespace sheets {

std::string existingWorkbookFile(const std::u16string& given) {
    const std::string path = toUtf8(given);
    const auto fail = [&](const std::string& why, FailureCause::Kind kind) {
        return Failure("cannot open workbook " + path + ": " + why, causeAbout(kind, path));
    };
    if (path.empty()) throw fail("the path is empty", FailureCause::Kind::FileMissing);
    char resolved[PATH_MAX];
    if (!::realpath(path.c_str(), resolved)) throw fail(std::strerror(errno), causeOfErrno(errno, path).kind);
    struct stat st {};
    if (::stat(resolved, &st) != 0 || !S_ISREG(st.st_mode))
        throw fail("not a regular file", FailureCause::Kind::NotAWorkbook);
    if (::access(resolved, R_OK) != 0) throw fail(std::strerror(errno), causeOfErrno(errno, path).kind);
    if (st.st_size == 0) throw fail("the file is empty", FailureCause::Kind::NotAWorkbook);
    return resolved;
}

}  // namespace sheets
