#pragma once

#include <atomic>
#include <string>

#include <QTimer>

#include "run/run_window.h"
#include "sheets/clipboard.h"

class QObject;
class QWidget;

namespace ui {

class ProgressWindow;

// The system clipboard, plain text only. It may be used from any thread: the clipboard itself is
// reached on the thread of `owner`.
class QtClipboard : public sheets::Clipboard {
public:
    explicit QtClipboard(QObject& owner) : owner_(owner) {}
    void clear() override;
    void setText(const std::u16string& text) override;
    std::u16string text() const override;

private:
    QObject& owner_;
};

// What a run needs of the main window. A run works on a thread of its own: everything it asks of the
// window is carried out on the window's thread while the run waits, in the order it asks. Message
// boxes are modal to the window; the end of the program is only noted here, for the window to carry
// out once the run has returned. The progress window comes up only when a run is still going after
// half a second.
class QtRunWindow : public run::RunWindow {
public:
    QtRunWindow(QWidget& window, QWidget& frame, QWidget& start);
    ~QtRunWindow() override;

    sheets::Clipboard& clipboard() override { return clipboard_; }
    bool askSaveChanges(const std::u16string& fileName) override;
    void showMessage(const std::u16string& text, const std::u16string& title) override;
    void showDetailedMessage(const std::u16string& text, const std::u16string& title,
                             const std::u16string& informative, const std::u16string& detailed) override;
    void showCompletion(const run::Completion& completion) override;
    void setFrameEnabled(bool enabled) override;
    void setStartEnabled(bool enabled) override;
    void endProgram() override { endRequested_ = true; }
    void progress(run::Phase phase, std::int64_t done, std::int64_t total) override;
    bool cancelled() override { return cancelled_; }

    // On the window's thread, around a run.
    void runStarting();
    void runEnded();
    // The run stops at its next safe point.
    void cancel() { cancelled_ = true; }

    // Whether the run asked for the end of the program; clears the request.
    bool takeEndRequest();

private:
    template <class Action>
    void onWindowThread(Action&& action);

    QWidget& window_;
    QWidget& frame_;
    QWidget& start_;
    QtClipboard clipboard_;
    ProgressWindow* progress_ = nullptr;  // a child of the window, made for the first run
    QTimer showProgress_;
    std::atomic<bool> cancelled_ = false;
    bool endRequested_ = false;
};

}  // namespace ui
