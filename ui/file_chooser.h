#pragma once

#include <functional>
#include <optional>

#include <QString>

class QWidget;

namespace ui {

// Asks the user for a workbook file, starting in `folder`: its full path, or nothing when the user
// cancels.
using FileChooser = std::function<std::optional<QString>(QWidget& owner, const QString& folder)>;

// Qt's own open-file dialog (the same on every platform), modal to the owner, titled "打开文件".
// Its filters: the Excel workbooks (the default), every workbook the spreadsheet application opens,
// and .xls alone. Its object name is "openFileDialog".
std::optional<QString> chooseWorkbook(QWidget& owner, const QString& folder);

// Lets `box` take a workbook file dropped from a file manager: `dropped` gets its full path. Other
// drops (several files, folders, other files) are refused.
void acceptWorkbookDrops(QWidget& box, std::function<void(const QString&)> dropped);

// A chosen path as the path boxes hold it: trailing spaces removed.
QString withoutTrailingSpaces(const QString& path);

}  // namespace ui
