#pragma once

#include <string>

namespace sheets {

// The locale the office is given in LC_ALL when the program's own will not do, else "". The office
// maps file names through the character set it reads from LC_ALL, LC_CTYPE or LANG, so under a locale
// that is not UTF-8 (LANG=C, for one) it cannot reach a file with a Chinese name: it gets the same
// language in UTF-8 instead.
std::string officeLocaleOverride();

// The language and country the office reads numbers and dates in ("en-US", "zh-CN"): those of the
// locale it is started with as this system has it, "en-US" for C and POSIX and for a locale the system
// lacks.
std::string officeNumberLocale();

}  // namespace sheets
