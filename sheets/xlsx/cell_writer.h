#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sheets/cell_value.h"
#include "sheets/sheet_edit.h"
#include "sheets/xlsx/xml.h"

namespace sheets::xlsx {

class Styles;

// Writes the edit's cells into the rows of the edited sheet, typed, each with a style carrying its
// number format (added to the styles as needed). The rows come one at a time (writeRow), existing
// ones and, for numbers hasValue() asks for, new ones; finish() widens the sheet's dimension.
class CellWriter {
public:
    // frame: the sheet (its columns' styles and dimension); styles: null when the package has none,
    // and then createStyles makes one when a cell needs a number format; date1904: the workbook
    // counts its dates from 1904.
    CellWriter(XmlPart& frame, XmlPart* styles, std::function<XmlPart&()> createStyles, const SheetEdit& edit,
               bool date1904);
    ~CellWriter();

    // Whether row `number` (from 1) gets a value, and so must exist.
    bool hasValue(int number) const;
    int rowCount() const { return rowCount_; }
    // Whether writeRow() puts a value into, or clears, the cell at row `number`, column `column`.
    bool writes(int number, int column) const {
        return number <= rowCount_ && edit_.firstColumn <= column &&
               column < edit_.firstColumn + edit_.cells.width;
    }
    void writeRow(pugi::xml_node row);
    void finish();

private:
    struct ColumnStyle {
        int min, max, style;
    };

    const CellValue& at(int number, int j) const;
    static bool isBlank(const CellValue& value);
    static pugi::xml_node firstElement(pugi::xml_node parent);
    static pugi::xml_node nextElement(pugi::xml_node n);
    static int columnOf(pugi::xml_node cell);
    pugi::xml_node newCell(pugi::xml_node row, pugi::xml_node before, const std::string& address);
    pugi::xml_node clear(pugi::xml_node cell);
    void empty(pugi::xml_node cell) const;
    // Whether the edit writes every cell of a range ("C1:D4").
    bool written(std::string_view range) const;
    int baseStyle(pugi::xml_node row, pugi::xml_node cell, int column) const;
    void fill(pugi::xml_node row, pugi::xml_node cell, int column, const CellValue& value);
    std::optional<int> formatIdOf(const CellValue& value);
    void setValue(pugi::xml_node cell, const std::string& text);
    void inlineText(pugi::xml_node cell, const std::u16string& text);
    void widenSpans(pugi::xml_node row) const;
    void widenDimension();

    XmlPart& sheet_;
    std::unique_ptr<Styles> styles_;
    const SheetEdit& edit_;
    bool date1904_;
    std::string prefix_;
    std::vector<ColumnStyle> columnStyles_;
    // The format ids values are shown in, by format and kind: the same few for a whole column.
    std::map<std::pair<const NumberFormat*, CellValue::Kind>, std::optional<int>> formatIds_;
    int rowCount_ = 0;
};

}  // namespace sheets::xlsx
