#include "sheets/office_locale.h"

#include <locale.h>

#include <algorithm>
#include <cstdlib>

namespace sheets {
namespace {

std::string environmentLocale() {
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"})
        if (const char* value = std::getenv(name); value && *value) return value;
    return "C";
}

}  // namespace

std::string officeLocaleOverride() {
    const std::string locale = environmentLocale();
    std::string base = locale.substr(0, locale.find_first_of(".@"));
    const auto dot = locale.find('.');
    std::string codeset =
        dot == std::string::npos ? "" : locale.substr(dot + 1, locale.find('@', dot) - dot - 1);
    std::transform(codeset.begin(), codeset.end(), codeset.begin(), ::tolower);
    if (codeset == "utf-8" || codeset == "utf8") return {};
    return (base == "POSIX" ? "C" : base) + ".UTF-8";
}

std::string officeNumberLocale() {
    std::string locale = officeLocaleOverride();
    if (locale.empty()) locale = environmentLocale();
    // A locale the system lacks leaves the office in C.
    if (const locale_t probe = ::newlocale(LC_CTYPE_MASK, locale.c_str(), static_cast<locale_t>(nullptr))) {
        ::freelocale(probe);
    } else {
        locale = "C";
    }
    const std::string base = locale.substr(0, locale.find_first_of(".@"));
    if (base == "C" || base == "POSIX") return "en-US";
    const auto underscore = base.find('_');
    return underscore == std::string::npos ? base
                                           : base.substr(0, underscore) + "-" + base.substr(underscore + 1);
}

}  // namespace sheets
