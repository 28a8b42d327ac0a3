#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sheets/xls/biff.h"
#include "sheets/xls/formula.h"
#include "sheets/xls/shared_strings.h"

namespace sheets::xls {

// The workbook globals: the sheets, the link table that 3-D references go through, defined names,
// number formats, cell formats and shared strings. Additions are kept aside until commit().
class Globals {
public:
    struct Sheet {
        std::size_t record = 0;  // its BOUNDSHEET among the globals' records
        std::u16string name;
        int type = 0;              // 0 worksheet or dialog, 1 macro sheet, 2 chart, 6 module
        std::size_t position = 0;  // of its BOF in the stream as read
    };

    // Refuses what is not BIFF8, an encrypted workbook and one with a password to modify it.
    explicit Globals(Substream& globals);

    const std::vector<Sheet>& sheets() const { return sheets_; }
    bool date1904() const { return date1904_; }
    // The sheets a reference through EXTERNSHEET entry `ixti` names.
    SheetSpan span(int ixti, int editedSheet) const;
    // Whether any 3-D reference of the workbook can name the sheet: only those through the link
    // table can, and it has an entry that covers the sheet.
    bool reachable(int sheet) const;
    // The columns of a sheet's auto-filter range, as the workbook names it (_FilterDatabase).
    std::optional<std::pair<int, int>> filterColumns(int sheet) const;

    // Defined names follow the insertion; a pivot table's source that would move is refused.
    void shiftReferences(const Insertion& insertion);
    // The formulas' results are computed anew when the workbook is next opened.
    void markForRecalculation();

    // The id of a number format code in Excel's notation (UTF-8): built in, listed, or added.
    int formatId(const std::string& code);
    // A cell format (XF) like `base` but showing numbers in format `formatId`; an equal one is reused.
    int cellFormat(int base, int formatId);
    SharedStrings& strings() { return strings_; }

    // Writes what was added into the globals' records; their positions may then be laid out.
    void commit();
    // The positions the globals keep: each sheet's BOF (by BOUNDSHEET order) and the string index.
    void place(const std::vector<std::size_t>& recordPositions,
               const std::vector<std::size_t>& sheetPositions);

private:
    struct Link {
        int book = 0, first = 0, last = 0;
    };
    void readRecord(std::size_t i);
    void readLinks(std::size_t i);
    void readFilterName(const std::string& data);
    void shiftName(std::size_t i, const Insertion& insertion);
    void checkPivotSource(const Record& r, const Insertion& insertion) const;
    std::size_t lastOf(std::uint16_t type) const;
    void updateChecksum();

    Substream& globals_;
    std::vector<Sheet> sheets_;
    std::vector<bool> selfBooks_;  // SUPBOOK records in order: whether each is this workbook
    std::vector<Link> links_;
    std::map<int, std::pair<int, int>> filters_;
    bool date1904_ = false;
    std::map<std::string, int> formats_;  // code (UTF-8) -> id
    int nextFormat_ = 164;
    std::vector<std::string> xfs_;
    std::map<std::string, int> xfIndex_;
    std::map<int, std::vector<std::string>> xfExtensions_;  // XFEXT data by the XF they extend
    std::vector<std::pair<int, std::string>> addedFormats_;
    std::vector<std::string> addedXfs_;
    std::vector<std::string> addedExtensions_;
    SharedStrings strings_;
};

}  // namespace sheets::xls
