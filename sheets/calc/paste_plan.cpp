#include "sheets/calc/paste_plan.h"

#include <algorithm>
#include <cstdlib>

#include "sheets/cell_value.h"

namespace sheets::calc {

std::vector<std::vector<std::u16string>> splitPasteText(const std::u16string& text) {
    std::vector<std::vector<std::u16string>> lines;
    std::vector<std::u16string> fields;
    std::u16string field;
    std::size_t i = 0;
    while (i < text.size()) {
        const char16_t c = text[i];
        if (c == u'\t') {
            fields.push_back(std::move(field));
            field.clear();
        } else if (c == u'\r') {
            fields.push_back(std::move(field));
            field.clear();
            lines.push_back(std::move(fields));
            fields.clear();
            if (i + 1 < text.size() && text[i + 1] == u'\n') ++i;
        } else {
            field.push_back(c);
        }
        ++i;
    }
    // A last line without its own carriage return.
    if (!text.empty() && text.back() != u'\r' && !(text.size() >= 2 && text.ends_with(u"\r\n"))) {
        fields.push_back(std::move(field));
        lines.push_back(std::move(fields));
    }
    return lines;
}

std::optional<double> plainNumber(const std::u16string& field) {
    std::size_t i = 0;
    if (i < field.size() && field[i] == u'-') ++i;
    const std::size_t intStart = i;
    while (i < field.size() && field[i] >= u'0' && field[i] <= u'9') ++i;
    if (i == intStart) return std::nullopt;
    if (i < field.size() && field[i] == u'.') {
        const std::size_t fracStart = ++i;
        while (i < field.size() && field[i] >= u'0' && field[i] <= u'9') ++i;
        if (i == fracStart) return std::nullopt;
    }
    if (i != field.size()) return std::nullopt;
    const std::string ascii(field.begin(), field.end());
    const double value = std::strtod(ascii.c_str(), nullptr);
    if (generalNumberText(value) != field) return std::nullopt;
    return value;
}

namespace {

// Lines [begin, end) all reach beyond field `from`.
void planRun(const std::vector<int>& widths, int begin, int end, int from, std::vector<PasteBlock>& out) {
    const int common = *std::min_element(widths.begin() + begin, widths.begin() + end);
    out.push_back({begin, end - begin, from, common - from});
    int i = begin;
    while (i < end) {
        if (widths[i] <= common) {
            ++i;
            continue;
        }
        int j = i;
        while (j < end && widths[j] > common) ++j;
        planRun(widths, i, j, common, out);
        i = j;
    }
}

}  // namespace

std::vector<PasteBlock> planPasteBlocks(const std::vector<int>& widths) {
    std::vector<PasteBlock> blocks;
    if (!widths.empty()) planRun(widths, 0, static_cast<int>(widths.size()), 0, blocks);
    return blocks;
}

}  // namespace sheets::calc
