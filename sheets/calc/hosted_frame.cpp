#include "sheets/calc/hosted_frame.h"

#include <com/sun/star/awt/Rectangle.hpp>
#include <com/sun/star/awt/Toolkit.hpp>
#include <com/sun/star/awt/WindowAttribute.hpp>
#include <com/sun/star/awt/WindowClass.hpp>
#include <com/sun/star/awt/WindowDescriptor.hpp>
#include <com/sun/star/awt/XToolkit2.hpp>
#include <com/sun/star/awt/XWindowPeer.hpp>
#include <com/sun/star/document/FilterOptionsRequest.hpp>
#include <com/sun/star/document/LockedDocumentRequest.hpp>
#include <com/sun/star/document/XInteractionFilterOptions.hpp>
#include <com/sun/star/frame/Frame.hpp>
#include <com/sun/star/frame/XFrames.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/task/ErrorCodeRequest.hpp>
#include <com/sun/star/task/XInteractionAbort.hpp>
#include <com/sun/star/task/XInteractionApprove.hpp>
#include <cppuhelper/implbase1.hxx>

namespace sheets::calc {
namespace {

Reference<css::awt::XWindowPeer> createWindow(const Reference<css::awt::XToolkit2>& toolkit,
                                              css::awt::WindowClass kind, const char* service,
                                              const Reference<css::awt::XWindowPeer>& parent,
                                              const css::awt::Rectangle& bounds, sal_Int32 attributes) {
    css::awt::WindowDescriptor descriptor;
    descriptor.Type = kind;
    descriptor.WindowServiceName = OUString::createFromAscii(service);
    descriptor.ParentIndex = -1;
    descriptor.Parent = parent;
    descriptor.Bounds = bounds;
    descriptor.WindowAttributes = attributes;
    return toolkit->createWindow(descriptor);
}

class QuietInteraction : public cppu::WeakImplHelper1<css::task::XInteractionHandler> {
public:
    void SAL_CALL handle(const Reference<css::task::XInteractionRequest>& request) override {
        const Any question = request->getRequest();
        if (css::task::ErrorCodeRequest error; question >>= error) {
            constexpr sal_Int32 kWarning = sal_Int32(0x80000000);  // the warning bit of an error code
            if ((error.ErrCode & kWarning) != 0 && choose<css::task::XInteractionApprove>(request)) return;
        } else if (question.isExtractableTo(cppu::UnoType<css::document::LockedDocumentRequest>::get())) {
            if (choose<css::task::XInteractionApprove>(request)) return;
        } else if (question.isExtractableTo(cppu::UnoType<css::document::FilterOptionsRequest>::get())) {
            if (choose<css::document::XInteractionFilterOptions>(request)) return;
        }
        choose<css::task::XInteractionAbort>(request);
    }

private:
    // Selects the request's continuation of that kind; false when it offers none.
    template <class Continuation>
    static bool choose(const Reference<css::task::XInteractionRequest>& request) {
        for (const auto& c : request->getContinuations()) {
            if (Reference<Continuation> chosen(c, UNO_QUERY); chosen.is()) {
                chosen->select();
                return true;
            }
        }
        return false;
    }
};

}  // namespace

Reference<css::task::XInteractionHandler> quietInteraction() {
    return new QuietInteraction;
}

HostedFrame HostedFrame::create(const Reference<css::uno::XComponentContext>& context,
                                const Reference<css::frame::XDesktop2>& desktop) {
    namespace attribute = css::awt::WindowAttribute;
    Reference<css::awt::XToolkit2> toolkit = css::awt::Toolkit::create(context);
    // The size of the screen's work area: the host is not resizable, and its child fills it.
    css::awt::Rectangle area = toolkit->getWorkArea();
    area.X = area.Y = 0;
    if (area.Width <= 0 || area.Height <= 0) area = {0, 0, 1024, 768};
    HostedFrame hosted;
    Reference<css::awt::XWindowPeer> host = createWindow(
        toolkit, css::awt::WindowClass_TOP, "window", nullptr, area, attribute::BORDER | attribute::MOVEABLE);
    hosted.host.set(host, UNO_QUERY_THROW);
    try {
        Reference<css::awt::XWindow> child(
            createWindow(toolkit, css::awt::WindowClass_CONTAINER, "dockingwindow", host, area, 0),
            UNO_QUERY_THROW);
        hosted.frame.set(css::frame::Frame::create(context), UNO_QUERY_THROW);
        hosted.frame->initialize(child);
        Reference<css::frame::XFramesSupplier> tasks(desktop, UNO_QUERY_THROW);
        tasks->getFrames()->append(hosted.frame);
        hosted.frame->setCreator(tasks);
    } catch (...) {
        hosted.dispose();
        throw;
    }
    return hosted;
}

void HostedFrame::dispose() noexcept {
    for (const Reference<css::lang::XComponent>& c : {Reference<css::lang::XComponent>(frame, UNO_QUERY),
                                                      Reference<css::lang::XComponent>(host, UNO_QUERY)}) {
        try {
            if (c.is()) c->dispose();
        } catch (const css::uno::Exception&) {
            // Already gone with its document or the office.
        }
    }
    frame.clear();
    host.clear();
}

}  // namespace sheets::calc
