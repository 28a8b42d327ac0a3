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

// The escapes the office decodes: of characters XML cannot carry, and of the underscore.
bool decodedByTheOffice(char32_t c) {
    return c < 0x20 || c == u'_' || (c >= 0xD800 && c <= 0xDFFF) || c >= 0xFFFE;
}

void appendDecoded(std::u16string& out, std::u16string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        if (s[i] == u'_' && i + 6 < s.size() && s[i + 1] == u'x' && s[i + 6] == u'_') {
            char32_t c = 0;
            bool hex = true;
            for (std::size_t k = 2; k < 6 && hex; ++k) {
                const int v = hexValue(s[i + k]);
                hex = v >= 0;
                c = c * 16 + static_cast<char32_t>(v < 0 ? 0 : v);
            }
            if (hex && decodedByTheOffice(c)) {
                out += static_cast<char16_t>(c);
                i += 7;
                continue;
            }
        }
        out += s[i++];
    }
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
void appendRun(XmlScanner& scanner, std::u16string& out, std::string& scratch) {
    scratch.clear();
    scanner.text(scratch);
    appendDecoded(out, fromUtf8(scratch));
}

}  // namespace

std::u16string officeItemText(XmlScanner& scanner, bool* formattedText) {
    std::u16string out;
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
            appendRun(scanner, out, scratch);
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
    const bool asFormatted = runs > 1 || formatted || out.find(u'\n') != std::u16string::npos;
    if (asFormatted) asFormattedText(out);
    if (formattedText) *formattedText = asFormatted;
    return out;
}

SharedStrings::SharedStrings(const Package& package, const std::string& part,
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
        bool formatted = false;
        if (tag == XmlScanner::Tag::Start) {
            const std::u16string item = officeItemText(scanner, &formatted);
            if (item.empty() && formatted) emptyFormatted_.insert(offsets_.size() - 1);
            text_ += item;
        }
        offsets_.push_back(static_cast<std::uint32_t>(text_.size()));
        if (progress && scanner.consumed() - reported > (8u << 20)) {
            reported = scanner.consumed();
            progress(reported);
        }
    }
}

}  // namespace sheets::xlsx
