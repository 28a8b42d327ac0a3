#include <iostream>
#include <set>

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/beans/XPropertySetInfo.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/drawing/XDrawPagesSupplier.hpp>
#include <com/sun/star/form/XFormsSupplier2.hpp>
#include <com/sun/star/script/XLibraryContainer.hpp>
#include <com/sun/star/sheet/XConditionalFormats.hpp>
#include <com/sun/star/sheet/XDataPilotTablesSupplier.hpp>
#include <com/sun/star/sheet/XSheetAnnotationsSupplier.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/table/XTableChartsSupplier.hpp>

#include "sheets/calc/calc_objects.h"

namespace sheets::calc {
namespace {

using Feature = StoreReport::Feature;

// What one sheet holds. Every check is one or two calls: counts, never the cells.
void sheetFeatures(const Reference<css::uno::XInterface>& sheet, std::set<Feature>& found) {
    const auto nonEmpty = [](const Reference<css::container::XNameAccess>& names) {
        return names.is() && names->getElementNames().hasElements();
    };
    if (Reference<css::sheet::XDataPilotTablesSupplier> pivots(sheet, UNO_QUERY);
        pivots.is() &&
        nonEmpty(Reference<css::container::XNameAccess>(pivots->getDataPilotTables(), UNO_QUERY)))
        found.insert(Feature::PivotTables);
    if (Reference<css::table::XTableChartsSupplier> charts(sheet, UNO_QUERY);
        charts.is() && nonEmpty(Reference<css::container::XNameAccess>(charts->getCharts(), UNO_QUERY)))
        found.insert(Feature::Charts);
    if (Reference<css::sheet::XSheetAnnotationsSupplier> notes(sheet, UNO_QUERY); notes.is()) {
        Reference<css::container::XIndexAccess> all(notes->getAnnotations(), UNO_QUERY);
        if (all.is() && all->getCount() > 0) found.insert(Feature::Comments);
    }
    Reference<css::beans::XPropertySet> properties(sheet, UNO_QUERY);
    Reference<css::sheet::XConditionalFormats> formats;
    if (properties.is() && properties->getPropertySetInfo()->hasPropertyByName("ConditionalFormats") &&
        (properties->getPropertyValue("ConditionalFormats") >>= formats) && formats.is() &&
        formats->getLength() > 0)
        found.insert(Feature::ConditionalFormats);
}

// Form controls sit in forms on the sheets' draw pages.
bool holdsForms(const Reference<css::lang::XComponent>& document) {
    Reference<css::container::XIndexAccess> pages(
        Reference<css::drawing::XDrawPagesSupplier>(document, UNO_QUERY_THROW)->getDrawPages(),
        UNO_QUERY_THROW);
    for (sal_Int32 i = 0, n = pages->getCount(); i < n; ++i) {
        Reference<css::form::XFormsSupplier2> forms(pages->getByIndex(i), UNO_QUERY);
        if (forms.is() && forms->hasForms() && forms->getForms()->hasElements()) return true;
    }
    return false;
}

// Basic or VBA modules in any of the document's libraries.
bool holdsMacros(const Reference<css::beans::XPropertySet>& document) {
    Reference<css::script::XLibraryContainer> libraries;
    if (!(document->getPropertyValue("BasicLibraries") >>= libraries) || !libraries.is()) return false;
    Reference<css::container::XNameAccess> names(libraries, UNO_QUERY_THROW);
    for (const OUString& name : names->getElementNames()) {
        if (!libraries->isLibraryLoaded(name)) libraries->loadLibrary(name);
        Reference<css::container::XNameAccess> modules(names->getByName(name), UNO_QUERY);
        if (modules.is() && modules->hasElements()) return true;
    }
    return false;
}

}  // namespace

std::vector<Feature> featuresTheStoreChanges(const Reference<css::lang::XComponent>& document,
                                             const std::string& path) {
    std::set<Feature> found;
    try {
        Reference<css::container::XIndexAccess> sheets(
            Reference<css::sheet::XSpreadsheetDocument>(document, UNO_QUERY_THROW)->getSheets(),
            UNO_QUERY_THROW);
        for (sal_Int32 i = 0, n = sheets->getCount(); i < n; ++i)
            sheetFeatures(Reference<css::uno::XInterface>(sheets->getByIndex(i), UNO_QUERY), found);
        Reference<css::beans::XPropertySet> properties(document, UNO_QUERY_THROW);
        Reference<css::container::XNameAccess> ranges(properties->getPropertyValue("DatabaseRanges"),
                                                      UNO_QUERY);
        if (ranges.is() && ranges->hasElements()) found.insert(Feature::Tables);
        if (holdsMacros(properties)) found.insert(Feature::Macros);
        if (holdsForms(document)) found.insert(Feature::FormControls);
    } catch (const css::uno::Exception& e) {
        // Only the summary misses it; the store itself goes on.
        std::cerr << "pellucor: " << describe("cannot list the features of " + path, e) << '\n';
    }
    return {found.begin(), found.end()};
}

}  // namespace sheets::calc
