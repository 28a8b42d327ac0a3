#pragma once
// The desktop of a running office, reached through its pipe; private to calc_tools.

#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/bridge/XUnoUrlResolver.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/lang/XComponent.hpp>

#include <map>
#include <mutex>

#include "sheets/calc/uno_support.h"

namespace sheets::calc::tools {

// One bridge per office for the life of the process. A new bridge for every call made hundreds of
// short-lived connections, and under load one of them was now and then disposed in its first call.
// The map is never destroyed: releasing remote references after the UNO runtime ends would crash.
inline Reference<css::uno::XComponentContext> officeContext(const std::string& pipeName) {
    static std::mutex lock;
    static auto& bridges = *new std::map<std::string, Reference<css::uno::XComponentContext>>;
    const std::scoped_lock held(lock);
    Reference<css::uno::XComponentContext>& context = bridges[pipeName];
    if (context.is()) {
        try {
            context->getServiceManager();  // a bridge whose office has ended throws here
            return context;
        } catch (const css::uno::RuntimeException&) {
            context.clear();
        }
    }
    Reference<css::bridge::XUnoUrlResolver> resolver = css::bridge::UnoUrlResolver::create(localContext());
    context.set(resolver->resolve("uno:pipe,name=" + fromUtf8(pipeName) + ";urp;StarOffice.ComponentContext"),
                UNO_QUERY_THROW);
    return context;
}

inline Reference<css::frame::XDesktop2> officeDesktop(const std::string& pipeName) {
    return css::frame::Desktop::create(officeContext(pipeName));
}

inline Reference<css::lang::XComponent> loadHidden(const Reference<css::frame::XDesktop2>& desktop,
                                                   const OUString& url) {
    return Reference<css::frame::XComponentLoader>(desktop, UNO_QUERY_THROW)
        ->loadComponentFromURL(url, "_blank", 0, sequenceOf({property("Hidden", Any(true))}));
}

}  // namespace sheets::calc::tools
