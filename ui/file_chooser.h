#pragma once

#include <functional>
#include <optional>

#include <QString>

class QWidget;

namespace ui {

// Asks the user for a workbook file: its full path, or nothing when the user cancels.
using FileChooser = std::function<std::optional<QString>(QWidget& owner)>;

// Qt's own open-file dialog (the same on every platform), modal to the owner, titled "打开文件",
// starting in the program's directory, with the .xls filter first and then every workbook type the
// spreadsheet application opens. Its object name is "openFileDialog".
std::optional<QString> chooseWorkbook(QWidget& owner);

// A chosen path as the path boxes hold it: trailing spaces removed.
QString withoutTrailingSpaces(const QString& path);

}  // namespace ui
