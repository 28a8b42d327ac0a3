#pragma once

#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace sheets::xlsx {

// How every part and row is read: as an XML reader sees it (line ends and whitespace in attributes
// normalised, a character reference such as &#13; kept as its character), with whitespace,
// comments and processing instructions kept, so that what is written back reads the same.
inline constexpr unsigned kParseOptions = pugi::parse_default | pugi::parse_declaration |
                                          pugi::parse_ws_pcdata | pugi::parse_comments | pugi::parse_pi |
                                          pugi::parse_doctype;

// Collects what pugixml prints. A carriage return can only have come from a character reference, and
// a raw one in element text would be read back as a line feed: it is written as &#13; again.
class XmlOutput : public pugi::xml_writer {
public:
    explicit XmlOutput(std::string& out) : out_(out) {}
    void write(const void* data, size_t size) override;

private:
    std::string& out_;
};

// A damaged part: the package is not a workbook this writer can read, and so not one to store.
[[noreturn]] void damaged(const std::string& detail);

// A part's XML, kept as close to its text as a DOM allows: whitespace, comments and processing
// instructions stay; only what an edit sets is written anew.
class XmlPart {
public:
    XmlPart(std::string name, std::string text);
    pugi::xml_node root() const { return doc_.document_element(); }
    std::string text() const;
    const std::string& name() const { return name_; }
    bool changed = false;

private:
    std::string name_;
    std::string buffer_;
    pugi::xml_document doc_;
};

// The element's name without its namespace prefix.
std::string_view localName(pugi::xml_node node);
pugi::xml_node child(pugi::xml_node parent, std::string_view local);
std::vector<pugi::xml_node> children(pugi::xml_node parent, std::string_view local);
// Every element below `top` with that local name, in document order.
std::vector<pugi::xml_node> descendants(pugi::xml_node top, std::string_view local);
// The prefix of the element's name with its colon ("x:"), or "".
std::string prefixOf(pugi::xml_node node);
// Sets an attribute, telling whether its value changed.
bool setAttribute(pugi::xml_node node, const char* name, const std::string& value);
// Sets an element's text, telling whether it changed.
bool setText(pugi::xml_node node, const std::string& value);

}  // namespace sheets::xlsx
