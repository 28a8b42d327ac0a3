#pragma once
// Shared UNO includes and conversions; private to sheets/calc.

#include <sal/config.h>

#include <cppuhelper/bootstrap.hxx>
#include <rtl/bootstrap.hxx>
#include <rtl/ustring.hxx>

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/uno/Any.hxx>
#include <com/sun/star/uno/Exception.hpp>
#include <com/sun/star/uno/Reference.hxx>
#include <com/sun/star/uno/Sequence.hxx>
#include <com/sun/star/uno/XComponentContext.hpp>

#include <initializer_list>
#include <string>

#include "sheets/failure.h"

namespace sheets::calc {

namespace css = com::sun::star;
using css::uno::Any;
using css::uno::Reference;
using css::uno::Sequence;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;
using rtl::OUString;

// Outside LibreOffice's own code a Sequence cannot be built from an initialiser list.
template <class T>
Sequence<T> sequenceOf(std::initializer_list<T> items) {
    return Sequence<T>(items.begin(), static_cast<sal_Int32>(items.size()));
}

inline OUString toOUString(const std::u16string& s) {
    // Outside LibreOffice's own code sal_Unicode is a 16-bit integer type, not char16_t.
    return OUString(reinterpret_cast<const sal_Unicode*>(s.data()), static_cast<sal_Int32>(s.size()));
}
inline std::u16string fromOUString(const OUString& s) {
    return std::u16string(reinterpret_cast<const char16_t*>(s.getStr()),
                          static_cast<std::size_t>(s.getLength()));
}
std::string utf8(const OUString& s);
std::string utf8(const std::u16string& s);
OUString fromUtf8(const std::string& s);

// file:// URL of an absolute system path.
OUString fileUrl(const std::string& path);
css::beans::PropertyValue property(const char* name, const Any& value);

// "<what>: <exception type>: <message>", for a Failure's detail.
std::string describe(const std::string& what, const css::uno::Exception& e);

// The client side's component context, made once per process.
Reference<css::uno::XComponentContext> localContext();

}  // namespace sheets::calc
