#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "sheets/utf8.h"
#include "sheets/xlsx/shared_strings.h"
#include "sheets/xlsx/xml_scanner.h"

using namespace sheets::xlsx;

namespace {

// Hands out its text in pieces of a given size, as an inflating stream does at its own pace.
class Pieces : public ByteSource {
public:
    Pieces(std::string text, std::size_t piece) : text_(std::move(text)), piece_(piece) {}
    std::size_t read(char* out, std::size_t max) override {
        const std::size_t n = std::min({piece_, max, text_.size() - at_});
        std::memcpy(out, text_.data() + at_, n);
        at_ += n;
        return n;
    }

private:
    std::string text_;
    std::size_t piece_, at_ = 0;
};

// Items of every form the office writes or reads: rich runs with their fonts, phonetic runs,
// comments, CDATA, references, line ends split across reads.
const std::vector<std::pair<std::string, std::u16string>> kItems = {
    {R"(<r><rPr><sz val="10"/><rFont val="WenQuanYi Micro Hei"/><family val="2"/></rPr><t xml:space="preserve">产品</t></r><r><rPr><sz val="10"/><rFont val="DejaVu Sans"/></rPr><t>2527</t></r><r><t>号</t></r>)",
     u"产品2527号"},
    {R"(<t>plain &amp; &#x4E2D;&#25991;</t>)", u"plain & 中文"},
    {R"(<t>line&#13;
break</t><rPh sb="0" eb="1"><t>ふりがな</t></rPh><phoneticPr fontId="1"/>)",
     u"line\nbreak"},
    {R"(<t><!-- a comment --><![CDATA[<kept>]]>_x0041_x</t>)", u"<kept>_x0041_x"},
    {"<t>cr\r\nlf</t>", u"cr\nlf"},
};

std::string workbookStrings(int repeats) {
    std::string xml = R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
                      R"(<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">)";
    for (int i = 0; i < repeats; ++i)
        for (const auto& [item, text] : kItems) xml += "<si>" + item + "</si>";
    return xml + "</sst>";
}

}  // namespace

// Whatever the sizes of the pieces the part arrives in, every item reads the same: a tag or a
// reference cut by the end of a piece must not change what is read.
TEST(XmlScanner, ReadsTheSameWhateverThePiecesItArrivesIn) {
    const int repeats = 60;
    std::vector<std::size_t> pieces{1, 2, 3, std::size_t{1} << 30};
    for (std::size_t piece = 10; piece < 400; ++piece) pieces.push_back(piece);
    for (const std::size_t piece : pieces) {
        Pieces source(workbookStrings(repeats), piece);
        XmlScanner scanner(source, "xl/sharedStrings.xml");
        std::size_t n = 0;
        for (auto tag = scanner.next(); tag != XmlScanner::Tag::EndOfInput; tag = scanner.next()) {
            if (tag != XmlScanner::Tag::Start || scanner.name() != "si") continue;
            const auto& expected = kItems[n % kItems.size()].second;
            ASSERT_EQ(officeItemText(scanner), expected) << "piece " << piece << ", item " << n;
            ++n;
        }
        EXPECT_EQ(n, repeats * kItems.size()) << "piece " << piece;
    }
}
