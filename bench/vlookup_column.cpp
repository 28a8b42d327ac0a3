#include "vlookup_column.h"

#include <chrono>

#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/sheet/CellFlags.hpp>
#include <com/sun/star/sheet/FillDirection.hpp>
#include <com/sun/star/sheet/XCalculatable.hpp>
#include <com/sun/star/sheet/XCellSeries.hpp>
#include <com/sun/star/sheet/XSheetOperation.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheets2.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/table/XColumnRowRange.hpp>
#include <com/sun/star/table/XTableColumns.hpp>
#include <com/sun/star/util/XCloseable.hpp>

#include "office_connection.h"

namespace bench {
namespace {

using namespace sheets::calc;

using Clock = std::chrono::steady_clock;

double since(Clock::time_point& mark) {
    const auto now = Clock::now();
    const double s = std::chrono::duration<double>(now - mark).count();
    mark = now;
    return s;
}

Reference<css::sheet::XSpreadsheet> sheetAt(const Reference<css::lang::XComponent>& doc, sal_Int32 i) {
    Reference<css::container::XIndexAccess> sheets(
        Reference<css::sheet::XSpreadsheetDocument>(doc, UNO_QUERY_THROW)->getSheets(), UNO_QUERY_THROW);
    return Reference<css::sheet::XSpreadsheet>(sheets->getByIndex(i), UNO_QUERY_THROW);
}

OUString nameOf(const Reference<css::sheet::XSpreadsheet>& sheet) {
    return Reference<css::container::XNamed>(sheet, UNO_QUERY_THROW)->getName();
}

// A sheet name as a formula reference needs it: quoted, with inner quotes doubled.
OUString quoted(const OUString& name) {
    return "'" + name.replaceAll("'", "''") + "'";
}

// The parent's table as a VLOOKUP reference: its sheet copied into the child workbook (the parent
// then closed), or the sheet in the parent file.
OUString parentTable(const VlookupJob& job, const Reference<css::lang::XComponent>& child,
                     const Reference<css::lang::XComponent>& parent) {
    const OUString rows = ".$A$1:$B$" + OUString::number(job.parentRows);
    if (!job.copyParentSheet)  // no "$" before the quoted file URL
        return "'" + fileUrl(job.parentPath) + "'#$" + quoted(toOUString(job.parentSheet)) + rows;
    Reference<css::sheet::XSpreadsheets2> childSheets(
        Reference<css::sheet::XSpreadsheetDocument>(child, UNO_QUERY_THROW)->getSheets(), UNO_QUERY_THROW);
    const sal_Int32 at = Reference<css::container::XIndexAccess>(childSheets, UNO_QUERY_THROW)->getCount();
    const sal_Int32 copied = childSheets->importSheet(
        Reference<css::sheet::XSpreadsheetDocument>(parent, UNO_QUERY_THROW), nameOf(sheetAt(parent, 0)), at);
    Reference<css::util::XCloseable>(parent, UNO_QUERY_THROW)->close(true);
    return "$" + quoted(nameOf(sheetAt(child, copied))) + rows;
}

// A new column C, without the formats of its neighbour, holding the lookup formula in every row.
void fillLookupColumn(const Reference<css::lang::XComponent>& child, const OUString& table,
                      std::int32_t rows) {
    Reference<css::sheet::XSpreadsheet> sheet = sheetAt(child, 0);
    Reference<css::table::XTableColumns> columns =
        Reference<css::table::XColumnRowRange>(sheet, UNO_QUERY_THROW)->getColumns();
    columns->insertByIndex(2, 1);
    Reference<css::sheet::XSheetOperation>(columns->getByIndex(2), UNO_QUERY_THROW)
        ->clearContents(css::sheet::CellFlags::HARDATTR);
    sheet->getCellByPosition(2, 0)->setFormula("=VLOOKUP(A1;" + table + ";2;0)");
    // One formula filled down: writing a formula array over many rows is quadratic in the office.
    if (rows > 1)
        Reference<css::sheet::XCellSeries>(sheet->getCellRangeByPosition(2, 0, 2, rows - 1), UNO_QUERY_THROW)
            ->fillAuto(css::sheet::FillDirection_TO_BOTTOM, 1);
}

}  // namespace

VlookupTimes fillVlookupColumn(const std::string& pipeName, const VlookupJob& job) {
    VlookupTimes times;
    try {
        auto mark = Clock::now();
        Reference<css::lang::XComponent> child = office_pipe::loadHidden(pipeName, fileUrl(job.childPath));
        Reference<css::lang::XComponent> parent;
        if (job.copyParentSheet) parent = office_pipe::loadHidden(pipeName, fileUrl(job.parentPath));
        times.open = since(mark);
        const OUString table = parentTable(job, child, parent);
        times.copy = since(mark);
        Reference<css::sheet::XCalculatable> calculation(child, UNO_QUERY_THROW);
        calculation->enableAutomaticCalculation(false);
        fillLookupColumn(child, table, job.childRows);
        times.fill = since(mark);
        calculation->calculateAll();
        times.calculate = since(mark);
        Reference<css::frame::XStorable>(child, UNO_QUERY_THROW)->store();
        Reference<css::util::XCloseable>(child, UNO_QUERY_THROW)->close(true);
        times.save = since(mark);
    } catch (const css::uno::Exception& e) {
        throw sheets::Failure(describe("cannot fill a VLOOKUP column into " + job.childPath, e));
    }
    return times;
}

}  // namespace bench
