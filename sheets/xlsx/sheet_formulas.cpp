// The formula pass: every place of a worksheet whose formulas may refer to the edited sheet.
#include <cstring>
#include <map>
#include <memory>
#include <set>

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

}  // namespace

// Shifts the formulas of one worksheet.
class FormulaPass {
public:
    // edit: on the edited sheet, the cells the edit writes, which break shared formulas they start.
    FormulaPass(const std::string& sheetName, const ColumnInsertion& ins, const SheetEdit* edit = nullptr)
        : own_(sheetName), ins_(ins), edited_(ins.isSheet(sheetName)), edit_(edit) {}

    void formulaText(pugi::xml_node node, bool& changed, int spread = 0) {
        const char* text = node.text().get();
        if (!*text) return;
        changed |= setText(node, shiftFormula(text, ins_, &own_, spread));
    }

    void cellFormula(pugi::xml_node cell, pugi::xml_node f, bool& changed) {
        const std::string_view type = f.attribute("t").value();
        if (type == "dataTable") return dataTable(f, changed);
        if (type == "shared") return sharedFormula(cell, f, changed);
        if (const auto ref = f.attribute("ref"); ref && type == "array" && edited_) {
            const auto area = parseArea(ref.value());
            if (area.c1 < ins_.at && ins_.at <= area.c2)
                throw Unsupported(
                    std::string("the insertion cuts through the array formula range ") + ref.value(),
                    u"插入列会穿过数组公式");
            changed |= setAttribute(f, "ref", shiftSqref(ref.value(), ins_));
        }
        formulaText(f, changed);
    }

private:
    // A data table (what-if analysis): its range moves like an array formula's, and its input cells,
    // on the same sheet, like cells.
    void dataTable(pugi::xml_node f, bool& changed) {
        if (!edited_) return;
        if (const auto ref = f.attribute("ref")) {
            const auto area = parseArea(ref.value());
            if (area.c1 < ins_.at && ins_.at <= area.c2)
                throw Unsupported(std::string("the insertion cuts through the data table ") + ref.value(),
                                  u"插入列会穿过模拟运算表");
            changed |= setAttribute(f, "ref", shiftSqref(ref.value(), ins_));
        }
        for (const char* input : {"r1", "r2"}) {
            if (const auto cell = f.attribute(input); *cell.value())
                changed |= setAttribute(f, input, shiftCellAddress(cell.value(), ins_));
        }
    }

    struct Master {
        std::string text;
        int row, column;
    };

    // A shared formula keeps one text for its cells unless the insertion cuts through them, gives
    // them different texts, or the edit writes over the cell that holds the text: then each of its
    // cells gets the formula it stands for.
    void sharedFormula(pugi::xml_node cell, pugi::xml_node f, bool& changed) {
        const std::string si = f.attribute("si").value();
        int column = 0, row = 0;
        if (!parseCell(cell.attribute("r").value(), column, row))
            throw Unsupported("a formula cell without its address", u"单元格缺少地址");
        if (!f.attribute("ref")) {
            const auto master = unshared_.find(si);
            if (master == unshared_.end()) {
                followers_.insert(si);
                return;
            }
            return ownFormula(f,
                              translateFormula(master->second.text, row - master->second.row,
                                               column - master->second.column),
                              changed);
        }
        const std::string ref = f.attribute("ref").value(), text = f.text().get();
        const auto area = parseArea(ref);
        const bool cut = edited_ && area.c1 < ins_.at && ins_.at <= area.c2;
        const auto shifted = cut || overwritten(row, column)
                                 ? std::nullopt
                                 : shiftSharedFormula(text, ins_, &own_, area.c2 - area.c1);
        if (shifted) {
            if (edited_) changed |= setAttribute(f, "ref", shiftSqref(ref, ins_));
            changed |= setText(f, *shifted);
            return;
        }
        if (followers_.count(si))
            throw Unsupported("cells of the shared formula " + si + " come before the one with its text",
                              u"共享公式的顺序无法识别");
        unshared_[si] = {text, row, column};
        ownFormula(f, text, changed);
    }

