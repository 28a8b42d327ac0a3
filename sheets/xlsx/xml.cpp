#include "sheets/xlsx/xml.h"

#include <cstring>
#include <sstream>

#include "sheets/xlsx/xlsx_writer.h"

namespace sheets::xlsx {
namespace {

// No end-of-line or attribute whitespace normalisation: text comes back as it was.
constexpr unsigned kParseOptions = (pugi::parse_default | pugi::parse_declaration | pugi::parse_ws_pcdata |
                                    pugi::parse_comments | pugi::parse_pi | pugi::parse_doctype) &
                                   ~(pugi::parse_eol | pugi::parse_wconv_attribute);

struct StringWriter : pugi::xml_writer {
    std::string out;
    void write(const void* data, size_t size) override { out.append(static_cast<const char*>(data), size); }
};

}  // namespace

XmlPart::XmlPart(std::string name, std::string text) : name_(std::move(name)), buffer_(std::move(text)) {
    const auto result =
        doc_.load_buffer_inplace(buffer_.data(), buffer_.size(), kParseOptions, pugi::encoding_utf8);
    if (!result) {
        throw Unsupported(
            "cannot parse " + name_ + ": " + result.description() + " at " + std::to_string(result.offset),
            u"文件中有无法读取的部分");
    }
}

std::string XmlPart::text() const {
    StringWriter writer;
    writer.out.reserve(buffer_.size() + 1024);
    doc_.save(writer, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
    return std::move(writer.out);
}

std::string_view localName(pugi::xml_node node) {
    std::string_view name = node.name();
    const auto colon = name.find(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

pugi::xml_node child(pugi::xml_node parent, std::string_view local) {
    for (auto c : parent.children()) {
        if (c.type() == pugi::node_element && localName(c) == local) return c;
    }
    return {};
}

std::vector<pugi::xml_node> children(pugi::xml_node parent, std::string_view local) {
    std::vector<pugi::xml_node> out;
    for (auto c : parent.children()) {
        if (c.type() == pugi::node_element && localName(c) == local) out.push_back(c);
    }
    return out;
}

std::vector<pugi::xml_node> descendants(pugi::xml_node top, std::string_view local) {
    std::vector<pugi::xml_node> out;
    struct Walker : pugi::xml_tree_walker {
        std::string_view local;
        std::vector<pugi::xml_node>* out;
        bool for_each(pugi::xml_node& n) override {
            if (n.type() == pugi::node_element && localName(n) == local) out->push_back(n);
            return true;
        }
    } walker;
    walker.local = local;
    walker.out = &out;
    top.traverse(walker);
    return out;
}

std::string prefixOf(pugi::xml_node node) {
    std::string_view name = node.name();
    const auto colon = name.find(':');
    return colon == std::string_view::npos ? "" : std::string(name.substr(0, colon + 1));
}

bool setAttribute(pugi::xml_node node, const char* name, const std::string& value) {
    auto a = node.attribute(name);
    if (a && value == a.value()) return false;
    if (!a) a = node.append_attribute(name);
    a.set_value(value.c_str());
    return true;
}

bool setText(pugi::xml_node node, const std::string& value) {
    if (value == node.text().get()) return false;
    node.text().set(value.c_str());
    return true;
}

}  // namespace sheets::xlsx
