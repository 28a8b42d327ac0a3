#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sheets/cell_value.h"
#include "sheets/xlsx/cell_formats.h"
#include "sheets/xlsx/shared_strings.h"

namespace sheets::xlsx {

class Package;

// What a worksheet's reading needs of its workbook.
struct SheetContext {
    const Package& package;
    const CellFormats& formats;
    const SharedStrings& strings;
    double dateOffset = 0;  // days added to a date to count it from 1899-12-30 (1,462 on the 1904 system)
    std::vector<std::pair<int, int>> comments;  // (row, column) from 0 of the sheet's comments
    OfficeRelease release = installedOfficeRelease();
};

// How far a reading has come: rows read of the rows the sheet is expected to have. It may throw to
// stop the reading.
using ReadProgress = std::function<void(std::int64_t done, std::int64_t total)>;

// The <v> of a truth value as the office of a release reads it; nullopt where the release is
// unknown and the known ones read it differently.
std::optional<bool> officeTruth(std::string_view value, OfficeRelease release);

// One reading of a worksheet part, streamed once: the used rows as the office counts them, and the
// cells of the columns asked for in every row, as the office reads them. Never holds the sheet nor
// any column not asked for.
class SheetReader {
public:
    // columns: 1-based; part empty for a sheet without cells. Throws Failure when the part cannot be read,
    // NeedsOffice (application.h) when it holds what the office may read otherwise than this reader.
    SheetReader(const SheetContext& context, const std::string& part, std::vector<int> columns,
                const ReadProgress& progress);

    std::int32_t usedRows() const { return usedRows_; }
    bool holds(int column) const { return columns_.count(column) > 0; }
    // Rows 1..rows of a column read, as the office reads them. Throws NeedsOffice when one of them is
    // what the office may read otherwise.
    std::vector<CellValue> column(int column, std::int32_t rows) const;
    // One cell of a column read (row from 1), likewise.
    CellValue cell(int column, std::int32_t row) const;

    // A cell as read, before its number format is applied.
    struct Raw {
        enum Kind : std::uint8_t { Empty, Number, Boolean, SharedText, OwnText, Error, Uncertain };
        enum Formula : std::uint8_t { None, Plain, TrueFormula, FalseFormula, Recalculated };
        double number = 0;
        std::uint32_t text = 0;   // the shared string, or the own text (error name, doubt)
        std::int32_t format = 0;  // the cell format that applies to it
        Kind kind = Empty;
        Formula formula = None;
    };

private:
    CellValue value(const Raw& raw) const;

    SheetContext context_;
    std::map<int, std::vector<Raw>> columns_;
    std::vector<std::u16string> ownTexts_;
    std::int32_t usedRows_ = 1;

    friend class SheetScan;
};

}  // namespace sheets::xlsx
