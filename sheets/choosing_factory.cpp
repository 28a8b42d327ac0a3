#include "sheets/choosing_factory.h"

#include <algorithm>

namespace sheets {
namespace {

bool endsWithPackageExtension(const std::u16string& path) {
    const auto dot = path.rfind(u'.');
    if (dot == std::u16string::npos || path.find_first_of(u"/\\", dot) != std::u16string::npos) return false;
    std::u16string extension = path.substr(dot + 1);
    for (auto& c : extension)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    return extension == u"xlsx" || extension == u"xlsm";
}

}  // namespace

bool ChoosingFactory::packagesServe(const RunFiles& files) {
    return files.officeBecause.empty() && !files.addsWorkbook && !files.paths.empty() &&
           std::all_of(files.paths.begin(), files.paths.end(), endsWithPackageExtension);
}

std::unique_ptr<Application> ChoosingFactory::create(Desktop& desktop, const RunFiles& files) {
    return packagesServe(files) ? packages_.create(desktop, files) : office_.create(desktop, files);
}

}  // namespace sheets
