#include "run/composite_key.h"

namespace run {
namespace {

constexpr char16_t kEscape = u'\u001F';
constexpr char16_t kBetweenParts = u'\u001E';

}  // namespace

std::u16string compositeKey(const std::vector<std::u16string_view>& parts) {
    bool allEmpty = true;
    for (const auto part : parts) allEmpty = allEmpty && part.empty();
    if (allEmpty) return {};
    std::u16string key;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) key += {kEscape, kBetweenParts};
        for (const char16_t c : parts[i]) {
            if (c == kEscape) key.push_back(kEscape);
            key.push_back(c);
        }
    }
    return key;
}

bool hasOnlyEmptyParts(std::u16string_view key) {
    for (std::size_t i = 0; i < key.size(); i += 2)
        if (key[i] != kEscape || i + 1 == key.size() || key[i + 1] != kBetweenParts) return false;
    return true;
}

std::u16string shownKey(std::u16string_view key, bool composite) {
    if (!composite) return std::u16string(key);
    std::u16string shown;
    for (std::size_t i = 0; i < key.size(); ++i) {
        if (key[i] == kEscape && i + 1 < key.size()) {
            shown +=
                key[++i] == kBetweenParts ? std::u16string_view(u" / ") : std::u16string_view(&key[i], 1);
            continue;
        }
        shown.push_back(key[i]);
    }
    return shown;
}

}  // namespace run
