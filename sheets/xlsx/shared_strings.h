#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "sheets/xlsx/office_release.h"
#include "sheets/xlsx/xml_scanner.h"

namespace sheets::xlsx {

class Package;

// The text of a string item as the office holds it once loaded.
struct OfficeText {
    std::u16string text;
    bool formatted = false;  // kept as formatted text, which makes a cell even when it is empty
    bool certain = true;     // false: the release is unknown and the known ones read it differently
};

// A string item (<si> of the shared strings, <is> of a cell) as the office of a release reads it:
// its runs joined, phonetic runs left out, the _xHHHH_ escapes the release decodes decoded, and,
// where the office keeps the text as formatted text (several runs, a run with its own font, phonetic
// runs, or a line break), line breaks made single line feeds and tabs made U+0001. Reads from the
// item's start tag to its end tag.
OfficeText officeItemText(XmlScanner& scanner, OfficeRelease release);

// The package's shared strings, held compactly.
class SharedStrings {
public:
    SharedStrings() = default;
    // Reads the part; `progress` hears the bytes read so far now and then.
    SharedStrings(const Package& package, const std::string& part, OfficeRelease release,
                  const std::function<void(std::uint64_t)>& progress);

    std::size_t size() const { return offsets_.empty() ? 0 : offsets_.size() - 1; }
    std::u16string_view at(std::size_t i) const {
        return std::u16string_view(text_).substr(offsets_[i], offsets_[i + 1] - offsets_[i]);
    }
    // Whether string i, empty, still makes a cell: the office keeps it as formatted text.
    bool emptyButFormatted(std::size_t i) const { return emptyFormatted_.count(i) > 0; }
    // Whether string i is one the office may read otherwise (OfficeText::certain).
    bool uncertain(std::size_t i) const { return uncertain_.count(i) > 0; }

private:
    std::set<std::size_t> emptyFormatted_, uncertain_;
    std::u16string text_;
    std::vector<std::uint32_t> offsets_;
};

}  // namespace sheets::xlsx
