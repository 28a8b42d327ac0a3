#include "sheets/xlsx/shared_strings.h"

#include "sheets/failure.h"
#include "sheets/utf8.h"
#include "sheets/xlsx/package.h"

namespace sheets::xlsx {
namespace {

int hexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// An escape at s[at]: "_x", minDigits to four hex digits, "_". Its length, 0 for none; its
// character into c.
std::size_t escapeAt(std::u16string_view s, std::size_t at, std::size_t minDigits, char32_t& c) {
    if (s.substr(at, 2) != u"_x") return 0;
    c = 0;
    std::size_t k = at + 2;
    for (int v = 0; k < s.size() && k < at + 6 && (v = hexValue(s[k])) >= 0; ++k)
        c = c * 16 + static_cast<char32_t>(v);
    if (k - at - 2 < minDigits || k >= s.size() || s[k] != u'_') return 0;
    return k + 1 - at;
}

// LibreOffice 7 decodes an escape of one to four digits where XML cannot carry its character, or
// it is the underscore; any other escape it keeps whole, the next one looked for after it.
void appendDecoded7(std::u16string& out, std::u16string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        char32_t c = 0;
        if (const std::size_t n = escapeAt(s, i, 1, c)) {
            if (c < 0x20 || c == u'_' || (c >= 0xD800 && c <= 0xDFFF) || c >= 0xFFFE)
                out += static_cast<char16_t>(c);
            else
                out += s.substr(i, n);
            i += n;
        } else {
            out += s[i++];
        }
    }
}

// LibreOffice 25 decodes every escape of four digits, then ends the text before its first unpaired
// surrogate.
void appendDecoded25(std::u16string& out, std::u16string_view s) {
    const std::size_t from = out.size();
    for (std::size_t i = 0; i < s.size();) {
        char32_t c = 0;
        const std::size_t n = escapeAt(s, i, 4, c);
        out += n ? static_cast<char16_t>(c) : s[i];
        i += n ? n : 1;
    }
    for (std::size_t i = from; i < out.size(); ++i) {
        const bool high = out[i] >= 0xD800 && out[i] <= 0xDBFF;
        if (high && i + 1 < out.size() && out[i + 1] >= 0xDC00 && out[i + 1] <= 0xDFFF) {
            ++i;
        } else if (high || (out[i] >= 0xDC00 && out[i] <= 0xDFFF)) {
            out.resize(i);
            return;
        }
    }
}

// The run decoded as the release decodes it; uncertain where the release is unknown and the
// known ones differ.
void appendDecoded(OfficeText& out, std::u16string_view s, OfficeRelease release) {
    if (release == OfficeRelease::LibreOffice7) return appendDecoded7(out.text, s);
    if (release == OfficeRelease::LibreOffice25) return appendDecoded25(out.text, s);
    std::u16string seven, twentyFive;
    appendDecoded7(seven, s);
    appendDecoded25(twentyFive, s);
    if (seven != twentyFive) out.certain = false;
    out.text += seven;
}

// Text the office keeps as formatted text: its paragraphs end in single line feeds, and a tab is
// held as a field it reads back as U+0001.
void asFormattedText(std::u16string& s) {
    std::u16string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char16_t c = s[i];
        if (c == u'\r' || c == u'\n') {
            out += u'\n';
            const char16_t pair = c == u'\r' ? u'\n' : u'\r';
            if (i + 1 < s.size() && s[i + 1] == pair) ++i;
        } else {
            out += c == u'\t' ? u'\x01' : c;
        }
    }
    s = std::move(out);
}

// The text of a <t>, decoded.
void appendRun(XmlScanner& scanner, OfficeText& out, std::string& scratch, OfficeRelease release) {
    scratch.clear();
    scanner.text(scratch);
    appendDecoded(out, fromUtf8(scratch), release);
}

}  // namespace

OfficeText officeItemText(XmlScanner& scanner, OfficeRelease release) {
    OfficeText out;
    std::string scratch;
    int runs = 0;
    bool formatted = false;
    for (int depth = 1; depth > 0;) {
        const auto tag = scanner.next();
        if (tag == XmlScanner::Tag::EndOfInput) throw Failure("a string item is not closed");
        if (tag == XmlScanner::Tag::End) {
            --depth;
            continue;
        }
        const std::string_view name = scanner.name();
        if (tag == XmlScanner::Tag::Empty) {
            if (name == "rPr") formatted = true;
            if (name == "r" || (name == "t" && depth == 1)) ++runs;
            continue;
        }
        if (name == "t") {
            if (depth == 1) ++runs;
            appendRun(scanner, out, scratch, release);
        } else if (name == "r") {
            ++runs;
            ++depth;
        } else if (name == "rPr") {
            formatted = true;
            scanner.skip();
        } else {
            if (name == "rPh") formatted = true;
            scanner.skip();
        }
    }
    out.formatted = runs > 1 || formatted || out.text.find(u'\n') != std::u16string::npos;
    if (out.formatted) asFormattedText(out.text);
    return out;
}

SharedStrings::SharedStrings(const Package& package, const std::string& part, OfficeRelease release,
                             const std::function<void(std::uint64_t)>& progress) {
    PartStream stream(package, part);
    struct Source : ByteSource {
        PartStream& s;
        explicit Source(PartStream& s) : s(s) {}
        std::size_t read(char* out, std::size_t max) override { return s.read(out, max); }
    } source(stream);
    XmlScanner scanner(source, part);
    offsets_.push_back(0);
    std::uint64_t reported = 0;
    for (auto tag = scanner.next(); tag != XmlScanner::Tag::EndOfInput; tag = scanner.next()) {
        if (scanner.name() != "si" || tag == XmlScanner::Tag::End) continue;
        if (tag == XmlScanner::Tag::Start) {
            const OfficeText item = officeItemText(scanner, release);
            if (item.text.empty() && item.formatted) emptyFormatted_.insert(offsets_.size() - 1);
            if (!item.certain) uncertain_.insert(offsets_.size() - 1);
            text_ += item.text;
        }
        offsets_.push_back(static_cast<std::uint32_t>(text_.size()));
        if (progress && scanner.consumed() - reported > (8u << 20)) {
            reported = scanner.consumed();
            progress(reported);
        }
    }
}

}  // namespace sheets::xlsx
