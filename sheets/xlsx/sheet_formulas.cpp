// The formula pass: every place of a worksheet whose formulas may refer to the edited sheet.
#include <cstring>

#include "sheets/xlsx/insertion.h"
#include "sheets/xlsx/xlsx_writer.h"

namespace sheets::xlsx {
namespace {

struct Area {
    int c1 = 0, r1 = 0, c2 = 0, r2 = 0;
};

Area parseArea(std::string_view ref) {
    Area a;
    const auto colon = ref.find(':');
    const auto second = colon == std::string_view::npos ? ref : ref.substr(colon + 1);
    if (!parseCell(ref.substr(0, colon), a.c1, a.r1) || !parseCell(second, a.c2, a.r2)) {
        throw Unsupported("cannot read the range \"" + std::string(ref) + "\"", u"区域无法识别");
    }
    return a;
}

class FormulaPass {
public:
    FormulaPass(const std::string& sheetName, const ColumnInsertion& ins)
        : own_(sheetName), ins_(ins), edited_(ins.isSheet(sheetName)) {}

    void formulaText(pugi::xml_node node, bool& changed, int spread = 0) {
        const char* text = node.text().get();
        if (!*text) return;
        changed |= setText(node, shiftFormula(text, ins_, &own_, spread));
    }

    void cellFormula(pugi::xml_node f, bool& changed) {
        const std::string_view type = f.attribute("t").value();
        const auto ref = f.attribute("ref");
        if (type == "dataTable") {
            if (edited_) throw Unsupported("a data table on the edited sheet", u"工作表中有模拟运算表");
            return;
        }
        int spread = 0;
        if (ref && (type == "shared" || type == "array")) {
            const auto area = parseArea(ref.value());
            if (type == "shared") spread = area.c2 - area.c1;
            if (edited_ && area.c1 < ins_.at && ins_.at <= area.c2) {
                throw Unsupported(std::string("the insertion cuts through the ") + std::string(type) +
                                      " formula range " + ref.value(),
                                  type == "array" ? u"插入列会穿过数组公式" : u"插入列会穿过共享公式");
            }
            if (edited_) changed |= setAttribute(f, "ref", shiftSqref(ref.value(), ins_));
        }
        formulaText(f, changed, spread);
    }

    void row(pugi::xml_node row, bool& changed) {
        for (auto c : row.children()) {
            for (auto f : c.children()) {
                if (f.type() == pugi::node_element && localName(f) == "f") cellFormula(f, changed);
            }
        }
    }

    void sheet(pugi::xml_node root, bool& changed) {
        for (auto node : root.children()) {
            const auto name = localName(node);
            if (name == "sheetData") {
                for (auto r : node.children()) row(r, changed);
            } else if (name == "conditionalFormatting") {
                for (auto f : descendants(node, "formula")) formulaText(f, changed);
            } else if (name == "dataValidations") {
                for (auto f : descendants(node, "formula1")) formulaText(f, changed);
                for (auto f : descendants(node, "formula2")) formulaText(f, changed);
            } else if (name == "hyperlinks") {
                for (auto h : children(node, "hyperlink")) {
                    if (auto loc = h.attribute("location")) {
                        changed |= setAttribute(h, "location", shiftFormula(loc.value(), ins_, &own_));
                    }
                }
            } else if (name == "extLst") {
                for (auto f : descendants(node, "f")) formulaText(f, changed);
            }
        }
    }

    void tablePart(XmlPart& table) {
        for (const char* name : {"calculatedColumnFormula", "totalsRowFormula"}) {
            for (auto f : descendants(table.root(), name)) formulaText(f, table.changed);
        }
    }

    void drawingPart(XmlPart& drawing) {
        for (auto sp : descendants(drawing.root(), "sp")) {
            if (auto link = sp.attribute("textlink"); link && *link.value()) {
                drawing.changed |= setAttribute(sp, "textlink", shiftFormula(link.value(), ins_, &own_));
            }
        }
    }

    bool edited() const { return edited_; }

private:
    const std::string& own_;
    const ColumnInsertion& ins_;
    bool edited_;
};

// A part of another sheet can only refer to the edited sheet through a sheet name and '!'.
bool mayReferToOtherSheet(Package& package, const std::string& part) {
    return package.read(part).find('!') != std::string::npos;
}

std::string decodeEntities(std::string s) {
    static const std::pair<std::string_view, char> kEntities[] = {
        {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}, {"&amp;", '&'}};
    for (const auto& [entity, c] : kEntities) {
        for (auto pos = s.find(entity); pos != std::string::npos; pos = s.find(entity, pos + 1)) {
            s.replace(pos, entity.size(), 1, c);
        }
    }
    return s;
}

// Form controls of another sheet linked to the edited sheet would lose their cells.
void checkControlLinks(Package& package, const std::string& part, const std::string& sheetName,
                       const ColumnInsertion& ins) {
    for (const auto& link : controlLinks(package.read(part))) {
        if (shiftFormula(link, ins, &sheetName) != link) {
            throw Unsupported("a form control in " + part + " is linked to the moved cells " + link,
                              u"其他工作表中有链接到该工作表的表单控件");
        }
    }
}

}  // namespace

std::vector<std::string> controlLinks(const std::string& text) {
    std::vector<std::string> out;
    for (const char* kind : {"Link", "Range", "Txbx", "Group", "Pict"}) {
        const std::string element = std::string("<x:Fmla") + kind + ">",
                          attribute = std::string("fmla") + kind + "=\"";
        for (auto pos = text.find(element); pos != std::string::npos; pos = text.find(element, pos + 1)) {
            const auto begin = pos + element.size();
            out.push_back(decodeEntities(text.substr(begin, text.find('<', begin) - begin)));
        }
        for (auto pos = text.find(attribute); pos != std::string::npos; pos = text.find(attribute, pos + 1)) {
            const auto begin = pos + attribute.size();
            out.push_back(decodeEntities(text.substr(begin, text.find('"', begin) - begin)));
        }
    }
    return out;
}

void shiftRowFormulas(pugi::xml_node row, const ColumnInsertion& insertion) {
    bool changed = false;
    FormulaPass(insertion.sheet, insertion).row(row, changed);
}

void shiftSheetFormulas(Parts& parts, const std::string& sheetPart, const std::string& sheetName,
                        const ColumnInsertion& insertion) {
    FormulaPass pass(sheetName, insertion);
    if (pass.edited() || mayReferToOtherSheet(parts.package(), sheetPart)) {
        auto& sheet = parts.get(sheetPart);
        pass.sheet(sheet.root(), sheet.changed);
    }
    for (const auto& rel : relationshipsOf(parts, sheetPart)) {
        if (rel.external || !parts.has(rel.part)) continue;
        if (rel.type == "table" && (pass.edited() || mayReferToOtherSheet(parts.package(), rel.part))) {
            pass.tablePart(parts.get(rel.part));
        } else if (rel.type == "drawing" &&
                   parts.package().read(rel.part).find("textlink") != std::string::npos) {
            pass.drawingPart(parts.get(rel.part));
        } else if ((rel.type == "vmlDrawing" || rel.type == "ctrlProp") && !pass.edited()) {
            checkControlLinks(parts.package(), rel.part, sheetName, insertion);
        }
    }
}

}  // namespace sheets::xlsx
