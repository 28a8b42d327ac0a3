#include "sheets/calc/tools/bulk_writer.h"

#include <algorithm>

#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/util/XCloseable.hpp>

#include "sheets/calc/tools/office_connection.h"

namespace sheets::calc::tools {
namespace {

OUString filterFor(const std::string& path) {
    if (path.ends_with(".xlsx")) return "Calc MS Excel 2007 XML";
    if (path.ends_with(".xls")) return "MS Excel 97";
    if (path.ends_with(".ods")) return "calc8";
    throw Failure("no file format for " + path);
}

Any anyOf(const sheets::CellValue& cell) {
    switch (cell.kind()) {
        case sheets::CellValue::Kind::Empty:
            return Any(OUString());  // leaves the cell empty
        case sheets::CellValue::Kind::Number:
            return Any(cell.numberValue());
        case sheets::CellValue::Kind::Text:
            return Any(toOUString(cell.textValue()));
        default:
            throw Failure("only empty, number and text cells can be written in bulk");
    }
}

}  // namespace

void writeWorkbook(const std::string& pipeName, const std::string& path, const std::string& formatPath,
                   const SheetColumns& sheet, int chunkRows) {
    const OUString filter = filterFor(formatPath);
    if (sheet.columns.empty()) throw Failure("cannot write " + path + ": no columns");
    const auto rows = static_cast<sal_Int32>(sheet.columns.front().size());
    const auto width = static_cast<sal_Int32>(sheet.columns.size());
    for (const auto& c : sheet.columns)
        if (static_cast<sal_Int32>(c.size()) != rows)
            throw Failure("cannot write " + path + ": ragged columns");
    try {
        Reference<css::lang::XComponent> doc = loadHidden(officeDesktop(pipeName), "private:factory/scalc");
        Reference<css::sheet::XSpreadsheets> all =
            Reference<css::sheet::XSpreadsheetDocument>(doc, UNO_QUERY_THROW)->getSheets();
        Reference<css::container::XIndexAccess> byIndex(all, UNO_QUERY_THROW);
        while (byIndex->getCount() > 1) all->removeByName(all->getElementNames()[1]);
        Reference<css::sheet::XSpreadsheet> first(byIndex->getByIndex(0), UNO_QUERY_THROW);
        Reference<css::container::XNamed>(first, UNO_QUERY_THROW)->setName(toOUString(sheet.name));

        for (sal_Int32 top = 0; top < rows; top += chunkRows) {
            const sal_Int32 n = std::min(chunkRows, rows - top);
            Sequence<Sequence<Any>> block(n);
            auto* lines = block.getArray();
            for (sal_Int32 r = 0; r < n; ++r) {
                lines[r].realloc(width);
                Any* cells = lines[r].getArray();
                for (sal_Int32 c = 0; c < width; ++c)
                    cells[c] =
                        anyOf(sheet.columns[static_cast<std::size_t>(c)][static_cast<std::size_t>(top + r)]);
            }
            Reference<css::sheet::XCellRangeData>(
                first->getCellRangeByPosition(0, top, width - 1, top + n - 1), UNO_QUERY_THROW)
                ->setDataArray(block);
        }
        Reference<css::frame::XStorable>(doc, UNO_QUERY_THROW)
            ->storeToURL(fileUrl(path),
                         sequenceOf({property("FilterName", Any(filter)), property("Overwrite", Any(true))}));
        Reference<css::util::XCloseable>(doc, UNO_QUERY_THROW)->close(true);
    } catch (const css::uno::Exception& e) {
        throw Failure(describe("cannot write " + path, e));
    }
}

}  // namespace sheets::calc::tools
