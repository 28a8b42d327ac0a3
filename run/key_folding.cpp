#include "run/key_folding.h"

namespace run {
namespace {

// Full-width forms to their half-width counterparts: ASCII, the ideographic space and the signs of
// the full-width block (￠￡￢￣￤￥￦).
char16_t halfWidth(char16_t c) {
    if (c >= u'\uFF01' && c <= u'\uFF5E') return static_cast<char16_t>(c - 0xFEE0);
    if (c == u'\u3000') return u' ';
    static constexpr char16_t kSigns[] = {u'\u00A2', u'\u00A3', u'\u00AC', u'\u00AF',
                                          u'\u00A6', u'\u00A5', u'\u20A9'};
    if (c >= u'\uFFE0' && c <= u'\uFFE6') return kSigns[c - 0xFFE0];
    return c;
}

// Simple lower-case mapping of the alphabets that keys are written in: Latin (with Latin-1 and
// Latin Extended-A), Greek, Cyrillic and the full-width Latin letters.
char16_t lowerCase(char16_t c) {
    if (c < 0x80) return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) ||
        (c >= 0x410 && c <= 0x42F) || (c >= 0xFF21 && c <= 0xFF3A))
        return static_cast<char16_t>(c + 32);
    if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 80);
    if (c == 0x130) return u'i';
    if (c == 0x178) return 0xFF;
    // Latin Extended-A pairs: upper case on even code points, from 0x139 to 0x148 and 0x179 to 0x17E
    // on odd ones.
    const bool oddPairs = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    const bool evenPairs = (c >= 0x100 && c <= 0x137 && c != 0x130) || (c >= 0x14A && c <= 0x177);
    if ((oddPairs && c % 2 == 1) || (evenPairs && c % 2 == 0)) return static_cast<char16_t>(c + 1);
    return c;
}

}  // namespace

bool isInvisible(char16_t c) {
    switch (c) {
        case 0x00A0:  // no-break space
        case 0x00AD:  // soft hyphen
        case 0x1680:  // ogham space mark
        case 0x180E:  // Mongolian vowel separator
        case 0x202F:  // narrow no-break space
        case 0x205F:  // medium mathematical space
        case 0xFEFF:  // byte-order mark, zero-width no-break space
            return true;
        default:
            // the spaces of the general punctuation block, zero-width space, non-joiner and joiner,
            // the direction marks, word joiner and the invisible operators
            return (c >= 0x2000 && c <= 0x200F) || (c >= 0x2060 && c <= 0x2064);
    }
}

std::u16string foldedKey(std::u16string_view key, KeyFolding folding) {
    std::u16string out;
    out.reserve(key.size());
    for (char16_t c : key) {
        if (folding.invisible && isInvisible(c)) continue;
        if (folding.width) c = halfWidth(c);
        if (folding.letterCase) c = lowerCase(c);
        out.push_back(c);
    }
    return out;
}

}  // namespace run
