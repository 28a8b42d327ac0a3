#include "workbook_maker.h"

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/configuration/theDefaultProvider.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/lang/Locale.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/sheet/XCellAddressable.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XSheetAnnotations.hpp>
#include <com/sun/star/sheet/XSheetAnnotationsSupplier.hpp>
#include <com/sun/star/sheet/XSheetCellCursor.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/sheet/XUsedAreaCursor.hpp>
#include <com/sun/star/sheet/XViewFreezable.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/text/XTextRange.hpp>
#include <com/sun/star/util/NumberFormat.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XNumberFormatTypes.hpp>
#include <com/sun/star/util/XNumberFormats.hpp>
#include <com/sun/star/util/XNumberFormatsSupplier.hpp>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <stdexcept>

#include "office_connection.h"
#include "sheets/calc/hosted_frame.h"

namespace sheets::calc::testing {
namespace {

// What f returns, with an exception of the office turned into one that says what failed.
template <class F>
auto officeCall(const std::string& what, F f) {
    try {
        return f();
    } catch (const css::uno::Exception& e) {
        throw std::runtime_error(describe(what, e));
    }
}

// A document with a view of its own that reads and writes view settings, as the application loads
// files; closing it ends the frame.
struct ViewedDocument {
    HostedFrame hosted;
    Reference<css::lang::XComponent> document;

