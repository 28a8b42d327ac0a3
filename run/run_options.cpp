#include "run/run_options.h"

namespace run {
namespace {

std::u16string lettersOf(const std::vector<int>& columns, std::u16string_view separator) {
    std::u16string out;
    for (std::size_t i = 0; i < columns.size(); ++i)
        out += (i ? std::u16string(separator) : u"") + columnLetters(columns[i]);
    return out;
}

std::u16string foldingText(KeyFolding f) {
    std::u16string out;
    const std::pair<bool, std::u16string_view> parts[] = {
        {f.width, u"全半角视同"}, {f.letterCase, u"不分大小写"}, {f.invisible, u"忽略不可见字符"}};
    for (const auto& [on, text] : parts)
        if (on) out += (out.empty() ? u"" : u"、") + std::u16string(text);
    return out;
}

std::u16string duplicatesText(DuplicateKeys d) {
    switch (d) {
        case DuplicateKeys::Last:
            return u"重复键取末行";
        case DuplicateKeys::AllJoined:
            return u"重复键全取";
        case DuplicateKeys::Count:
            return u"重复键计数";
        case DuplicateKeys::First:
            break;
    }
    return {};
}

}  // namespace

std::u16string columnLetters(int column) {
    std::u16string letters;
    for (int c = column + 1; c > 0; c = (c - 1) / 26)
        letters.insert(letters.begin(), static_cast<char16_t>(u'A' + (c - 1) % 26));
    return letters;
}

std::u16string optionsSummary(const RunOptions& o) {
    std::vector<std::u16string> parts;
    if (o.folding.any()) parts.push_back(foldingText(o.folding));
    if (!o.moreValueColumns.empty())
        parts.push_back(u"另取 " + lettersOf(o.moreValueColumns, u"、") + u" 列");
    if (o.composite())
        parts.push_back(u"组合键（父+" + lettersOf(o.moreParentKeyColumns, u"+") + u"，子+" +
                        lettersOf(o.moreChildKeyColumns, u"+") + u"）");
    if (o.duplicates != DuplicateKeys::First) parts.push_back(duplicatesText(o.duplicates));
    if (o.unmatched == Unmatched::WriteText) parts.push_back(u"无匹配写“" + o.unmatchedText + u"”");
    if (parts.empty()) return {};
    std::u16string out = u"选项：";
    for (std::size_t i = 0; i < parts.size(); ++i) out += (i ? u"；" : u"") + parts[i];
    return out;
}

}  // namespace run
