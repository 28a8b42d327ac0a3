#pragma once
// A running office reached through its pipe, for the workbook maker of the tests and the helpers of
// the benchmarks, which work beside an application of sheets_calc in the office it started.

#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/bridge/XUnoUrlResolver.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/lang/XComponent.hpp>

#include <map>
#include <mutex>

#include "sheets/calc/uno_support.h"

namespace office_pipe {

using namespace sheets::calc;

// One bridge per office for the life of the process. A new bridge for every call made hundreds of
// short-lived connections, and under load one of them was now and then disposed in its first call.
// The map is never destroyed: releasing remote references after the UNO runtime ends would crash.
inline Reference<css::uno::XComponentContext> context(const std::string& pipeName) {
    static std::mutex lock;
    static auto& bridges = *new std::map<std::string, Reference<css::uno::XComponentContext>>;
    const std::scoped_lock held(lock);
    Reference<css::uno::XComponentContext>& bridge = bridges[pipeName];
    if (bridge.is()) {
        try {
            bridge->getServiceManager();  // a bridge whose office has ended throws here
            return bridge;
        } catch (const css::uno::RuntimeException&) {
            bridge.clear();
        }
    }
    Reference<css::bridge::XUnoUrlResolver> resolver = css::bridge::UnoUrlResolver::create(localContext());
    bridge.set(resolver->resolve("uno:pipe,name=" + fromUtf8(pipeName) + ";urp;StarOffice.ComponentContext"),
               UNO_QUERY_THROW);
    return bridge;
}

inline Reference<css::frame::XDesktop2> desktop(const std::string& pipeName) {
    return css::frame::Desktop::create(context(pipeName));
}

// A document without a view, loaded or created ("private:factory/scalc") in the office at pipeName.
inline Reference<css::lang::XComponent> loadHidden(const std::string& pipeName, const OUString& url) {
    return Reference<css::frame::XComponentLoader>(desktop(pipeName), UNO_QUERY_THROW)
        ->loadComponentFromURL(url, "_blank", 0, sequenceOf({property("Hidden", Any(true))}));
}

// The filter that stores a workbook in the format its file name says (.xls, .xlsx, .ods).
inline OUString filterFor(const std::string& path) {
    if (path.ends_with(".xlsx")) return "Calc MS Excel 2007 XML";
    if (path.ends_with(".xls")) return "MS Excel 97";
    if (path.ends_with(".ods")) return "calc8";
    throw sheets::Failure("no file format for " + path);
}

}  // namespace office_pipe
