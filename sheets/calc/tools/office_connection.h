#pragma once
// The desktop of a running office, reached through its pipe; private to calc_tools.

#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/bridge/XUnoUrlResolver.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/lang/XComponent.hpp>

#include "sheets/calc/uno_support.h"

namespace sheets::calc::tools {

inline Reference<css::frame::XDesktop2> officeDesktop(const std::string& pipeName) {
    Reference<css::bridge::XUnoUrlResolver> resolver = css::bridge::UnoUrlResolver::create(localContext());
    Reference<css::uno::XComponentContext> remote(
        resolver->resolve("uno:pipe,name=" + fromUtf8(pipeName) + ";urp;StarOffice.ComponentContext"),
        UNO_QUERY_THROW);
    return css::frame::Desktop::create(remote);
}

inline Reference<css::lang::XComponent> loadHidden(const Reference<css::frame::XDesktop2>& desktop,
                                                   const OUString& url) {
    return Reference<css::frame::XComponentLoader>(desktop, UNO_QUERY_THROW)
        ->loadComponentFromURL(url, "_blank", 0, sequenceOf({property("Hidden", Any(true))}));
}

}  // namespace sheets::calc::tools
