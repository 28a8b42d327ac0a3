#include "sheets/xlsx/styles.h"

#include "sheets/format_code.h"
#include "sheets/xlsx/xlsx_writer.h"

namespace sheets::xlsx {
namespace {

constexpr const char* kMain = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
constexpr const char* kRelationship =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles";
constexpr const char* kContentType = "application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml";

// What Excel takes for a workbook without styles: Calibri 11, no fill, no border, one cell format.
std::string defaultStyles() {
    return std::string(R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)") +
           "\n<styleSheet xmlns=\"" + kMain +
           R"("><fonts count="1"><font><sz val="11"/><name val="Calibri"/><family val="2"/></font></fonts>)"
           R"(<fills count="2"><fill><patternFill patternType="none"/></fill><fill><patternFill patternType="gray125"/></fill></fills>)"
           R"(<borders count="1"><border><left/><right/><top/><bottom/><diagonal/></border></borders>)"
           R"(<cellStyleXfs count="1"><xf numFmtId="0" fontId="0" fillId="0" borderId="0"/></cellStyleXfs>)"
           R"(<cellXfs count="1"><xf numFmtId="0" fontId="0" fillId="0" borderId="0" xfId="0"/></cellXfs>)"
           R"(<cellStyles count="1"><cellStyle name="Normal" xfId="0" builtinId="0"/></cellStyles></styleSheet>)";
}

std::string canonical(pugi::xml_node xf) {
    std::map<std::string, std::string> attributes;
    for (auto a : xf.attributes()) attributes[a.name()] = a.value();
    std::string out;
    for (const auto& [k, v] : attributes) out += k + "=" + v + ";";
    XmlOutput writer(out);
    for (auto c : xf.children()) c.print(writer, "", pugi::format_raw);
    return out;
}

// A part name beside `near` that the package does not have yet.
std::string newPartName(Parts& parts, const std::string& near, const std::string& stem) {
    const auto folder = near.substr(0, near.rfind('/') + 1);
    std::string name = folder + stem + ".xml";
    for (int i = 1; parts.has(name); ++i) name = folder + stem + std::to_string(i) + ".xml";
    return name;
}

void relate(Parts& parts, const std::string& from, const std::string& target) {
    auto& rels = parts.get(relationshipsPartOf(from));
    std::string id;
    for (int i = 1; id.empty(); ++i) {
        id = "rId" + std::to_string(i);
        for (auto rel : children(rels.root(), "Relationship"))
            if (id == rel.attribute("Id").value()) id.clear();
    }
    auto rel = rels.root().append_child((prefixOf(rels.root()) + "Relationship").c_str());
    rel.append_attribute("Id").set_value(id.c_str());
    rel.append_attribute("Type").set_value(kRelationship);
    rel.append_attribute("Target").set_value(target.c_str());
    rels.changed = true;
}

}  // namespace

Styles::Styles(XmlPart* part, std::function<XmlPart&()> create) : part_(part), create_(std::move(create)) {
    if (!part_) return;
    cellXfs_ = child(part_->root(), "cellXfs");
    numFmts_ = child(part_->root(), "numFmts");
    for (auto f : children(numFmts_, "numFmt")) {
        const int id = f.attribute("numFmtId").as_int();
        codes_.emplace(f.attribute("formatCode").value(), id);
        nextId_ = std::max(nextId_, id + 1);
    }
    xfs_ = children(cellXfs_, "xf");
}

XmlPart& Styles::part() {
    if (!part_) *this = Styles(&create_(), create_);
    return *part_;
}

int Styles::formatId(const std::string& code) {
    if (const int id = builtInFormatId(code); id >= 0) return id;
    if (const auto it = codes_.find(code); it != codes_.end()) return it->second;
    auto& styles = part();
    const auto prefix = prefixOf(styles.root());
    if (!numFmts_) numFmts_ = styles.root().prepend_child((prefix + "numFmts").c_str());
    auto f = numFmts_.append_child((prefix + "numFmt").c_str());
    f.append_attribute("numFmtId").set_value(nextId_);
    f.append_attribute("formatCode").set_value(code.c_str());
    setAttribute(numFmts_, "count", std::to_string(children(numFmts_, "numFmt").size()));
    styles.changed = true;
    codes_.emplace(code, nextId_);
    return nextId_++;
}

int Styles::withFormat(int base, int formatId) {
    part();
    if (!cellXfs_ || base < 0 || base >= static_cast<int>(xfs_.size()))
        throw Unsupported("no cell format " + std::to_string(base) + " in the styles", u"样式无法读取");
    if (xfs_[base].attribute("numFmtId").as_int() == formatId) return base;
    if (const auto it = made_.find({base, formatId}); it != made_.end()) return it->second;
    auto xf = cellXfs_.append_copy(xfs_[base]);
    setAttribute(xf, "numFmtId", std::to_string(formatId));
    setAttribute(xf, "applyNumberFormat", "1");
    int index = static_cast<int>(xfs_.size());
    addCellFormat(xf, index);
    made_[{base, formatId}] = index;
    return index;
}

// Keeps the new cell format at `index`, or drops it for an equal one that is already there.
void Styles::addCellFormat(pugi::xml_node xf, int& index) {
    const auto text = canonical(xf);
    for (std::size_t i = 0; i < xfs_.size(); ++i) {
        if (canonical(xfs_[i]) == text) {
            cellXfs_.remove_child(xf);
            index = static_cast<int>(i);
            return;
        }
    }
    xfs_.push_back(xf);
    setAttribute(cellXfs_, "count", std::to_string(xfs_.size()));
    part_->changed = true;
}

XmlPart& addStyles(Parts& parts, const std::string& workbookPart) {
    const auto name = newPartName(parts, workbookPart, "styles");
    auto& styles = parts.adopt(name, defaultStyles());
    styles.changed = true;
    relate(parts, workbookPart, name.substr(name.rfind('/') + 1));
    auto& types = parts.get("[Content_Types].xml");
    auto type = types.root().append_child((prefixOf(types.root()) + "Override").c_str());
    type.append_attribute("PartName").set_value(("/" + name).c_str());
    type.append_attribute("ContentType").set_value(kContentType);
    types.changed = true;
    return styles;
}

}  // namespace sheets::xlsx
