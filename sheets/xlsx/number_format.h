#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace sheets::xlsx {

// A number format code in the office's notation ("YYYY-MM-DD", "[RED]-0.00") in the package's own
// notation ("yyyy-mm-dd", "[Red]-0.00"), UTF-8; nothing when it cannot be converted with certainty.
std::optional<std::string> packageFormatCode(std::u16string_view officeCode);

// The format ids every package knows without listing them, for the codes that mean the same
// everywhere ("0.00" -> 2); -1 for the others.
int builtInFormatId(std::string_view code);

}  // namespace sheets::xlsx
