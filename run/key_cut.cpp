#include "run/key_cut.h"

#include <string>

#include "run/vb_text.h"

namespace run {
namespace {

std::int16_t storedInt16(std::size_t n) {
    if (n > 32767) throw RunError("overflow storing a 16-bit integer");
    return static_cast<std::int16_t>(n);
}

bool isDigitCharacter(char16_t c) {
    return isNumeric(std::u16string_view(&c, 1));
}

// Mid(s, position, n) as a view; nullopt for a position below 1 or a negative length.
std::optional<std::u16string_view> midView(std::u16string_view s, long position, long n) {
    if (position < 1 || n < 0) return std::nullopt;
    const auto start = static_cast<std::size_t>(position - 1);
    if (start >= s.size()) return std::u16string_view{};
    return s.substr(start, static_cast<std::size_t>(n));
}

}  // namespace

bool parseCondition(std::u16string_view c, KeyCondition& keyCondition) {
    if (c.find(u'*') == std::u16string_view::npos) return false;

    if (c.find(u'?') == std::u16string_view::npos) {
        if (c.front() == u'*') {  // *N
            const auto n = c.substr(1);
            if (!isNumeric(n)) return false;
            keyCondition.keyMode = 1;
            keyCondition.keyLength = toInt16(n);
        } else {  // N*: the last character is not examined
            const auto n = c.substr(0, c.size() - 1);
            if (!isNumeric(n)) return false;
            keyCondition.keyMode = 2;
            keyCondition.keyLength = toInt16(n);
        }
        return true;
    }

    if (c.front() == u'*') {  // *N?...
        const std::size_t q = c.find(u'?', 1);
        const auto n = c.substr(1, q - 1);
        if (!isNumeric(n)) return false;
        keyCondition.keyMode = 3;
        keyCondition.keyOffset = storedInt16(c.size() - q);
        keyCondition.keyLength = toInt16(n);
        return true;
    }

    // ?...N*: the number runs from the first digit up to the last character but one, unchecked,
    // so a text that does not convert (or no digit at all) fails in the conversion.
    std::size_t i = 0;
    while (i < c.size() && !isDigitCharacter(c[i])) ++i;
    keyCondition.keyMode = 4;
    keyCondition.keyOffset = storedInt16(i + 1);
    const long count = static_cast<long>(c.size()) - static_cast<long>(i + 1);
    keyCondition.keyLength = toInt16(mid(c, static_cast<long>(i + 1), count));
    return true;
}

std::optional<std::u16string_view> cutKey(std::u16string_view t, std::int16_t mode,
                                          const KeyCondition& keyCondition) {
    const long n = keyCondition.keyLength;
    switch (mode) {
        case 1:
            if (n < 0) return std::nullopt;
            return t.substr(t.size() - std::min(t.size(), static_cast<std::size_t>(n)));
        case 2:
            if (n < 0) return std::nullopt;
            return t.substr(0, static_cast<std::size_t>(n));
        case 3:
            return midView(t, static_cast<long>(t.size()) - keyCondition.keyOffset - n + 1, n);
        case 4:
            return midView(t, keyCondition.keyOffset, n);
        default:
            return std::nullopt;
    }
}

}  // namespace run
