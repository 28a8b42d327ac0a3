#pragma once
// A frame inside a top-level window of its own that stays invisible until shown; private to sheets/calc.
//
// LibreOffice 7.4 gives a document loaded with Hidden=true a view that never reads the file's view
// settings (freeze panes, gridlines, zoom, page-break view), so a store of an .xlsx or .ods drops them.
// Loaded with Hidden=false into a frame whose window is a child of an invisible window, the document
// gets the view of a shown one and nothing reaches the screen; showing the host window shows it.

#include <com/sun/star/awt/XWindow.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/task/XInteractionHandler.hpp>

#include "sheets/calc/uno_support.h"

namespace sheets::calc {

struct HostedFrame {
    Reference<css::frame::XFrame> frame;
    Reference<css::awt::XWindow> host;  // the invisible top-level window around the frame's window

    // Creates both, with the frame a task of the office's desktop; throws css::uno::Exception.
    static HostedFrame create(const Reference<css::uno::XComponentContext>& context,
                              const Reference<css::frame::XDesktop2>& desktop);
    // Disposes the frame (if its document has not already closed it) and the host window.
    void dispose() noexcept;
};

// What a load into a hosted frame is given to answer the office's questions (which a hidden load answers
// by itself and a shown one would put on the screen): warnings are accepted, a locked file opens
// read-only, a text file with default import options, and any other question declines the load.
Reference<css::task::XInteractionHandler> quietInteraction();

}  // namespace sheets::calc