    ViewedDocument(const std::string& pipeName, const OUString& url) {
        Reference<css::uno::XComponentContext> context = office_pipe::context(pipeName);
        hosted = HostedFrame::create(context, office_pipe::desktop(pipeName));
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

void close(const Reference<css::lang::XComponent>& document) {
    Reference<css::util::XCloseable>(document, UNO_QUERY_THROW)->close(true);
}

Reference<css::container::XIndexAccess> sheetsOf(const Reference<css::uno::XInterface>& document) {
    return {Reference<css::sheet::XSpreadsheetDocument>(document, UNO_QUERY_THROW)->getSheets(),
            UNO_QUERY_THROW};
}

Reference<css::sheet::XSpreadsheet> sheetAt(const Reference<css::container::XIndexAccess>& sheets, int i) {
    return {sheets->getByIndex(i), UNO_QUERY_THROW};
}

// The sheets of a new document, named and in number as specs says.
Reference<css::container::XIndexAccess> nameSheets(const Reference<css::lang::XComponent>& document,
                                                   const std::vector<SheetSpec>& specs) {
    Reference<css::sheet::XSpreadsheets> all =
        Reference<css::sheet::XSpreadsheetDocument>(document, UNO_QUERY_THROW)->getSheets();
    Reference<css::container::XIndexAccess> byIndex(all, UNO_QUERY_THROW);
    while (byIndex->getCount() > 1) all->removeByName(all->getElementNames()[1]);
    for (std::size_t i = 0; i < specs.size(); ++i) {
        if (i > 0) all->insertNewByName("Sheet_tmp" + OUString::number(sal_Int32(i)), sal_Int16(i));
        Reference<css::container::XNamed>(byIndex->getByIndex(sal_Int32(i)), UNO_QUERY_THROW)
            ->setName(toOUString(specs[i].name));
    }
    return byIndex;
}

void store(const Reference<css::lang::XComponent>& document, const std::string& path) {
    Reference<css::frame::XStorable>(document, UNO_QUERY_THROW)
        ->storeToURL(fileUrl(path), sequenceOf({property("FilterName", Any(office_pipe::filterFor(path))),
                                                property("Overwrite", Any(true))}));
}

// A number or a text as a data array holds it: text is never parsed, tabs and line breaks stay.
Any anyOf(const Content& content) {
    if (auto* s = std::get_if<std::u16string>(&content)) return Any(toOUString(*s));
    if (auto* d = std::get_if<double>(&content)) return Any(*d);
    return Any(OUString());
}

sal_Int32 formatKey(const Reference<css::lang::XComponent>& document, const std::string& code) {
    Reference<css::util::XNumberFormats> formats =
        Reference<css::util::XNumberFormatsSupplier>(document, UNO_QUERY_THROW)->getNumberFormats();
    const css::lang::Locale locale("en", "US", "");
    if (code == "BOOLEAN")
        return Reference<css::util::XNumberFormatTypes>(formats, UNO_QUERY_THROW)
            ->getStandardFormat(css::util::NumberFormat::LOGICAL, locale);
    const sal_Int32 key = formats->queryKey(fromUtf8(code), locale, false);
    return key != -1 ? key : formats->addNew(fromUtf8(code), locale);
}

void writeCell(const Reference<css::lang::XComponent>& document,
               const Reference<css::sheet::XSpreadsheet>& sheet, const CellSpec& spec) {
    Reference<css::table::XCellRange> range = sheet->getCellRangeByName(fromUtf8(spec.address));
    Reference<css::table::XCell> cell = range->getCellByPosition(0, 0);
    if (auto* f = std::get_if<Formula>(&spec.content))
        cell->setFormula(fromUtf8(f->text));
    else
        Reference<css::sheet::XCellRangeData>(range, UNO_QUERY_THROW)
            ->setDataArray(sequenceOf({sequenceOf({anyOf(spec.content)})}));
    if (!spec.comment.empty())
        Reference<css::sheet::XSheetAnnotationsSupplier>(sheet, UNO_QUERY_THROW)
            ->getAnnotations()
            ->insertNew(Reference<css::sheet::XCellAddressable>(cell, UNO_QUERY_THROW)->getCellAddress(),
                        toOUString(spec.comment));
    if (!spec.format.empty())
        Reference<css::beans::XPropertySet>(cell, UNO_QUERY_THROW)
            ->setPropertyValue("NumberFormat", Any(formatKey(document, spec.format)));
}

void freezePanes(const Reference<css::frame::XController>& controller,
                 const Reference<css::container::XIndexAccess>& sheets, const std::vector<SheetSpec>& specs) {
    Reference<css::sheet::XSpreadsheetView> view(controller, UNO_QUERY_THROW);
    for (std::size_t i = 0; i < specs.size(); ++i) {
        if (specs[i].frozenAt.empty()) continue;
        view->setActiveSheet(sheetAt(sheets, int(i)));
        const auto at =
            Reference<css::sheet::XCellRangeAddressable>(
                sheetAt(sheets, int(i))->getCellRangeByName(fromUtf8(specs[i].frozenAt)), UNO_QUERY_THROW)
                ->getRangeAddress();
        Reference<css::sheet::XViewFreezable>(controller, UNO_QUERY_THROW)
            ->freezeAtPosition(at.StartColumn, at.StartRow);
    }
    view->setActiveSheet(sheetAt(sheets, 0));
}

std::vector<std::string> split(const std::string& text, const std::string& separators) {
    std::vector<std::string> parts(1);
    for (char c : text)
        if (separators.find(c) != std::string::npos)
            parts.emplace_back();
        else
            parts.back() += c;
    return parts;
}

std::string cellName(int column, int row) {
    std::string letters;
    for (int c = column + 1; c > 0; c = (c - 1) / 26)
        letters.insert(letters.begin(), char('A' + (c - 1) % 26));
    return letters + std::to_string(row + 1);
}

}  // namespace

void makeWorkbook(const std::string& pipeName, const std::string& path, const std::vector<SheetSpec>& sheets,
                  const std::vector<CellSpec>& cells) {
    officeCall("cannot make " + path, [&] {
        // Frozen panes need a view that writes them.
        std::optional<ViewedDocument> viewed;
        if (std::any_of(sheets.begin(), sheets.end(), [](const SheetSpec& s) { return !s.frozenAt.empty(); }))
            viewed.emplace(pipeName, "private:factory/scalc");
        Reference<css::lang::XComponent> document =
            viewed ? viewed->document : office_pipe::loadHidden(pipeName, "private:factory/scalc");
        const auto byIndex = nameSheets(document, sheets);
        for (const CellSpec& c : cells) writeCell(document, sheetAt(byIndex, c.sheet), c);
        if (viewed) freezePanes(viewed->controller(), byIndex, sheets);
        store(document, path);
        if (!viewed) close(document);
    });
}

void makeTable(const std::string& pipeName, const std::string& path, const std::u16string& sheetName,
               const std::vector<Row>& rows) {
    officeCall("cannot make " + path, [&] {
        Reference<css::lang::XComponent> document =
            office_pipe::loadHidden(pipeName, "private:factory/scalc");
        Reference<css::sheet::XSpreadsheet> sheet = sheetAt(nameSheets(document, {{sheetName}}), 0);
        std::size_t width = 1;
        for (const Row& row : rows) width = std::max(width, row.size());
        Sequence<Sequence<Any>> block(sal_Int32(rows.size()));
        for (std::size_t r = 0; r < rows.size(); ++r) {
            Sequence<Any>& line = block.getArray()[r];
            line = Sequence<Any>(sal_Int32(width));
            for (std::size_t c = 0; c < width; ++c)
                line.getArray()[c] = c < rows[r].size() ? anyOf(rows[r][c]) : Any(OUString());
        }
        if (!rows.empty())
            Reference<css::sheet::XCellRangeData>(
                sheet->getCellRangeByPosition(0, 0, sal_Int32(width) - 1, sal_Int32(rows.size()) - 1),
                UNO_QUERY_THROW)
                ->setDataArray(block);
        for (std::size_t r = 0; r < rows.size(); ++r)
            for (std::size_t c = 0; c < rows[r].size(); ++c)
                if (auto* f = std::get_if<Formula>(&rows[r][c]))
                    sheet->getCellByPosition(sal_Int32(c), sal_Int32(r))->setFormula(fromUtf8(f->text));
        store(document, path);
        close(document);
    });
}

std::string formulaOf(const std::string& pipeName, const std::string& path, int sheet,
                      const std::string& address) {
    return officeCall("cannot read " + path, [&] {
        Reference<css::lang::XComponent> document = office_pipe::loadHidden(pipeName, fileUrl(path));
        const std::string formula = utf8(sheetAt(sheetsOf(document), sheet)
                                             ->getCellRangeByName(fromUtf8(address))
                                             ->getCellByPosition(0, 0)
                                             ->getFormula());
        close(document);
        return formula;
    });
}

// From the view's own description ("zoom;active sheet;width;sheet 1;sheet 2;..."), where a sheet is
// "cursor column/cursor row/column split mode/row split mode/column split/row split/...", a split of
// mode 2 being frozen at that column or row.
std::vector<std::string> frozenPanesOf(const std::string& pipeName, const std::string& path) {
    return officeCall("cannot read the view of " + path, [&] {
        ViewedDocument viewed(pipeName, fileUrl(path));
        OUString data;
        viewed.controller()->getViewData() >>= data;
        const std::vector<std::string> parts = split(utf8(data), ";");
        std::vector<std::string> frozen;
        for (std::size_t i = 3; i < parts.size(); ++i) {
            std::vector<int> fields;
            for (const std::string& field : split(parts[i], "/+")) fields.push_back(std::atoi(field.c_str()));
            if (fields.size() < 6) throw std::runtime_error("unexpected view data " + utf8(data));
            const bool columns = fields[2] == 2, rows = fields[3] == 2;
            frozen.push_back(columns || rows ? cellName(columns ? fields[4] : 0, rows ? fields[5] : 0) : "");
        }
        return frozen;
    });
}

std::string officeSetting(const std::string& pipeName, const std::string& node, const std::string& name) {
    return officeCall("cannot read the setting " + node + "/" + name, [&]() -> std::string {
        Reference<css::container::XNameAccess> access(
            css::configuration::theDefaultProvider::get(office_pipe::context(pipeName))
                ->createInstanceWithArguments("com.sun.star.configuration.ConfigurationAccess",
                                              sequenceOf({Any(property("nodepath", Any(fromUtf8(node))))})),
            UNO_QUERY_THROW);
        const Any value = access->getByName(fromUtf8(name));
        if (bool b; value >>= b) return b ? "true" : "false";
        if (OUString t; value >>= t) return utf8(t);
        return "";
    });
}

std::vector<std::vector<std::u16string>> openWorkbookCells(const std::string& pipeName) {
    return officeCall("cannot read the open workbook", [&] {
        Reference<css::container::XEnumeration> documents =
            office_pipe::desktop(pipeName)->getComponents()->createEnumeration();
        std::vector<Reference<css::uno::XInterface>> books;
        while (documents->hasMoreElements())
            if (Reference<css::sheet::XSpreadsheetDocument> book(documents->nextElement(), UNO_QUERY);
                book.is())
                books.push_back(book);
        if (books.size() != 1)
            throw std::runtime_error(std::to_string(books.size()) + " workbooks open, expected one");
        Reference<css::sheet::XSpreadsheet> sheet = sheetAt(sheetsOf(books[0]), 0);
        Reference<css::sheet::XSheetCellCursor> cursor = sheet->createCursor();
        Reference<css::sheet::XUsedAreaCursor>(cursor, UNO_QUERY_THROW)->gotoEndOfUsedArea(false);
        const auto end =
            Reference<css::sheet::XCellRangeAddressable>(cursor, UNO_QUERY_THROW)->getRangeAddress();
        std::vector<std::vector<std::u16string>> rows(static_cast<std::size_t>(end.EndRow + 1));
        for (sal_Int32 r = 0; r <= end.EndRow; ++r)
            for (sal_Int32 c = 0; c <= end.EndColumn; ++c)
                rows[r].push_back(fromOUString(
                    Reference<css::text::XTextRange>(sheet->getCellByPosition(c, r), UNO_QUERY_THROW)
                        ->getString()));
        return rows;
    });
}

}  // namespace sheets::calc::testing
