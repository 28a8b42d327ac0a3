#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sheets::xlsx {

// Where a scanner takes its bytes from.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Up to max bytes into out; 0 at the end.
    virtual std::size_t read(char* out, std::size_t max) = 0;
};

// A forward-only scanner of a part's XML, for parts too large for a DOM: tags with their attributes
// and the character data of elements, read as an XML parser reads them (line ends normalised,
// entities and character references decoded, CDATA taken as it is). Comments, processing
// instructions and declarations are passed over. Names are local names: a prefix is dropped. The
// views it hands out stay valid until the next call. Throws Failure for XML that is not well-formed
// as far as it looks.
class XmlScanner {
public:
    enum class Tag { Start, End, Empty, EndOfInput };

    explicit XmlScanner(ByteSource& source, std::string part);

    // The next tag; the character data before it is passed over.
    Tag next();
    std::string_view name() const { return name_; }
    // An attribute of the current start tag, entities decoded; nullopt when it has none of that name.
    std::optional<std::string_view> attribute(std::string_view local);
    // After a start tag: appends the character data up to the matching end tag, that of elements
    // inside it included, and moves past that end tag.
    void text(std::string& out);
    // After a start tag: moves past the matching end tag.
    void skip();
    // Bytes of the part read so far.
    std::uint64_t consumed() const { return consumed_ + pos_; }

private:
    struct Attribute {
        std::string_view name, value;
        bool escaped;
    };

    [[noreturn]] void malformed(const std::string& why) const;
    bool fill();
    bool ensure(std::size_t n);
    std::size_t find(char c, std::size_t from);
    std::size_t findSequence(std::string_view s, std::size_t from);
    std::size_t tagEnd(std::size_t from);
    void startTag(std::size_t end);
    void passOver(std::string_view close);
    void markup(std::string* out, int& depth);
    void characters(std::size_t from, std::size_t to, std::string* out);

    ByteSource& source_;
    std::string part_;
    std::vector<char> buffer_;
    std::size_t pos_ = 0, end_ = 0;
    std::uint64_t consumed_ = 0;
    bool eof_ = false;
    bool pendingCr_ = false;  // a carriage return ended the last piece of character data
    std::string_view name_;
    std::vector<Attribute> attributes_;
    std::string decoded_;
};

// Appends the character data of raw XML text (entities and references decoded, line ends
// normalised); false when it holds a reference the scanner does not know.
bool appendCharacters(std::string_view raw, std::string& out);

}  // namespace sheets::xlsx
