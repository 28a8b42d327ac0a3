#pragma once

#include <string>
#include <vector>

#include "run/progress.h"
#include "run/run_report.h"
#include "sheets/application.h"
#include "sheets/clipboard.h"

namespace run {

// The completion of a run and what it leaves the user to act on.
struct Completion {
    std::u16string text, title, informative, detailed;
    std::u16string resultFile;            // the saved workbook holding the result; empty when none
    std::vector<std::u16string> backups;  // the copies of the files the run stored over
    RunSummary summary;                   // what the details tell, for a reader other than a person
};

// What a run needs of the windows: the save question it lends the spreadsheet application, the
// clipboard, modal messages, the inputs it disables while it works, the end of the program, and
// where it reports its progress.
class RunWindow : public sheets::Desktop, public ProgressListener {
public:
    virtual sheets::Clipboard& clipboard() = 0;
    // A modal box with the exclamation icon and one OK button.
    virtual void showMessage(const std::u16string& text, const std::u16string& title) = 0;
    // The same box with an informative text under its text and a detailed text the user can unfold;
    // either may be empty.
    virtual void showDetailedMessage(const std::u16string& text, const std::u16string& title,
                                     const std::u16string& informative, const std::u16string& detailed) {
        (void)informative;
        (void)detailed;
        showMessage(text, title);
    }
    // The completion box, which may offer to open the result and to undo the run.
    virtual void showCompletion(const Completion& c) {
        showDetailedMessage(c.text, c.title, c.informative, c.detailed);
    }
    virtual void setFrameEnabled(bool enabled) = 0;  // Frame1
    virtual void setStartEnabled(bool enabled) = 0;  // Command1
    // Ends the program as soon as the run has returned.
    virtual void endProgram() = 0;
};

}  // namespace run
