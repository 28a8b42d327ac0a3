#include "sheets/xlsx/xml_scanner.h"

#include <cstring>

#include "sheets/failure.h"
#include "sheets/utf8.h"

namespace sheets::xlsx {
namespace {

// What a read asks for at least; the buffer grows when a tag or a piece of text is longer.
constexpr std::size_t kPiece = 64 << 10;

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::string_view localOf(std::string_view name) {
    const auto colon = name.find(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

// &amp; &lt; &gt; &quot; &apos; &#N; &#xH; at the start of s; the number of bytes it takes, 0 when
// it is none of them.
std::size_t reference(std::string_view s, std::string& out) {
    static constexpr std::pair<std::string_view, char> kNamed[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
    for (const auto& [entity, c] : kNamed)
        if (s.starts_with(entity)) {
            out += c;
            return entity.size();
        }
    if (s.size() < 4 || s[1] != '#') return 0;
    const bool hex = s[2] == 'x';
    char32_t code = 0;
    std::size_t i = hex ? 3 : 2;
    const std::size_t first = i;
    for (; i < s.size() && s[i] != ';' && i < 12; ++i) {
        const char c = s[i];
        int digit = -1;
        if (c >= '0' && c <= '9') digit = c - '0';
        if (hex && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        if (hex && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        if (digit < 0) return 0;
        code = code * (hex ? 16 : 10) + static_cast<char32_t>(digit);
    }
    if (i == first || i >= s.size() || s[i] != ';' || code > 0x10FFFF) return 0;
    appendUtf8(out, code);
    return i + 1;
}

}  // namespace

bool appendCharacters(std::string_view raw, std::string& out) {
    std::size_t i = 0;
    while (i < raw.size()) {
        const auto special = raw.find_first_of("&\r", i);
        out.append(raw, i, (special == std::string_view::npos ? raw.size() : special) - i);
        if (special == std::string_view::npos) break;
        i = special;
        if (raw[i] == '\r') {
            out += '\n';
            i += (i + 1 < raw.size() && raw[i + 1] == '\n') ? 2 : 1;
            continue;
        }
        const std::size_t taken = reference(raw.substr(i), out);
        if (taken == 0) return false;
        i += taken;
    }
    return true;
}

XmlScanner::XmlScanner(ByteSource& source, std::string part)
    : source_(source), part_(std::move(part)), buffer_(4 * kPiece) {
    ensure(3);
    // A byte order mark; anything but UTF-8 is not read.
    if (end_ >= 3 && std::memcmp(buffer_.data(), "\xEF\xBB\xBF", 3) == 0) pos_ = 3;
    if (end_ >= 2 && (static_cast<unsigned char>(buffer_[0]) >= 0xFE || buffer_[0] == 0 || buffer_[1] == 0))
        malformed("the part is not UTF-8");
}

void XmlScanner::malformed(const std::string& why) const {
    throw Failure("cannot read " + part_ + ": " + why + " near byte " + std::to_string(consumed()));
}

// Moves what is left to the front and reads the next piece after it; false at the end.
bool XmlScanner::fill() {
    if (eof_) return false;
    if (pos_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + pos_, end_ - pos_);
        end_ -= pos_;
        consumed_ += pos_;
        pos_ = 0;
    }
    if (buffer_.size() - end_ < kPiece) buffer_.resize(buffer_.size() * 2);
    const std::size_t got = source_.read(buffer_.data() + end_, buffer_.size() - end_);
    if (got == 0) eof_ = true;
    end_ += got;
    return got > 0;
}

// Whether n bytes from pos_ are in the buffer, reading more as needed.
bool XmlScanner::ensure(std::size_t n) {
    while (end_ - pos_ < n)
        if (!fill()) return false;
    return true;
}

// The position of c at or after pos_ + from, reading more as needed; npos at the end of the input.
// Positions count from pos_, which a read may move.
std::size_t XmlScanner::find(char c, std::size_t from) {
    for (;;) {
        if (pos_ + from < end_) {
            const void* hit = std::memchr(buffer_.data() + pos_ + from, c, end_ - pos_ - from);
            if (hit) return static_cast<std::size_t>(static_cast<const char*>(hit) - buffer_.data()) - pos_;
            from = end_ - pos_;
        }
        if (!fill()) return std::string::npos;
    }
}

std::size_t XmlScanner::findSequence(std::string_view s, std::size_t from) {
    for (;;) {
        const std::size_t at = find(s[0], from);
        if (at == std::string::npos) return at;
        if (!ensure(at + s.size())) return std::string::npos;
        if (std::memcmp(buffer_.data() + pos_ + at, s.data(), s.size()) == 0) return at;
        from = at + 1;
    }
}

// The position after the '>' that ends the tag starting at `from`, quoted values respected.
std::size_t XmlScanner::tagEnd(std::size_t from) {
    char quote = 0;
    for (std::size_t i = from;;) {
        // The bytes in the buffer first; a read may move them.
        const char* s = buffer_.data() + pos_;
        for (const std::size_t n = end_ - pos_; i < n; ++i) {
            const char c = s[i];
            if (quote) {
                if (c == quote) quote = 0;
            } else if (c == '>') {
                return i + 1;
            } else if (c == '"' || c == '\'') {
                quote = c;
            }
        }
        if (!fill()) malformed("an unterminated tag");
    }
}

// The start tag in [pos_, pos_ + end): its name and attributes.
void XmlScanner::startTag(std::size_t end) {
    const char* s = buffer_.data() + pos_;
    std::size_t i = 1;
    while (i < end && !isSpace(s[i]) && s[i] != '>' && s[i] != '/') ++i;
    name_ = localOf(std::string_view(s + 1, i - 1));
    attributes_.clear();
    for (;;) {
        while (i < end && isSpace(s[i])) ++i;
        if (i >= end || s[i] == '>' || s[i] == '/') return;
        const std::size_t nameStart = i;
        while (i < end && s[i] != '=' && !isSpace(s[i])) ++i;
        const std::string_view name(s + nameStart, i - nameStart);
        while (i < end && s[i] != '"' && s[i] != '\'') ++i;
        if (i >= end) malformed("an attribute without a value");
        const char quote = s[i];
        const std::size_t valueStart = ++i;
        while (i < end && s[i] != quote) ++i;
        if (i >= end) malformed("an unterminated attribute value");
        const std::string_view value(s + valueStart, i - valueStart);
        ++i;
        attributes_.push_back(
            {localOf(name), value, value.find_first_of("&\t\n\r") != std::string_view::npos});
    }
}

std::optional<std::string_view> XmlScanner::attribute(std::string_view local) {
    for (const auto& a : attributes_) {
        if (a.name != local) continue;
        if (!a.escaped) return a.value;
        decoded_.clear();
        if (!appendCharacters(a.value, decoded_)) malformed("an unknown reference in an attribute");
        for (char& c : decoded_)
            if (c == '\t' || c == '\n') c = ' ';
        return std::string_view(decoded_);
    }
    return std::nullopt;
}

XmlScanner::Tag XmlScanner::next() {
    for (;;) {
        const std::size_t lt = find('<', 0);
        if (lt == std::string::npos) {
            pos_ = end_;
            return Tag::EndOfInput;
        }
        pos_ += lt;
        if (!ensure(2)) malformed("a lone '<'");
        const char c = buffer_[pos_ + 1];
        if (c == '?') {
            passOver("?>");
            continue;
        }
        if (c == '!') {
            int depth = 0;
            markup(nullptr, depth);
            continue;
        }
        const std::size_t end = tagEnd(1);
        if (c == '/') {
            std::size_t i = 2;
            while (i < end - 1 && !isSpace(buffer_[pos_ + i])) ++i;
            name_ = localOf(std::string_view(buffer_.data() + pos_ + 2, i - 2));
            attributes_.clear();
            pos_ += end;
            return Tag::End;
        }
        startTag(end);
        const bool empty = buffer_[pos_ + end - 2] == '/';
        pos_ += end;
        return empty ? Tag::Empty : Tag::Start;
    }
}

void XmlScanner::passOver(std::string_view close) {
    const std::size_t at = findSequence(close, 2);
    if (at == std::string::npos) malformed("unterminated markup");
    pos_ += at + close.size();
}

// Markup at pos_ inside character data: a comment, CDATA (appended to out), a declaration, a
// processing instruction, or a tag, which changes depth.
void XmlScanner::markup(std::string* out, int& depth) {
    ensure(9);
    const std::string_view head(buffer_.data() + pos_, std::min<std::size_t>(9, end_ - pos_));
    if (head.starts_with("<!--")) return passOver("-->");
    if (head.starts_with("<?")) return passOver("?>");
    if (head.starts_with("<![CDATA[")) {
        const std::size_t at = findSequence("]]>", 9);
        if (at == std::string::npos) malformed("unterminated CDATA");
        if (out) out->append(buffer_.data() + pos_ + 9, at - 9);
        pos_ += at + 3;
        return;
    }
    if (head.starts_with("<!")) {
        pos_ += tagEnd(2);
        return;
    }
    // Taken before tagEnd(), whose reads may move the buffer under `head`.
    const bool closing = head.size() > 1 && head[1] == '/';
    const std::size_t end = tagEnd(1);
    if (closing)
        --depth;
    else if (buffer_[pos_ + end - 2] != '/')
        ++depth;
    pos_ += end;
}

// Character data in [pos_ + from, pos_ + to), appended decoded to out when given. A carriage
// return at the end of a piece is held until the next one shows whether a line feed follows.
void XmlScanner::characters(std::size_t from, std::size_t to, std::string* out) {
    if (!out || from == to) return;
    std::string_view raw(buffer_.data() + pos_ + from, to - from);
    if (pendingCr_) {
        pendingCr_ = false;
        *out += '\n';
        if (raw.front() == '\n') raw.remove_prefix(1);
    }
    if (!raw.empty() && raw.back() == '\r') {
        pendingCr_ = true;
        raw.remove_suffix(1);
    }
    if (!appendCharacters(raw, *out)) malformed("an unknown reference in character data");
}

void XmlScanner::text(std::string& out) {
    int depth = 1;
    pendingCr_ = false;
    while (depth > 0) {
        const std::size_t lt = find('<', 0);
        if (lt == std::string::npos) malformed("an unterminated element");
        // A reference cut by the end of the buffer cannot be: find() read up to the '<'.
        characters(0, lt, &out);
        pos_ += lt;
        if (pendingCr_) {
            pendingCr_ = false;
            out += '\n';
        }
        markup(&out, depth);
    }
}

void XmlScanner::skip() {
    int depth = 1;
    while (depth > 0) {
        const std::size_t lt = find('<', 0);
        if (lt == std::string::npos) malformed("an unterminated element");
        pos_ += lt;
        markup(nullptr, depth);
    }
}

}  // namespace sheets::xlsx
