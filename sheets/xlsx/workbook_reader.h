#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sheets/xlsx/cell_formats.h"
#include "sheets/xlsx/package.h"
#include "sheets/xlsx/shared_strings.h"
#include "sheets/xlsx/sheet_reader.h"

namespace sheets::xlsx {

// An .xlsx or .xlsm package opened for reading as the office reads it: its sheets counted as the
// office counts them (chart, dialog and macro sheets too), its cell formats and strings.
class WorkbookReader {
public:
    // Throws Failure with the cause the office gives for what is no workbook of its kind (not a
    // package, a package without a workbook, an encrypted one).
    WorkbookReader(const std::string& path, NumberLocale locale);

    int sheetCount() const { return static_cast<int>(sheets_.size()); }
    // The name of the sheet at a position from 1.
    const std::string& sheetName(int position) const {
        return sheets_.at(static_cast<std::size_t>(position - 1)).name;
    }
    // One reading of the sheet at a position from 1 (SheetReader); a sheet that holds no cells for the
    // office (a chart, dialog or macro sheet, a sheet without its part) reads as an empty one.
    std::unique_ptr<SheetReader> read(int position, std::vector<int> columns, const ReadProgress& progress);

private:
    struct Sheet {
        std::string name;
        std::string part;
        std::string type;
    };
    const SharedStrings& strings(const ReadProgress& progress);
    std::vector<std::pair<int, int>> commentsOf(const std::string& sheetPart) const;

    std::string path_;
    std::unique_ptr<Package> package_;
    std::string workbookPart_;
    std::vector<Sheet> sheets_;
    std::unique_ptr<CellFormats> formats_;
    std::string stringsPart_;
    std::optional<SharedStrings> strings_;
    double dateOffset_ = 0;
};

}  // namespace sheets::xlsx
