#pragma once

#include <sys/types.h>
#include <memory>
#include <string>

#include "sheets/application.h"

namespace sheets::calc {

// Applications on LibreOffice Calc: each one is a private office process with its own profile, which
// never touches an office the user runs.
class CalcApplicationFactory : public sheets::ApplicationFactory {
public:
    // The office runs headless where no display is available (neither DISPLAY nor WAYLAND_DISPLAY),
    // else invisible until a workbook is shown; always headless when told so, for a run with no window.
    explicit CalcApplicationFactory(bool alwaysHeadless = false) : alwaysHeadless_(alwaysHeadless) {}
    std::unique_ptr<sheets::Application> create(sheets::Desktop& desktop,
                                                const sheets::RunFiles& files = {}) override;

private:
    bool alwaysHeadless_;
};

// Where an application's office lives: its pipe, for the tests and benchmarks that make and read
// workbooks in the same office, and its processes and profile, for the tests that check nothing of it
// outlives the application. Empty for an object that is not a Calc application.
struct OfficeInfo {
    pid_t officePid = -1;
    pid_t guardPid = -1;
    std::string profileDir;  // the private profile's folder, removed when the office is gone
    std::string pipeName;
    bool headless = false;
};
OfficeInfo officeInfo(const sheets::Application& application);

}  // namespace sheets::calc
