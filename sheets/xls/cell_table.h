#pragma once

#include <map>
#include <optional>
#include <vector>

#include "sheets/sheet_edit.h"
#include "sheets/xls/biff.h"
#include "sheets/xls/formula.h"
#include "sheets/xls/globals.h"

namespace sheets::xls {

// The edited sheet's cell table: its rows and cells, taken out of the sheet's records, moved by the
// insertion, given the result cells, and put back as row blocks of 32 rows with their DBCELL
// records, as Excel writes them.
class CellTable {
public:
    // Takes the table out of the sheet's records (a mark stays where it was), after the layout pass
    // (the column formats are read as they now are). Throws Unsupported for a record among the
    // cells that is none of theirs.
    explicit CellTable(std::vector<Record>& records);

    // Cells and rows to the right of the insertion move; a multiple-cell record across it splits.
    void shift(const Insertion& insertion);
    // Writes the edit's cells from row 1, typed, each in a cell format that shows its number format
    // (the cell's own, else its row's, else its column's, with that number format); an empty value
    // empties its cell.
    void write(const SheetEdit& edit, Globals& globals);
    // Puts the table back into the sheet's records; sizes the INDEX record for its blocks and widens
    // the dimensions by the written cells.
    void store(std::vector<Record>& records);

private:
    struct Cell {
        int first = 0, last = 0;      // columns
        std::vector<Record> records;  // the cell's record, then its formula's and string's records
    };
    struct Row {
        std::optional<Record> row;
        std::vector<Cell> cells;
    };

    void take(std::vector<Record>& records);
    void add(Record r);
    void shiftCell(Row& row, std::size_t k, const Insertion& insertion);
    Cell* cellAt(int row, int column, bool create);
    void writeValue(int row, int column, const CellValue& value, Globals& globals);
    int baseFormat(int row, int column, const Cell* existing) const;
    void touchRow(int row, int column);
    std::vector<Record> blocks(std::size_t& count) const;
    void sizeIndex(std::string& data, std::size_t blocks) const;
    void widenDimensions(std::string& data) const;

    std::size_t mark_ = 0;  // where the table was among the sheet's records
    std::map<int, Row> rows_;
    int lastRowTouched_ = -1;
    std::optional<int> firstRowWritten_;
    int lastRowWritten_ = -1, lastColumnWritten_ = -1, firstColumnWritten_ = -1;
    bool rowsAdded_ = false;
    struct ColumnFormat {
        int first, last, xf;
    };
    std::vector<ColumnFormat> columnFormats_;
    int rowHeight_ = 0x00FF;
    bool date1904_ = false;
};

// The INDEX record of a sheet, from where its DBCELL and DEFCOLWIDTH records now are (`start`:
// the sheet's position in the stream).
void indexSheet(Substream& sheet, std::size_t start);
// The INDEX record of a sheet whose content did not change, moved by `delta` bytes with it.
void moveIndex(Substream& sheet, std::int64_t delta);

}  // namespace sheets::xls
