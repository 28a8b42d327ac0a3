#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "sheets/utf8.h"
#include "sheets/xlsx/shared_strings.h"
#include "sheets/xlsx/sheet_reader.h"
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
            ASSERT_EQ(officeItemText(scanner, OfficeRelease::LibreOffice7).text, expected)
                << "piece " << piece << ", item " << n;
            ++n;
        }
        EXPECT_EQ(n, repeats * kItems.size()) << "piece " << piece;
    }
}

// The _xHHHH_ escapes as each release decodes them: LibreOffice 7 those of one to four digits of a
// character XML cannot carry or the underscore, keeping any other whole; LibreOffice 25 every one of
// four digits, each run ended before an unpaired surrogate. Another release is certain only where
// the two agree.
TEST(OfficeItemText, DecodesEscapesAsEachReleaseDoes) {
    const std::vector<std::tuple<std::string, std::u16string, std::u16string>> cases = {
        {"<t>_x0041__x004a__X0041_</t>", u"_x0041__x004a__X0041_", u"AJ_X0041_"},
        {"<t>_x005F_x0041_ _x005f_</t>", u"_x0041_ _", u"_x0041_ _"},
        {"<t>_x0041_x005F_</t>", u"_x0041_x005F_", u"Ax005F_"},
        {"<t>_x41_x005F_</t>", u"_x41_x005F_", u"_x41_"},
        {"<t>_x5F_x0041_ _x9_</t>", u"_x0041_ \t", u"_x5FA _x9_"},
        {"<t>_x12345_x005F_ _xGG_</t>", u"_x12345_ _xGG_", u"_x12345_ _xGG_"},
        {"<t>a_x0000_b_xFFFF__xD83D__xDE00_</t>", std::u16string(u"a\0b\xFFFF\U0001F600", 6),
         std::u16string(u"a\0b\xFFFF\U0001F600", 6)},
        {"<r><t>a_xD83D_b</t></r><r><t>c_x0001_</t></r>", std::u16string(u"a\xD83D") + u"bc\x01", u"ac\x01"},
        {"<t>x_xDE00__xD83D_y</t><rPh sb=\"0\" eb=\"1\"><t>_x0041_</t></rPh>", u"x\xDE00\xD83Dy", u"x"},
    };
    for (const auto& [item, seven, twentyFive] : cases) {
        for (const auto release :
             {OfficeRelease::LibreOffice7, OfficeRelease::LibreOffice25, OfficeRelease::Other}) {
            Pieces source("<si>" + item + "</si>", 7);
            XmlScanner scanner(source, "item");
            scanner.next();
            const OfficeText text = officeItemText(scanner, release);
            EXPECT_EQ(text.text, release == OfficeRelease::LibreOffice25 ? twentyFive : seven) << item;
            EXPECT_EQ(text.certain, release != OfficeRelease::Other || seven == twentyFive) << item;
        }
    }
}

// A truth value: a number other than 0 (or not a number) is true in every release, "true" in any
// case only in LibreOffice 25; another release leaves "true" to the office.
TEST(OfficeItemText, ReadsTruthValuesAsEachReleaseDoes) {
    const std::vector<std::tuple<std::string, bool, bool>> cases = {
        {"1", true, true},        {"0", false, false},     {"-1.5", true, true},    {"1abc", true, true},
        {"TRUE", false, true},    {"tRuE", false, true},   {"false", false, false}, {" true", false, false},
        {"true ", false, false},  {"abc", false, false},   {"INF", true, true},     {" NaN", true, true},
        {"+NaN", false, false},   {"-1.#INF", true, true}, {"1.#NAN", true, true},  {"1.#inf", true, true},
        {"0.#INF", false, false},
    };
    for (const auto& [v, seven, twentyFive] : cases) {
        EXPECT_EQ(officeTruth(v, OfficeRelease::LibreOffice7), seven) << v;
        EXPECT_EQ(officeTruth(v, OfficeRelease::LibreOffice25), twentyFive) << v;
        EXPECT_EQ(officeTruth(v, OfficeRelease::Other),
                  seven == twentyFive ? std::optional<bool>(seven) : std::nullopt)
            << v;
    }
}
