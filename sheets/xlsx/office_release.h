#pragma once

#include <cstdint>
#include <string_view>

namespace sheets::xlsx {

// The LibreOffice release whose reading of a package the reader follows where releases differ
// (escapes in text, truth values). With another release the reader cannot tell which reading
// applies, and leaves to the office what the two known ones read differently.
enum class OfficeRelease : std::uint8_t { LibreOffice7, LibreOffice25, Other };

// The release of a version "MAJOR.MINOR".
OfficeRelease officeRelease(std::string_view majorMinor);

// The installed office's release, known when the program is built on the machine that runs it.
OfficeRelease installedOfficeRelease();

}  // namespace sheets::xlsx
