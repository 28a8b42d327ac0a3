#include "cell_reader.h"

#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/table/CellContentType.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/text/XTextRange.hpp>

#include "office_connection.h"

namespace bench {

using namespace sheets::calc;

namespace {

sheets::CellValue read(const Reference<css::sheet::XSpreadsheet>& sheet, std::int32_t row, int column) {
    try {
        Reference<css::table::XCell> c = sheet->getCellByPosition(column - 1, row - 1);
        const auto text = [&] {
            return sheets::CellValue::text(
                fromOUString(Reference<css::text::XTextRange>(c, UNO_QUERY_THROW)->getString()));
        };
        switch (c->getType()) {
            case css::table::CellContentType_EMPTY:
                return sheets::CellValue();
            case css::table::CellContentType_VALUE:
                return sheets::CellValue::number(c->getValue());
            case css::table::CellContentType_TEXT:
                return text();
            default:
                return c->getError() != 0 ? sheets::CellValue::error() : text();
        }
    } catch (const css::uno::Exception& e) {
        throw sheets::Failure(describe("cannot read a cell", e));
    }
}

}  // namespace

CellReader cellReader(const std::string& pipeName, const std::string& path, int sheetPosition) {
    try {
        const OUString url = fileUrl(path);
        Reference<css::container::XEnumeration> docs =
            office_pipe::desktop(pipeName)->getComponents()->createEnumeration();
        while (docs->hasMoreElements()) {
            Reference<css::frame::XModel> model(docs->nextElement(), UNO_QUERY);
            if (!model.is() || model->getURL() != url) continue;
            Reference<css::container::XIndexAccess> sheets(
                Reference<css::sheet::XSpreadsheetDocument>(model, UNO_QUERY_THROW)->getSheets(),
                UNO_QUERY_THROW);
            Reference<css::sheet::XSpreadsheet> sheet(sheets->getByIndex(sheetPosition - 1), UNO_QUERY_THROW);
            return [sheet](std::int32_t row, int column) { return read(sheet, row, column); };
        }
    } catch (const css::uno::Exception& e) {
        throw sheets::Failure(describe("cannot find " + path + " in the office", e));
    }
    throw sheets::Failure(path + " is not open in the office");
}

}  // namespace bench
