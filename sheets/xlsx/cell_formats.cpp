#include "sheets/xlsx/cell_formats.h"

#include <map>

#include <pugixml.hpp>

#include "sheets/failure.h"
#include "sheets/xlsx/package.h"
#include "sheets/xlsx/xml.h"

namespace sheets::xlsx {
namespace {

std::string printed(pugi::xml_node node) {
    struct Writer : pugi::xml_writer {
        std::string out;
        void write(const void* data, size_t size) override {
            out.append(static_cast<const char*>(data), size);
        }
    } writer;
    node.print(writer, "", pugi::format_raw);
    return writer.out;
}

// A fill that shows: a pattern of any kind, or a gradient; "" for none.
std::string fillLook(pugi::xml_node fill) {
    if (auto pattern = child(fill, "patternFill")) {
        const std::string type = pattern.attribute("patternType").value();
        return type.empty() || type == "none" ? "" : "p" + printed(pattern);
    }
    if (auto gradient = child(fill, "gradientFill")) return "g" + printed(gradient);
    return "";
}

// A border that shows: a line on a side, or a diagonal one drawn up or down; "" for none.
std::string borderLook(pugi::xml_node border) {
    bool shows = false;
    for (const char* side : {"left", "right", "top", "bottom", "start", "end"}) {
        const std::string style = child(border, side).attribute("style").value();
        shows |= !style.empty() && style != "none";
    }
    const std::string diagonal = child(border, "diagonal").attribute("style").value();
    if (!diagonal.empty() && diagonal != "none" &&
        (border.attribute("diagonalUp").as_bool() || border.attribute("diagonalDown").as_bool()))
        shows = true;
    return shows ? "b" + printed(border) : "";
}

// An xf's id of a kind: its own when it has one, else its cell style's.
int idOf(pugi::xml_node xf, pugi::xml_node style, const char* name) {
    if (auto own = xf.attribute(name)) return own.as_int();
    return style.attribute(name).as_int(0);
}

}  // namespace

CellFormats::CellFormats(const Package& package, const std::string& stylesPart, NumberLocale locale) {
    std::string text = stylesPart.empty() ? std::string() : package.read(stylesPart);
    pugi::xml_document doc;
    if (!text.empty() && !doc.load_buffer_inplace(text.data(), text.size()))
        throw Failure("cannot parse " + stylesPart);
    const auto root = doc.document_element();
    std::map<int, std::string> codes;
    for (auto f : children(child(root, "numFmts"), "numFmt"))
        codes[f.attribute("numFmtId").as_int()] = f.attribute("formatCode").value();
    const auto fills = children(child(root, "fills"), "fill");
    const auto borders = children(child(root, "borders"), "border");
    const auto styles = children(child(root, "cellStyleXfs"), "xf");
    std::map<std::string, int> looks{{"|", 0}};
    auto xfs = children(child(root, "cellXfs"), "xf");
    if (xfs.empty()) xfs.push_back(pugi::xml_node());
    for (auto xf : xfs) {
        const auto styleIndex = static_cast<std::size_t>(xf.attribute("xfId").as_int(0));
        const pugi::xml_node style = styleIndex < styles.size() ? styles[styleIndex] : pugi::xml_node();
        CellFormat f;
        const int numFmt = idOf(xf, style, "numFmtId");
        const auto code = codes.find(numFmt);
        const OfficeNumberFormat number = code != codes.end() ? officeFormatOfCode(code->second, locale)
                                                              : officeBuiltInFormat(numFmt, locale);
        f.date = number.date;
        f.uncertain = number.why;
        f.general = number.why.empty() && number.format.code.empty();
        if (!f.general) f.format = std::make_shared<const NumberFormat>(number.format);
        const auto fill = static_cast<std::size_t>(idOf(xf, style, "fillId"));
        const auto border = static_cast<std::size_t>(idOf(xf, style, "borderId"));
        const std::string key = (fill < fills.size() ? fillLook(fills[fill]) : "") + "|" +
                                (border < borders.size() ? borderLook(borders[border]) : "");
        const auto [it, added] = looks.emplace(key, static_cast<int>(looks.size()));
        if (added) visible_.push_back(true);
        f.look = it->second;
        formats_.push_back(std::move(f));
    }
}

const CellFormat& CellFormats::at(int index) const {
    return index >= 0 && static_cast<std::size_t>(index) < formats_.size()
               ? formats_[static_cast<std::size_t>(index)]
               : formats_.front();
}

std::vector<int> CellFormats::looks() const {
    std::vector<int> out;
    for (const auto& f : formats_) out.push_back(f.look);
    return out;
}

}  // namespace sheets::xlsx
