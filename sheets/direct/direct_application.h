#pragma once

#include <memory>

#include "sheets/application.h"

namespace sheets::direct {

// Applications that read and write .xlsx and .xlsm packages themselves, without an office: they read
// every cell as the office would and write a run's change into the package in place. What they cannot
// read or write with certainty makes them throw NeedsOffice; a new workbook is beyond them.
class DirectApplicationFactory : public ApplicationFactory {
public:
    std::unique_ptr<Application> create(Desktop& desktop, const RunFiles& files = {}) override;
};

}  // namespace sheets::direct
