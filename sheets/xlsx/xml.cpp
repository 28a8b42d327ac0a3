#include "sheets/xlsx/xml.h"

#include <algorithm>
#include <cstring>

#include "sheets/xlsx/xlsx_writer.h"

namespace sheets::xlsx {
void XmlOutput::write(const void* data, size_t size) {
    const std::string_view chunk(static_cast<const char*>(data), size);
    for (std::size_t pos = 0; pos < chunk.size();) {
        const auto cr = std::min(chunk.find('\r', pos), chunk.size());
        out_.append(chunk.substr(pos, cr - pos));
        if (cr < chunk.size()) out_ += "&#13;";
        pos = cr + 1;
    }
}

void damaged(const std::string& detail) {
    throw Failure(detail, FailureCause(FailureCause::Kind::Damaged));
}

XmlPart::XmlPart(std::string name, std::string text) : name_(std::move(name)), buffer_(std::move(text)) {
    if (buffer_.starts_with("\xFF\xFE") || buffer_.starts_with("\xFE\xFF"))
        throw Unsupported(name_ + " is written in UTF-16", u"文件中有 UTF-16 编码的部分");
    const auto result =
        doc_.load_buffer_inplace(buffer_.data(), buffer_.size(), kParseOptions, pugi::encoding_utf8);
    if (!result)
        damaged("cannot parse " + name_ + ": " + result.description() + " at " +
                std::to_string(result.offset));
}

std::string XmlPart::text() const {
    std::string out;
    out.reserve(buffer_.size() + 1024);
    XmlOutput writer(out);
    doc_.save(writer, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
    return out;
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
