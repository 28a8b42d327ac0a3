// Places outside the worksheets that name ranges of the edited sheet.
#include "sheets/xlsx/insertion.h"
#include "sheets/xlsx/xlsx_writer.h"

namespace sheets::xlsx {
namespace {

constexpr std::string_view kChart = "application/vnd.openxmlformats-officedocument.drawingml.chart+xml";
constexpr std::string_view kChartEx = "application/vnd.ms-office.chartex+xml";
constexpr std::string_view kPivotCache =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.pivotCacheDefinition+xml";

// The parts the content types name with one of the types, without their leading '/'.
std::vector<std::string> partsOfType(Parts& parts, std::initializer_list<std::string_view> types) {
    std::vector<std::string> out;
    for (auto o : children(parts.get("[Content_Types].xml").root(), "Override")) {
        const std::string_view type = o.attribute("ContentType").value();
        for (auto t : types) {
            if (type == t) out.emplace_back(o.attribute("PartName").value() + 1);
        }
    }
    return out;
}

void chart(XmlPart& part, const ColumnInsertion& ins) {
    for (auto f : descendants(part.root(), "f")) {
        part.changed |= setText(f, shiftFormula(f.text().get(), ins, nullptr));
    }
}

void pivotCache(XmlPart& part, const ColumnInsertion& ins) {
    for (auto source : descendants(part.root(), "worksheetSource")) {
        if (!source.attribute("ref") || source.attribute("r:id")) continue;
        if (!source.attribute("sheet")) {
            throw Unsupported("a pivot cache source without its sheet", u"数据透视表的数据源无法确定");
        }
        if (!ins.isSheet(source.attribute("sheet").value())) continue;
        const std::string ref = source.attribute("ref").value();
        int c1 = 0, c2 = 0, row = 0;
        const auto colon = ref.find(':');
        if (!parseCell(ref.substr(0, colon), c1, row) || !parseCell(ref.substr(colon + 1), c2, row)) {
            throw Unsupported("cannot read the pivot cache source " + ref, u"数据透视表的数据源无法确定");
        }
        // A source the insertion falls into takes the new columns in, as in Excel; the cache keeps
        // its fields until it is refreshed.
        part.changed |= setAttribute(source, "ref", shiftSqref(source.attribute("ref").value(), ins));
    }
}

}  // namespace

void shiftWorkbookReferences(Parts& parts, const std::string& workbookPart,
                             const ColumnInsertion& insertion) {
    auto& workbook = parts.get(workbookPart);
    for (auto name : descendants(workbook.root(), "definedName")) {
        workbook.changed |= setText(name, shiftFormula(name.text().get(), insertion, nullptr));
    }
    for (const auto& part : partsOfType(parts, {kChart, kChartEx})) {
        if (parts.has(part) && parts.package().read(part).find('!') != std::string::npos) {
            chart(parts.get(part), insertion);
        }
    }
    for (const auto& part : partsOfType(parts, {kPivotCache})) {
        if (parts.has(part)) pivotCache(parts.get(part), insertion);
    }
}

}  // namespace sheets::xlsx
