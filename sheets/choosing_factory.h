#pragma once

#include "sheets/application.h"

namespace sheets {

// Chooses the application for each run by what it opens: the packages themselves when every workbook
// is an .xlsx or .xlsm file and no new workbook is shown to the user, the office otherwise and for a
// run that starts again on it.
class ChoosingFactory : public ApplicationFactory {
public:
    ChoosingFactory(ApplicationFactory& packages, ApplicationFactory& office)
        : packages_(packages), office_(office) {}

    std::unique_ptr<Application> create(Desktop& desktop, const RunFiles& files = {}) override;

    // Whether the packages themselves serve a run that opens these files.
    static bool packagesServe(const RunFiles& files);

private:
    ApplicationFactory& packages_;
    ApplicationFactory& office_;
};

}  // namespace sheets
