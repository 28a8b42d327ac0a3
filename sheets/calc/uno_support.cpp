#include "sheets/calc/uno_support.h"

#include <cerrno>

#include <osl/file.hxx>

#include "sheets/utf8.h"

#include <com/sun/star/container/XHierarchicalNameAccess.hpp>

#include <csignal>
#include <mutex>

namespace sheets::calc {

std::string utf8(const OUString& s) {
    return rtl::OUStringToOString(s, RTL_TEXTENCODING_UTF8).getStr();
}
std::string utf8(const std::u16string& s) {
    return toUtf8(s);
}
OUString fromUtf8(const std::string& s) {
    return rtl::OStringToOUString(rtl::OString(s.data(), static_cast<sal_Int32>(s.size())),
                                  RTL_TEXTENCODING_UTF8);
}

OUString fileUrl(const std::string& path) {
    OUString url;
    if (osl::FileBase::getFileURLFromSystemPath(fromUtf8(path), url) != osl::FileBase::E_None)
        throw Failure("not a usable file path: " + path);
    return url;
}

css::beans::PropertyValue property(const char* name, const Any& value) {
    css::beans::PropertyValue p;
    p.Name = OUString::createFromAscii(name);
    p.Value = value;
    return p;
}

std::string describe(const std::string& what, const css::uno::Exception& e) {
    return what + ": " + utf8(Any(e).getValueTypeName()) + ": " + utf8(e.Message);
}

Reference<css::uno::XComponentContext> localContext() {
    static std::once_flag once;
    // Never destroyed: the UNO runtime may already be gone when statics are torn down.
    static auto* context = new Reference<css::uno::XComponentContext>();
    static auto* problem = new std::string();
    std::call_once(once, [] {
        // The bridge writes to the office's pipe; an office that has just ended must fail that call,
        // not end the program with SIGPIPE.
        std::signal(SIGPIPE, SIG_IGN);
        try {
            // Without it the type manager lacks the office types and the first remote call crashes.
            rtl::Bootstrap::set("URE_BOOTSTRAP", "vnd.sun.star.pathname:" LO_PROGRAM_DIR "/fundamentalrc");
            Reference<css::uno::XComponentContext> ctx = cppu::defaultBootstrap_InitialComponentContext();
            Reference<css::container::XHierarchicalNameAccess> types(
                ctx->getValueByName("/singletons/com.sun.star.reflection.theTypeDescriptionManager"),
                UNO_QUERY_THROW);
            if (!types->hasByHierarchicalName("com.sun.star.sheet.XSpreadsheet"))
                *problem =
                    "the UNO type manager lacks the office types (" LO_PROGRAM_DIR "/types/offapi.rdb)";
            else
                *context = ctx;
        } catch (const css::uno::Exception& e) {
            *problem = describe("cannot bootstrap UNO", e);
        } catch (const cppu::BootstrapException& e) {
            *problem = "cannot bootstrap UNO: " + utf8(e.getMessage());
        } catch (const std::exception& e) {
            *problem = std::string("cannot bootstrap UNO: ") + e.what();
        }
    });
    if (!context->is()) throw Failure(*problem);
    return *context;
}

}  // namespace sheets::calc

namespace sheets::calc {}  // namespace sheets::calc
