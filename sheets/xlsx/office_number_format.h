#pragma once

#include <string>
#include <string_view>

#include "sheets/cell_value.h"

namespace sheets::xlsx {

// The locales whose number formats the office is known to read packages with: the language and
// country the office takes from the system (LC_ALL, LC_CTYPE, LANG), "en-US" for C and POSIX.
enum class NumberLocale { EnUs, ZhCn };

// A package's number format as the office reports it once it has loaded the package: the kind of
// value a number in it is (a date or time, or a plain number) and the format in the office's
// notation, which is empty for the general format. `why` says why the office's reading is not known
// with certainty; the rest is then meaningless.
struct OfficeNumberFormat {
    bool date = false;
    NumberFormat format;  // empty code: the general format
    std::u16string why;
};

// A built-in format id (0 to 163) without a code of the package's own.
OfficeNumberFormat officeBuiltInFormat(int id, NumberLocale locale);
// A format code of the package (UTF-8, as its styles hold it).
OfficeNumberFormat officeFormatOfCode(std::string_view code, NumberLocale locale);

// The office's name of the general format in a locale ("General", "常规").
std::u16string generalKeyword(NumberLocale locale);

}  // namespace sheets::xlsx
