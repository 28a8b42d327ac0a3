#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

// Text helpers with the semantics of the classic Basic runtime. Lengths and positions count UTF-16
// units and start at 1.
namespace run {

// A run step that cannot be carried out for a reason of its own (not the spreadsheet's).
class RunError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Optional spaces, optional sign, digits with at most one decimal point, an optional exponent,
// optional spaces. The empty text is not numeric.
bool isNumeric(std::u16string_view s);

// Removes spaces at both ends: U+0020 and the ideographic space U+3000. Tabs and line breaks stay.
std::u16string trim(std::u16string_view s);
// The same, as a view into s.
std::u16string_view trimView(std::u16string_view s);

// The number the text begins with, 0 when it begins with none.
double val(std::u16string_view s);

// Numeric text to a 16-bit integer, to the nearest, a half going to the even neighbour.
// Throws RunError when the text is not numeric or the number lies outside -32768..32767.
std::int16_t toInt16(std::u16string_view s);

// Throws RunError for a negative length or a position below 1; past the end it gives less or nothing.
std::u16string mid(std::u16string_view s, long position, long n);

}  // namespace run
