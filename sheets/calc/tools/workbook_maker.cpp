#include "sheets/calc/tools/workbook_maker.h"

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/lang/Locale.hpp>
#include <com/sun/star/sheet/XCellAddressable.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XSheetAnnotations.hpp>
#include <com/sun/star/sheet/XSheetAnnotationsSupplier.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/util/NumberFormat.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XNumberFormatTypes.hpp>
#include <com/sun/star/util/XNumberFormats.hpp>
#include <com/sun/star/util/XNumberFormatsSupplier.hpp>

#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XSheetCellCursor.hpp>
#include <com/sun/star/sheet/XUsedAreaCursor.hpp>
#include <com/sun/star/text/XTextRange.hpp>

#include <com/sun/star/configuration/theDefaultProvider.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/sheet/XViewFreezable.hpp>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <stdexcept>

#include "sheets/calc/hosted_frame.h"
#include "sheets/calc/tools/office_connection.h"
#include "sheets/calc/uno_support.h"

namespace sheets::calc::tools {
namespace {

Reference<css::lang::XComponent> load(const std::string& pipeName, const OUString& url) {
    return loadHidden(officeDesktop(pipeName), url);
}

// A document with a view of its own that reads and writes view settings, as the application loads
// files; closing it ends the frame.
struct ViewedDocument {
    HostedFrame hosted;
    Reference<css::lang::XComponent> document;

