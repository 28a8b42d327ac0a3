#pragma once

#include <sys/types.h>
#include <memory>
#include <string>

#include "sheets/application.h"

namespace sheets::calc {

struct CalcOptions {
    // Starts the office without any display even when one is available: nothing can be shown then.
    bool forceHeadless = false;
};

// Applications on LibreOffice Calc: each one is a private office process with its own profile, which
// never touches an office the user runs.
class CalcApplicationFactory : public sheets::ApplicationFactory {
public:
    CalcApplicationFactory();
    explicit CalcApplicationFactory(CalcOptions options);
    std::unique_ptr<sheets::Application> create(sheets::Desktop& desktop) override;

private:
    CalcOptions options_;
};

// Where an application's office lives, for diagnostics and tests. Empty for an object that is not a
// Calc application.
struct OfficeInfo {
    pid_t officePid = -1;
    pid_t guardPid = -1;
    std::string profileDir;  // the private profile's folder, removed when the office is gone
    std::string pipeName;
    bool headless = false;
};
OfficeInfo officeInfo(const sheets::Application& application);

}  // namespace sheets::calc
