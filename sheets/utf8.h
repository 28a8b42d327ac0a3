#pragma once

#include <string>
#include <string_view>

namespace sheets {

// UTF-16 to UTF-8 and back. A lone surrogate becomes U+FFFD; a malformed UTF-8 sequence gives
// U+FFFD for its first byte and goes on with the next.
std::string toUtf8(std::u16string_view s);
std::u16string fromUtf8(std::string_view s);
// Appends one code point in UTF-8.
void appendUtf8(std::string& out, char32_t cp);

}  // namespace sheets
