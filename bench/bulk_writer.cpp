#include "bulk_writer.h"

#include <algorithm>

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/lang/Locale.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XNumberFormats.hpp>
#include <com/sun/star/util/XNumberFormatsSupplier.hpp>

#include "office_connection.h"

namespace bench {
namespace {

using namespace sheets::calc;

Any anyOf(const sheets::CellValue& cell) {
    switch (cell.kind()) {
        case sheets::CellValue::Kind::Empty:
            return Any(OUString());  // leaves the cell empty
        case sheets::CellValue::Kind::Number:
        case sheets::CellValue::Kind::Date:
            return Any(cell.numberValue());
        case sheets::CellValue::Kind::Text:
            return Any(toOUString(cell.textValue()));
        default:
            throw sheets::Failure("only empty, number, date and text cells can be written in bulk");
    }
}

// A column whose cells carry a number format is shown in the first one's, in one request.
void formatColumn(const Reference<css::lang::XComponent>& doc,
                  const Reference<css::sheet::XSpreadsheet>& sheet, sal_Int32 column, sal_Int32 rows,
                  const std::vector<sheets::CellValue>& cells) {
    const auto shown = std::find_if(cells.begin(), cells.end(), [](const auto& c) { return c.format(); });
    if (shown == cells.end()) return;
    Reference<css::util::XNumberFormats> formats =
        Reference<css::util::XNumberFormatsSupplier>(doc, UNO_QUERY_THROW)->getNumberFormats();
    const OUString code = toOUString(shown->format()->code);
    const css::lang::Locale locale{"en", "US", {}};
    sal_Int32 key = formats->queryKey(code, locale, false);
    if (key < 0) key = formats->addNew(code, locale);
    Reference<css::beans::XPropertySet>(sheet->getCellRangeByPosition(column, 0, column, rows - 1),
                                        UNO_QUERY_THROW)
        ->setPropertyValue("NumberFormat", Any(key));
}

}  // namespace

void writeWorkbook(const std::string& pipeName, const std::string& path, const std::string& formatPath,
                   const SheetColumns& sheet, int chunkRows) {
    const OUString filter = office_pipe::filterFor(formatPath);
    if (sheet.columns.empty()) throw sheets::Failure("cannot write " + path + ": no columns");
    const auto rows = static_cast<sal_Int32>(sheet.columns.front().size());
    const auto width = static_cast<sal_Int32>(sheet.columns.size());
    for (const auto& c : sheet.columns)
        if (static_cast<sal_Int32>(c.size()) != rows)
            throw sheets::Failure("cannot write " + path + ": ragged columns");
    try {
        Reference<css::lang::XComponent> doc = office_pipe::loadHidden(pipeName, "private:factory/scalc");
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
        for (sal_Int32 c = 0; c < width; ++c) formatColumn(doc, first, c, rows, sheet.columns[c]);
        Reference<css::frame::XStorable>(doc, UNO_QUERY_THROW)
            ->storeToURL(fileUrl(path),
                         sequenceOf({property("FilterName", Any(filter)), property("Overwrite", Any(true))}));
        Reference<css::util::XCloseable>(doc, UNO_QUERY_THROW)->close(true);
    } catch (const css::uno::Exception& e) {
        throw sheets::Failure(describe("cannot write " + path, e));
    }
}

}  // namespace bench