    void ownFormula(pugi::xml_node f, const std::string& formula, bool& changed) {
        for (const char* a : {"t", "ref", "si"}) f.remove_attribute(a);
        setText(f, shiftFormula(formula, ins_, &own_));
        changed = true;
    }

    // Whether the edit writes the cell at this place before the insertion.
    bool overwritten(int row, int column) const {
        if (!edited_ || !edit_) return false;
        const int at = ins_.shift(column);
        return static_cast<std::size_t>(row) <= edit_->cells.rowCount() && edit_->firstColumn <= at &&
               at < edit_->firstColumn + edit_->cells.width;
    }

public:
    void row(pugi::xml_node row, bool& changed) {
        for (auto c : row.children()) {
            for (auto f : c.children()) {
                if (f.type() == pugi::node_element && localName(f) == "f") cellFormula(c, f, changed);
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
                // Thresholds of colour scales, data bars and icon sets: a number, or a formula.
                for (auto v : descendants(node, "cfvo")) {
                    if (auto val = v.attribute("val"); *val.value())
                        changed |= setAttribute(v, "val", shiftFormula(val.value(), ins_, &own_));
                }
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
            } else if (name == "dataConsolidate") {
                consolidation(node, changed);
            }
        }
    }

    // The ranges a consolidation takes its data from, on this workbook's sheets by name.
    void consolidation(pugi::xml_node node, bool& changed) {
        for (auto ref : descendants(node, "dataRef")) {
            if (ref.attribute("r:id") || ref.attribute("name")) continue;
            const std::string sheet = ref.attribute("sheet") ? ref.attribute("sheet").value() : own_;
            if (ins_.isSheet(sheet))
                changed |= setAttribute(ref, "ref", shiftSqref(ref.attribute("ref").value(), ins_));
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
    const SheetEdit* edit_;
    std::map<std::string, Master> unshared_;
    std::set<std::string> followers_;
};

namespace {

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

std::string encodeEntities(const std::string& s) {
    std::string out;
    for (char c : s) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// The cells form controls are linked to, as formulas in a VML part (x:FmlaLink, x:FmlaRange, ...)
// or in a control's properties (fmlaLink, fmlaRange, ... attributes), moved like any formula's
// references. Their macros are names, left alone. Both kinds of part are edited as text: VML is
// often not well-formed XML.
std::string shiftControlLinks(std::string text, const ColumnInsertion& ins, const std::string& ownSheet) {
    for (const char* kind : {"Link", "Range", "Txbx", "Group", "Pict"}) {
        for (const auto& [opening, closing] : {std::pair{std::string("<x:Fmla") + kind + ">", '<'},
                                               std::pair{std::string("fmla") + kind + "=\"", '"'}}) {
            for (auto pos = text.find(opening); pos != std::string::npos; pos = text.find(opening, pos + 1)) {
                const auto begin = pos + opening.size(), end = text.find(closing, begin);
                if (end == std::string::npos)
                    throw Unsupported("an unterminated control link", u"表单控件的链接无法识别");
                const auto link = decodeEntities(text.substr(begin, end - begin));
                const auto shifted = shiftFormula(link, ins, &ownSheet);
                if (shifted != link) text.replace(begin, end - begin, encodeEntities(shifted));
            }
        }
    }
    return text;
}

}  // namespace

RowFormulas::RowFormulas(const ColumnInsertion& insertion, const SheetEdit& edit)
    : pass_(std::make_unique<FormulaPass>(insertion.sheet, insertion, &edit)) {}

RowFormulas::~RowFormulas() = default;

void RowFormulas::shift(pugi::xml_node row) {
    bool changed = false;
    pass_->row(row, changed);
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
        } else if (rel.type == "vmlDrawing" || rel.type == "ctrlProp") {
            auto& package = parts.package();
            const auto text = package.read(rel.part);
            if (auto shifted = shiftControlLinks(text, insertion, sheetName); shifted != text)
                package.replace(rel.part, std::move(shifted));
        }
    }
}

}  // namespace sheets::xlsx
