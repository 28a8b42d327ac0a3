#include "run/vb_text.h"

#include <cmath>
#include <string>

namespace run {
namespace {

bool isDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

// Length of the number at the start of s (sign, digits, one point, exponent), 0 when there is none.
// digits receives the number as plain ASCII for strtod.
std::size_t scanNumber(std::u16string_view s, std::string& digits) {
    std::size_t i = 0;
    digits.clear();
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) digits += static_cast<char>(s[i++]);
    bool any = false;
    while (i < s.size() && isDigit(s[i])) digits += static_cast<char>(s[i++]), any = true;
    if (i < s.size() && s[i] == u'.') {
        digits += '.';
        ++i;
        while (i < s.size() && isDigit(s[i])) digits += static_cast<char>(s[i++]), any = true;
    }
    if (!any) return 0;
    if (i < s.size() && (s[i] == u'e' || s[i] == u'E')) {
        std::size_t j = i + 1;
        std::string exponent = "e";
        if (j < s.size() && (s[j] == u'+' || s[j] == u'-')) exponent += static_cast<char>(s[j++]);
        bool expDigits = false;
        while (j < s.size() && isDigit(s[j])) exponent += static_cast<char>(s[j++]), expDigits = true;
        if (expDigits) {
            digits += exponent;
            i = j;
        }
    }
    return i;
}

std::size_t skipSpaces(std::u16string_view s, std::size_t i) {
    while (i < s.size() && s[i] == u' ') ++i;
    return i;
}

}  // namespace

bool isNumeric(std::u16string_view s) {
    std::size_t start = skipSpaces(s, 0);
    std::string digits;
    const std::size_t len = scanNumber(s.substr(start), digits);
    if (len == 0) return false;
    return skipSpaces(s, start + len) == s.size();
}

std::u16string_view trimView(std::u16string_view s) {
    auto isSpace = [](char16_t c) { return c == u' ' || c == u'\u3000'; };
    std::size_t b = 0, e = s.size();
    while (b < e && isSpace(s[b])) ++b;
    while (e > b && isSpace(s[e - 1])) --e;
    return s.substr(b, e - b);
}

std::u16string trim(std::u16string_view s) {
    return std::u16string(trimView(s));
}

double val(std::u16string_view s) {
    std::size_t i = 0;
    while (i < s.size() && (s[i] == u' ' || s[i] == u'\t' || s[i] == u'\n' || s[i] == u'\r')) ++i;
    std::string digits;
    if (scanNumber(s.substr(i), digits) == 0) return 0.0;
    return std::strtod(digits.c_str(), nullptr);
}

std::int16_t toInt16(std::u16string_view s) {
    if (!isNumeric(s)) throw RunError("not a number");
    const double v = std::nearbyint(val(s));  // the default rounding mode rounds a half to even
    if (!(v >= -32768.0 && v <= 32767.0)) throw RunError("overflow converting to a 16-bit integer");
    return static_cast<std::int16_t>(v);
}

std::u16string mid(std::u16string_view s, long position, long n) {
    if (position < 1) throw RunError("position below 1");
    if (n < 0) throw RunError("negative length");
    const auto start = static_cast<std::size_t>(position - 1);
    if (start >= s.size()) return {};
    return std::u16string(s.substr(start, static_cast<std::size_t>(n)));
}

}  // namespace run
