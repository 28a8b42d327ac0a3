#pragma once

#include <string>
#include <string_view>

namespace run {

// Differences between two keys that a comparison may leave aside: full-width and half-width forms
// (Ａ and A, the ideographic space and the space), upper and lower case, and invisible characters
// (no-break and other Unicode spaces but the plain one, zero-width characters, the byte-order mark).
struct KeyFolding {
    bool width = false;
    bool letterCase = false;
    bool invisible = false;

    bool any() const { return width || letterCase || invisible; }
    KeyFolding operator|(const KeyFolding& o) const {
        return {width || o.width, letterCase || o.letterCase, invisible || o.invisible};
    }
    bool operator==(const KeyFolding&) const = default;

    static constexpr KeyFolding all() { return {true, true, true}; }
};

// Whether the comparison leaves the character aside when invisible characters are ignored.
bool isInvisible(char16_t c);

// The key with the differences folded away, one UTF-16 unit at a time: invisible characters dropped,
// full-width forms made half-width, letters made lower case (Latin, Greek, Cyrillic; Chinese has no
// case). Folding twice, or with more differences after fewer, gives what folding once with all of them
// gives.
std::u16string foldedKey(std::u16string_view key, KeyFolding folding);

}  // namespace run
