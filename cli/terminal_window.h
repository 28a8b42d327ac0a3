#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "run/run_window.h"
#include "sheets/clipboard.h"

namespace cli {

// How one child's run ended.
struct ChildOutcome {
    enum class State { Done, Failed, Cancelled };
    std::string child;
    State state = State::Failed;
    std::optional<run::Completion> completion;
    std::u16string message, detail;  // what the window would have shown, when the run failed
};

// Ctrl-C from now on cancels the run as the progress window's 取消 does.
void cancelOnInterrupt();
bool interrupted();

// What a run needs of a window, for a run in a terminal: no window at all. Every message is kept for
// the summary, the save question is answered "save" (the command line named the file), and the
// progress goes to standard error as one line that is drawn over, when that is a terminal.
class TerminalWindow : public run::RunWindow {
public:
    explicit TerminalWindow(bool showProgress) : showProgress_(showProgress) {}

    sheets::Clipboard& clipboard() override { return clipboard_; }
    void showMessage(const std::u16string& text, const std::u16string& title) override;
    void showDetailedMessage(const std::u16string& text, const std::u16string& title,
                             const std::u16string& informative, const std::u16string& detailed) override;
    void showCompletion(const run::Completion& c) override { completion_ = c; }
    void setFrameEnabled(bool) override {}
    void setStartEnabled(bool) override {}
    void endProgram() override {}
    bool askSaveChanges(const std::u16string&) override { return true; }
    bool cancelled() override { return interrupted(); }
    void progress(run::Phase phase, std::int64_t done, std::int64_t total) override;

    // How the run that just returned ended; the window is ready for the next one.
    ChildOutcome take(const std::string& child);
    // The run failed by throwing what it should have reported.
    void escaped(const std::string& what);

private:
    void clearProgress();

    bool showProgress_;
    sheets::TextClipboard clipboard_;
    std::optional<run::Completion> completion_;
    std::u16string message_, detail_;
    bool drawn_ = false;
    std::optional<run::Phase> phase_;
    std::chrono::steady_clock::time_point lastDrawn_;
};

}  // namespace cli
