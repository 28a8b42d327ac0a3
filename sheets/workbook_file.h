#pragma once

#include <string>

namespace sheets {

// The canonical absolute path (UTF-8) of the readable, non-empty regular file a workbook path names;
// throws Failure with the cause when there is none (missing, a folder, empty, unreadable).
std::string existingWorkbookFile(const std::u16string& given);

}  // namespace sheets
