#include "sheets/xlsx/office_release.h"

namespace sheets::xlsx {

OfficeRelease officeRelease(std::string_view majorMinor) {
    const std::string_view major = majorMinor.substr(0, majorMinor.find('.'));
    if (major == "7") return OfficeRelease::LibreOffice7;
    if (major == "25") return OfficeRelease::LibreOffice25;
    return OfficeRelease::Other;
}

OfficeRelease installedOfficeRelease() {
    static const OfficeRelease release = officeRelease(LO_MAJOR_MINOR);
    return release;
}

}  // namespace sheets::xlsx
