#pragma once

#include <string>

#include "run/run_window.h"
#include "sheets/clipboard.h"

class QWidget;

namespace ui {

// The system clipboard, plain text only.
class QtClipboard : public sheets::Clipboard {
public:
    void clear() override;
    void setText(const std::u16string& text) override;
    std::u16string text() const override;
};

// What a run needs of the main window. Message boxes are modal to the window; the end of the
// program is only noted here, for the window to carry out once the run has returned.
class QtRunWindow : public run::RunWindow {
public:
    QtRunWindow(QWidget& window, QWidget& frame, QWidget& start);

    sheets::Clipboard& clipboard() override { return clipboard_; }
    bool askSaveChanges(const std::u16string& fileName) override;
    void showMessage(const std::u16string& text, const std::u16string& title) override;
    void showDetailedMessage(const std::u16string& text, const std::u16string& title,
                             const std::u16string& informative, const std::u16string& detailed) override;
    void setFrameEnabled(bool enabled) override;
    void setStartEnabled(bool enabled) override;
    void endProgram() override { endRequested_ = true; }

    // Whether the run asked for the end of the program; clears the request.
    bool takeEndRequest();

private:
    QWidget& window_;
    QWidget& frame_;
    QWidget& start_;
    QtClipboard clipboard_;
    bool endRequested_ = false;
};

}  // namespace ui
