#include "cli/children.h"

#include <glob.h>
#include <algorithm>
#include <filesystem>
#include <optional>

#include "run/run_report.h"
#include "sheets/file_identity.h"
#include "sheets/file_locks.h"
#include "sheets/utf8.h"

namespace cli {
namespace {

namespace fs = std::filesystem;

bool isWorkbookName(const fs::path& path) {
    const std::string name = path.filename().string();
    if (name.rfind("~$", 0) == 0 || name.rfind(".~lock.", 0) == 0) return false;
    std::string suffix = path.extension().string();
    std::transform(suffix.begin(), suffix.end(), suffix.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    for (const char* known : {".xls", ".xlsx", ".xlsm", ".ods", ".csv"})
        if (suffix == known) return true;
    return false;
}

bool sameFile(const std::string& a, const std::string& b) {
    const auto x = sheets::identityOf(a), y = sheets::identityOf(b);
    return x && y && x->device == y->device && x->inode == y->inode;
}

std::vector<std::string> folderWorkbooks(const std::string& folder) {
    std::vector<std::string> out;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error))
        if (entry.is_regular_file() && isWorkbookName(entry.path())) out.push_back(entry.path().string());
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<std::string> globbed(const std::string& pattern) {
    std::vector<std::string> out;
    glob_t found{};
    if (::glob(pattern.c_str(), 0, nullptr, &found) == 0)
        for (std::size_t i = 0; i < found.gl_pathc; ++i)
            if (fs::is_regular_file(found.gl_pathv[i]) && isWorkbookName(found.gl_pathv[i]))
                out.push_back(found.gl_pathv[i]);
    ::globfree(&found);
    return out;
}

OptionError missing(const std::string& option, const std::string& path) {
    return {option, "文件不存在：" + path, "no such file: " + path};
}

class Collector {
public:
    explicit Collector(const RunRequest& r)
        : parent_(sheets::toUtf8(r.inputs.parentPath)), target_(sheets::toUtf8(r.inputs.thirdPath)) {}

    // A file given by name is taken whatever it is; one found in a folder or by a pattern is not
    // when it is the parent or the target.
    std::optional<OptionError> add(const std::string& given) {
        if (fs::is_regular_file(given)) return take(given), std::nullopt;
        std::vector<std::string> found;
        if (fs::is_directory(given))
            found = folderWorkbooks(given);
        else if (given.find_first_of("*?[") != std::string::npos)
            found = globbed(given);
        else
            return missing("--child", given);
        for (const auto& f : found)
            if (!sameFile(f, parent_) && (target_.empty() || !sameFile(f, target_))) take(f);
        if (found.empty())
            return OptionError{"--child", "没有找到工作簿：" + given, "finds no workbook: " + given};
        return std::nullopt;
    }

    RunFiles files() const { return files_; }

private:
    void take(const std::string& file) {
        for (const auto& c : files_.children)
            if (sameFile(c, file)) return;
        files_.children.push_back(file);
        if (sameFile(file, parent_)) files_.parentShared = false;
    }

    std::string parent_, target_;
    RunFiles files_;
};

std::optional<OptionError> targetError(const RunRequest& r) {
    const std::string parent = sheets::toUtf8(r.inputs.parentPath);
    if (!fs::is_regular_file(parent)) return missing("--parent", parent);
    if (r.inputs.placement == run::Placement::IntoThirdTable && r.newWorkbook.empty()) {
        const std::string target = sheets::toUtf8(r.inputs.thirdPath);
        if (!fs::is_regular_file(target)) return missing("--into-workbook", target);
        if (const auto why = sheets::whyNotStorable(target))
            return OptionError{"--into-workbook", sheets::toUtf8(run::notStorableText(u"第三个工作簿", *why)),
                               "cannot take the result: " + target};
    }
    if (r.newWorkbook.empty()) return std::nullopt;
    std::error_code error;
    if (fs::exists(fs::symlink_status(r.newWorkbook, error)))
        return OptionError{"--into-new-workbook", "文件已存在，不会覆盖：" + r.newWorkbook,
                           "will not write over an existing file: " + r.newWorkbook};
    const fs::path folder = fs::path(r.newWorkbook).parent_path();
    if (!folder.empty() && !fs::is_directory(folder))
        return OptionError{"--into-new-workbook", "文件夹不存在：" + folder.string(),
                           "no such folder: " + folder.string()};
    return std::nullopt;
}

}  // namespace

std::variant<RunFiles, OptionError> runFiles(const RunRequest& request) {
    if (const auto error = targetError(request)) return *error;
    Collector collector(request);
    for (const auto& given : request.children)
        if (const auto error = collector.add(given)) return *error;
    RunFiles files = collector.files();
    if (!request.newWorkbook.empty() && files.children.size() > 1)
        return OptionError{"--into-new-workbook", "只能用于一个子表", "takes the result of one child only"};
    const std::string target = sheets::toUtf8(request.inputs.thirdPath);
    if (request.inputs.placement == run::Placement::IntoThirdTable && request.newWorkbook.empty() &&
        sameFile(target, sheets::toUtf8(request.inputs.parentPath)))
        files.parentShared = false;
    return files;
}

}  // namespace cli
