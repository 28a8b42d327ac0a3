#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace run {

// A key made of the texts of several key columns, as one text that equals another exactly when all
// their parts are equal. A part's U+001F is written twice and the parts are separated by U+001F U+001E,
// characters that key folding neither changes nor makes, so folding the whole is folding each part.
// A key whose parts are all empty is the empty key, which never matches.
std::u16string compositeKey(const std::vector<std::u16string_view>& parts);

// Whether a composite key (folded, possibly) has only empty parts left.
bool hasOnlyEmptyParts(std::u16string_view key);

// The key as the user reads it: the parts of a composite key joined by " / ".
std::u16string shownKey(std::u16string_view key, bool composite);

}  // namespace run
