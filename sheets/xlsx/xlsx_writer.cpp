#include "sheets/xlsx/xlsx_writer.h"

#include "sheets/utf8.h"
#include "sheets/xlsx/cell_writer.h"
#include "sheets/xlsx/insertion.h"
#include "sheets/xlsx/package.h"
#include "sheets/xlsx/parts.h"
#include "sheets/xlsx/row_stream.h"
#include "sheets/xlsx/styles.h"

namespace sheets::xlsx {
namespace {

struct Sheet {
    std::string name;
    std::string part;
    std::string type;  // worksheet, chartsheet, dialogsheet, xlMacrosheet, ...
};

std::string workbookPartOf(Parts& parts) {
    for (const auto& rel : relationshipsOf(parts, "")) {
        if (rel.type == "officeDocument" && parts.has(rel.part)) return rel.part;
    }
    damaged("the package has no workbook");
}

std::vector<Sheet> sheetsOf(Parts& parts, const std::string& workbookPart) {
    const auto rels = relationshipsOf(parts, workbookPart);
    std::vector<Sheet> out;
    for (auto sheet : children(child(parts.get(workbookPart).root(), "sheets"), "sheet")) {
        const std::string id = sheet.attribute("r:id").value();
        Sheet s{sheet.attribute("name").value(), {}, {}};
        for (const auto& rel : rels) {
            if (rel.id == id) s.part = rel.part, s.type = rel.type;
        }
        if (s.part.empty() || !parts.has(s.part)) damaged("sheet " + s.name + " has no part");
        out.push_back(std::move(s));
    }
    return out;
}

bool isProtected(XmlPart& sheet) {
    const auto protection = child(sheet.root(), "sheetProtection");
    return protection && protection.attribute("sheet").as_bool();
}

// The calculation chain lists formula cells by address; Excel rebuilds it when it is missing.
void dropCalculationChain(Parts& parts, const std::string& workbookPart) {
    auto& rels = parts.get(relationshipsPartOf(workbookPart));
    for (auto rel : children(rels.root(), "Relationship")) {
        const std::string type = rel.attribute("Type").value();
        if (type.substr(type.rfind('/') + 1) != "calcChain") continue;
        const auto part = resolvePartName(workbookPart, rel.attribute("Target").value());
        rels.root().remove_child(rel);
        rels.changed = true;
        parts.package().remove(part);
        auto& types = parts.get("[Content_Types].xml");
        for (auto o : children(types.root(), "Override")) {
            if (o.attribute("PartName").value() == "/" + part) {
                types.root().remove_child(o);
                types.changed = true;
            }
        }
    }
}

// Formulas are computed anew on load, since the cached results around the edit are stale.
void markFullCalculation(XmlPart& workbook) {
    auto root = workbook.root();
    auto calcPr = child(root, "calcPr");
    if (!calcPr) {
        pugi::xml_node after;
        for (const char* name :
             {"fileVersion", "fileSharing", "workbookPr", "workbookProtection", "bookViews", "sheets",
              "functionGroups", "externalReferences", "definedNames"}) {
            if (auto n = child(root, name)) after = n;
        }
        const auto name = prefixOf(root) + "calcPr";
        calcPr = after ? root.insert_child_after(name.c_str(), after) : root.prepend_child(name.c_str());
    }
    workbook.changed |= setAttribute(calcPr, "fullCalcOnLoad", "1");
}

void checkEdit(const SheetEdit& edit) {
    const bool inserting = edit.insertCount > 0;
    if (edit.insertCount < 0 || (inserting && (edit.insertAt < 1 || edit.insertAt > kMaxColumn)) ||
        edit.firstColumn < 1 || edit.firstColumn > kMaxColumn || edit.cells.width < 0) {
        throw Failure("an edit outside the sheet");
    }
}

const Sheet& editedSheet(const std::vector<Sheet>& sheets, const WorkbookEdit& edit,
                         const std::string& path) {
    if (edit.sheetPosition < 1 || edit.sheetPosition > static_cast<int>(sheets.size()))
        throw Failure("no sheet at position " + std::to_string(edit.sheetPosition) + " in " + path);
    const auto& target = sheets[static_cast<std::size_t>(edit.sheetPosition - 1)];
    if (target.type != "worksheet")
        throw Unsupported("sheet " + target.name + " is a " + target.type, u"目标不是工作表");
    // The office counted the sheets of this file otherwise: it knows which sheet it changed.
    if (!edit.sheetName.empty() && fromUtf8(target.name) != edit.sheetName)
        throw Unsupported("sheet " + std::to_string(edit.sheetPosition) + " is " + target.name + ", not " +
                              toUtf8(edit.sheetName),
                          u"按位置找到的工作表与 LibreOffice 打开的不是同一个");
    return target;
}

// Every reference of the workbook that points at or beyond the inserted columns moves right; the
// edited sheet's own rows move later, one at a time.
ColumnInsertion shiftReferences(Parts& parts, const std::string& workbookPart,
                                const std::vector<Sheet>& sheets, const Sheet& target,
                                const SheetEdit& edit) {
    ColumnInsertion insertion{target.name, edit.insertAt, edit.insertCount, {}};
    for (const auto& s : sheets) insertion.sheetOrder.push_back(s.name);
    if (edit.insertCount == 0) return insertion;
    for (const auto& s : sheets)
        if (s.type == "worksheet" || s.type == "xlMacrosheet" || s.type == "xlIntlMacrosheet")
            shiftSheetFormulas(parts, s.part, s.name, insertion);
    shiftWorkbookReferences(parts, workbookPart, insertion);
    shiftEditedSheet(parts, target.part, insertion);
    return insertion;
}

XmlPart* stylesOf(Parts& parts, const std::string& workbookPart) {
    XmlPart* styles = nullptr;
    for (const auto& rel : relationshipsOf(parts, workbookPart))
        if (rel.type == "styles" && parts.has(rel.part)) styles = &parts.get(rel.part);
    return styles;
}

void apply(const std::string& path, const WorkbookEdit& workbookEdit,
           const std::optional<FileIdentity>& expected) {
    const SheetEdit& edit = workbookEdit.edit;
    checkEdit(edit);
    Package package(path);
    Parts parts(package);
    const auto workbookPart = workbookPartOf(parts);
    const auto sheets = sheetsOf(parts, workbookPart);
    const auto& target = editedSheet(sheets, workbookEdit, path);
    const SheetRows rows(target.part, package.read(target.part));
    auto& sheet = parts.adopt(target.part, rows.frame());
    if (isProtected(sheet)) throw Unsupported("sheet " + target.name + " is protected", u"工作表受保护");
    const ColumnInsertion insertion = shiftReferences(parts, workbookPart, sheets, target, edit);

    auto& workbook = parts.get(workbookPart);
    const bool date1904 = child(workbook.root(), "workbookPr").attribute("date1904").as_bool();
    CellWriter cells(
        sheet, stylesOf(parts, workbookPart), [&]() -> XmlPart& { return addStyles(parts, workbookPart); },
        edit, date1904);
    cells.finish();
    RowFormulas formulas(insertion, edit);
    auto sheetText = rows.join(sheet.text(), formulas, insertion, cells);
    sheet.changed = false;
    dropCalculationChain(parts, workbookPart);
    markFullCalculation(workbook);
    parts.store();
    package.replace(target.part, std::move(sheetText));
    package.writeOver(expected);
}

}  // namespace

void applyInPlace(const std::string& path, const WorkbookEdit& edit,
                  const std::optional<FileIdentity>& expected) {
    try {
        apply(path, edit, expected);
    } catch (const Unsupported&) {
        throw;
    } catch (const Failure& f) {
        // Where the package code found the damage, it did not know the file.
        if (f.cause().kind != FailureCause::Kind::Damaged || !f.cause().file.empty()) throw;
        throw Failure(path + ": " + f.what(), causeAbout(FailureCause::Kind::Damaged, path));
    }
}

}  // namespace sheets::xlsx
