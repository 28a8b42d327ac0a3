#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "sheets/xlsx/xml_scanner.h"

namespace sheets::xlsx {

class Package;

// The text of a string item (<si> of the shared strings, <is> of a cell) as the office holds it once
// loaded: its runs joined, phonetic runs left out, the _xHHHH_ escapes the office decodes decoded,
// and, where the office keeps the text as formatted text (several runs, a run with its own font,
// phonetic runs, or a line break), line breaks made single line feeds and tabs made U+0001. Reads
// from the item's start tag to its end tag.
std::u16string officeItemText(XmlScanner& scanner);

// The package's shared strings, held compactly.
class SharedStrings {
public:
    SharedStrings() = default;
    // Reads the part; `progress` hears the bytes read so far now and then.
    SharedStrings(const Package& package, const std::string& part,
                  const std::function<void(std::uint64_t)>& progress);

    std::size_t size() const { return offsets_.empty() ? 0 : offsets_.size() - 1; }
    std::u16string_view at(std::size_t i) const {
        return std::u16string_view(text_).substr(offsets_[i], offsets_[i + 1] - offsets_[i]);
    }

private:
    std::u16string text_;
    std::vector<std::uint32_t> offsets_;
};

}  // namespace sheets::xlsx