    ViewedDocument(const std::string& pipeName, const OUString& url) {
        Reference<css::uno::XComponentContext> context = officeContext(pipeName);
        hosted = HostedFrame::create(context, css::frame::Desktop::create(context));
        document = Reference<css::frame::XComponentLoader>(hosted.frame, UNO_QUERY_THROW)
                       ->loadComponentFromURL(url, "_self", 0, sequenceOf({property("Hidden", Any(false))}));
    }
    ~ViewedDocument() {
        try {
            if (document.is()) Reference<css::util::XCloseable>(document, UNO_QUERY_THROW)->close(true);
        } catch (const css::uno::Exception&) {
        }
        hosted.dispose();
    }
    Reference<css::frame::XController> controller() const {
        return Reference<css::frame::XModel>(document, UNO_QUERY_THROW)->getCurrentController();
    }
};

std::string cellName(sal_Int32 column, sal_Int32 row) {
    std::string letters;
    for (sal_Int32 c = column + 1; c > 0; c = (c - 1) / 26)
        letters.insert(letters.begin(), char('A' + (c - 1) % 26));
    return letters + std::to_string(row + 1);
}

void freezePanes(const Reference<css::frame::XController>& controller,
                 const Reference<css::container::XIndexAccess>& sheets, const std::vector<SheetSpec>& specs) {
    Reference<css::sheet::XSpreadsheetView> view(controller, UNO_QUERY_THROW);
    for (std::size_t i = 0; i < specs.size(); ++i) {
        if (specs[i].frozenAt.empty()) continue;
        view->setActiveSheet(
            Reference<css::sheet::XSpreadsheet>(sheets->getByIndex(sal_Int32(i)), UNO_QUERY_THROW));
        Reference<css::table::XCellRange> range(sheets->getByIndex(sal_Int32(i)), UNO_QUERY_THROW);
        const auto at = Reference<css::sheet::XCellRangeAddressable>(
                            range->getCellRangeByName(fromUtf8(specs[i].frozenAt)), UNO_QUERY_THROW)
                            ->getRangeAddress();
        Reference<css::sheet::XViewFreezable>(controller, UNO_QUERY_THROW)
            ->freezeAtPosition(at.StartColumn, at.StartRow);
    }
    view->setActiveSheet(Reference<css::sheet::XSpreadsheet>(sheets->getByIndex(0), UNO_QUERY_THROW));
}

const char* filterFor(const std::string& path) {
    if (path.ends_with(".xlsx")) return "Calc MS Excel 2007 XML";
    if (path.ends_with(".xls")) return "MS Excel 97";
    if (path.ends_with(".ods")) return "calc8";
    throw std::invalid_argument("no filter for " + path);
}

}  // namespace

void makeWorkbook(const std::string& pipeName, const std::string& path, const std::vector<SheetSpec>& sheets,
                  const std::vector<CellSpec>& cells) {
    try {
        // Frozen panes need a view that writes them.
        const bool frozen =
            std::any_of(sheets.begin(), sheets.end(), [](const SheetSpec& s) { return !s.frozenAt.empty(); });
        std::optional<ViewedDocument> viewed;
        if (frozen) viewed.emplace(pipeName, "private:factory/scalc");
        Reference<css::lang::XComponent> doc =
            frozen ? viewed->document : load(pipeName, "private:factory/scalc");
        Reference<css::sheet::XSpreadsheets> all =
            Reference<css::sheet::XSpreadsheetDocument>(doc, UNO_QUERY_THROW)->getSheets();
        Reference<css::container::XIndexAccess> byIndex(all, UNO_QUERY_THROW);
        while (byIndex->getCount() > 1) all->removeByName(all->getElementNames()[1]);
        for (std::size_t i = 0; i < sheets.size(); ++i) {
            if (i > 0) all->insertNewByName("Sheet_tmp" + OUString::number(sal_Int32(i)), sal_Int16(i));
            Reference<css::container::XNamed>(byIndex->getByIndex(sal_Int32(i)), UNO_QUERY_THROW)
                ->setName(toOUString(sheets[i].name));
        }
        Reference<css::util::XNumberFormats> formats =
            Reference<css::util::XNumberFormatsSupplier>(doc, UNO_QUERY_THROW)->getNumberFormats();
        const css::lang::Locale locale("en", "US", "");
        for (const CellSpec& c : cells) {
            Reference<css::sheet::XSpreadsheet> sheet(byIndex->getByIndex(c.sheet), UNO_QUERY_THROW);
            Reference<css::table::XCellRange> range =
                Reference<css::table::XCellRange>(sheet, UNO_QUERY_THROW)
                    ->getCellRangeByName(fromUtf8(c.address));
            Reference<css::table::XCell> cell = range->getCellByPosition(0, 0);
            if (auto* d = std::get_if<double>(&c.content)) cell->setValue(*d);
            // Through a data array, which keeps tabs and line breaks as they are.
            if (auto* s = std::get_if<std::u16string>(&c.content))
                Reference<css::sheet::XCellRangeData>(range, UNO_QUERY_THROW)
                    ->setDataArray(sequenceOf({sequenceOf({Any(toOUString(*s))})}));
            if (auto* f = std::get_if<Formula>(&c.content)) cell->setFormula(fromUtf8(f->text));
            if (!c.comment.empty())
                Reference<css::sheet::XSheetAnnotationsSupplier>(sheet, UNO_QUERY_THROW)
                    ->getAnnotations()
                    ->insertNew(
                        Reference<css::sheet::XCellAddressable>(cell, UNO_QUERY_THROW)->getCellAddress(),
                        toOUString(c.comment));
            if (!c.format.empty()) {
                sal_Int32 key;
                if (c.format == "BOOLEAN") {
                    key = Reference<css::util::XNumberFormatTypes>(formats, UNO_QUERY_THROW)
                              ->getStandardFormat(css::util::NumberFormat::LOGICAL, locale);
                } else {
                    key = formats->queryKey(fromUtf8(c.format), locale, false);
                    if (key == -1) key = formats->addNew(fromUtf8(c.format), locale);
                }
                Reference<css::beans::XPropertySet>(cell, UNO_QUERY_THROW)
                    ->setPropertyValue("NumberFormat", Any(key));
            }
        }
        if (frozen) freezePanes(viewed->controller(), byIndex, sheets);
        Reference<css::frame::XStorable>(doc, UNO_QUERY_THROW)
            ->storeToURL(fileUrl(path),
                         sequenceOf({property("FilterName", Any(OUString::createFromAscii(filterFor(path)))),
                                     property("Overwrite", Any(true))}));
        if (!frozen) Reference<css::util::XCloseable>(doc, UNO_QUERY_THROW)->close(true);
    } catch (const css::uno::Exception& e) {
        throw std::runtime_error(describe("cannot make " + path, e));
    }
}

void makeTable(const std::string& pipeName, const std::string& path, const std::u16string& sheetName,
               const std::vector<Row>& rows) {
    std::vector<CellSpec> cells;
    for (std::size_t r = 0; r < rows.size(); ++r)
        for (std::size_t c = 0; c < rows[r].size(); ++c) {
            if (auto* s = std::get_if<std::u16string>(&rows[r][c]); s && s->empty()) continue;
            cells.push_back({0, std::string(1, char('A' + c)) + std::to_string(r + 1), rows[r][c]});
        }
    makeWorkbook(pipeName, path, {{sheetName}}, cells);
}

std::vector<std::vector<sheets::CellValue>> readTable(sheets::Application& app, const std::u16string& path,
                                                      int columns) {
    auto book = app.open(path);
    auto sheet = book->worksheet(1);
    const auto rows = sheet->usedRowCount();
    std::vector<std::vector<sheets::CellValue>> table(static_cast<std::size_t>(rows));
    for (int c = 1; c <= columns; ++c) {
        const auto column = sheet->column(c, rows);
        for (std::size_t r = 0; r < table.size(); ++r) table[r].push_back(column[r]);
    }
    book->close(false);
    return table;
}

std::string formulaOf(const std::string& pipeName, const std::string& path, int sheet,
                      const std::string& address) {
    try {
        Reference<css::lang::XComponent> doc = load(pipeName, fileUrl(path));
        Reference<css::container::XIndexAccess> byIndex(
            Reference<css::sheet::XSpreadsheetDocument>(doc, UNO_QUERY_THROW)->getSheets(), UNO_QUERY_THROW);
        Reference<css::table::XCellRange> s(byIndex->getByIndex(sheet), UNO_QUERY_THROW);
        const std::string f =
            utf8(s->getCellRangeByName(fromUtf8(address))->getCellByPosition(0, 0)->getFormula());
        Reference<css::util::XCloseable>(doc, UNO_QUERY_THROW)->close(true);
        return f;
    } catch (const css::uno::Exception& e) {
        throw std::runtime_error(describe("cannot read " + path, e));
    }
}

// From the view's own description ("zoom;active sheet;width;sheet 1;sheet 2;..."), where a sheet is
// "cursor column/cursor row/column split mode/row split mode/column split/row split/...", a split of
// mode 2 being frozen at that column or row.
std::vector<std::string> frozenPanesOf(const std::string& pipeName, const std::string& path) {
    try {
        ViewedDocument viewed(pipeName, fileUrl(path));
        OUString data;
        viewed.controller()->getViewData() >>= data;
        std::vector<std::string> parts;
        std::istringstream in(utf8(data));
        for (std::string part; std::getline(in, part, ';');) parts.push_back(part);
        std::vector<std::string> frozen;
        for (std::size_t i = 3; i < parts.size(); ++i) {
            std::vector<int> fields;
            std::string field;
            for (char c : parts[i] + "/") {
                if (c == '/' || c == '+') {
                    fields.push_back(std::atoi(field.c_str()));
                    field.clear();
                } else {
                    field += c;
                }
            }
            if (fields.size() < 6) throw std::runtime_error("unexpected view data " + utf8(data));
            constexpr int kFrozen = 2;
            const bool columns = fields[2] == kFrozen, rows = fields[3] == kFrozen;
            frozen.push_back(columns || rows ? cellName(columns ? fields[4] : 0, rows ? fields[5] : 0) : "");
        }
        return frozen;
    } catch (const css::uno::Exception& e) {
        throw std::runtime_error(describe("cannot read the view of " + path, e));
    }
}

std::string officeSetting(const std::string& pipeName, const std::string& node, const std::string& name) {
    try {
        Reference<css::lang::XMultiServiceFactory> provider =
            css::configuration::theDefaultProvider::get(officeContext(pipeName));
        Reference<css::container::XNameAccess> access(
            provider->createInstanceWithArguments(
                "com.sun.star.configuration.ConfigurationAccess",
                sequenceOf({Any(property("nodepath", Any(fromUtf8(node))))})),
            UNO_QUERY_THROW);
        const Any value = access->getByName(fromUtf8(name));
        if (bool b; value >>= b) return b ? "true" : "false";
        if (sal_Int32 n; value >>= n) return std::to_string(n);
        if (OUString t; value >>= t) return utf8(t);
        return "";
    } catch (const css::uno::Exception& e) {
        throw std::runtime_error(describe("cannot read the setting " + node + "/" + name, e));
    }
}

std::vector<std::vector<std::u16string>> openWorkbookCells(const std::string& pipeName) {
    try {
        Reference<css::container::XEnumeration> docs =
            officeDesktop(pipeName)->getComponents()->createEnumeration();
        std::vector<Reference<css::sheet::XSpreadsheetDocument>> books;
        while (docs->hasMoreElements()) {
            Reference<css::sheet::XSpreadsheetDocument> book(docs->nextElement(), UNO_QUERY);
            if (book.is()) books.push_back(book);
        }
        if (books.size() != 1)
            throw std::runtime_error(std::to_string(books.size()) + " workbooks open, expected one");
        Reference<css::container::XIndexAccess> byIndex(books[0]->getSheets(), UNO_QUERY_THROW);
        Reference<css::sheet::XSpreadsheet> sheet(byIndex->getByIndex(0), UNO_QUERY_THROW);
        Reference<css::sheet::XSheetCellCursor> cursor = sheet->createCursor();
        Reference<css::sheet::XUsedAreaCursor>(cursor, UNO_QUERY_THROW)->gotoEndOfUsedArea(false);
        const auto end =
            Reference<css::sheet::XCellRangeAddressable>(cursor, UNO_QUERY_THROW)->getRangeAddress();
        std::vector<std::vector<std::u16string>> rows(static_cast<std::size_t>(end.EndRow + 1));
        for (sal_Int32 r = 0; r <= end.EndRow; ++r)
            for (sal_Int32 c = 0; c <= end.EndColumn; ++c)
                rows[static_cast<std::size_t>(r)].push_back(fromOUString(
                    Reference<css::text::XTextRange>(sheet->getCellByPosition(c, r), UNO_QUERY_THROW)
                        ->getString()));
        return rows;
    } catch (const css::uno::Exception& e) {
        throw std::runtime_error(describe("cannot read the open workbook", e));
    }
}

void endOffice(const std::string& pipeName) {
    try {
        Reference<css::frame::XDesktop2> desktop = officeDesktop(pipeName);
        Reference<css::container::XEnumeration> docs = desktop->getComponents()->createEnumeration();
        while (docs->hasMoreElements()) {
            Reference<css::util::XCloseable> doc(docs->nextElement(), UNO_QUERY);
            if (doc.is()) doc->close(true);
        }
        desktop->terminate();
    } catch (const css::lang::DisposedException&) {
        // The bridge goes away while the office terminates.
    } catch (const css::uno::Exception& e) {
        throw std::runtime_error(describe("cannot end the office", e));
    }
}

}  // namespace sheets::calc::tools
