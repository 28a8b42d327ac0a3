#pragma once
// Makes workbook files with formulas, formats, comments and frozen panes, and reads back what an
// office holds, through a connection of its own to the office of an application: for tests.

#include <string>
#include <variant>
#include <vector>

#include "sheets/application.h"

namespace sheets::calc::testing {

struct Formula {
    std::string text;
};
using Content = std::variant<double, std::u16string, Formula>;

struct CellSpec {
    int sheet = 0;        // 0-based
    std::string address;  // "B3"
    Content content;
    std::string format = {};      // number format code, "BOOLEAN" for the boolean format; empty: standard
    std::u16string comment = {};  // a comment on the cell, when not empty
};

struct SheetSpec {
    std::u16string name;
    std::string frozenAt = {};  // "C3": the rows above and the columns left of C3 frozen; empty: none
};

// Writes a workbook with the given sheets (at least one) and cells; the format follows the extension
// (.xls, .xlsx, .ods).
void makeWorkbook(const std::string& pipeName, const std::string& path, const std::vector<SheetSpec>& sheets,
                  const std::vector<CellSpec>& cells);

// A one-sheet workbook from rows of cells starting at A1, written in one block (formulas apart), so
// that large tables are quick to make; an empty text leaves its cell empty.
using Row = std::vector<Content>;
void makeTable(const std::string& pipeName, const std::string& path, const std::u16string& sheetName,
               const std::vector<Row>& rows);

// The formula of a cell of a file (sheet from 0).
std::string formulaOf(const std::string& pipeName, const std::string& path, int sheet,
                      const std::string& address);

// Per sheet of a file, the cell at which its panes are frozen ("C3"), or "" for a sheet without.
std::vector<std::string> frozenPanesOf(const std::string& pipeName, const std::string& path);

// A setting of the office's configuration ("/org.openoffice.Setup/L10N", "ooLocale"), as text.
std::string officeSetting(const std::string& pipeName, const std::string& node, const std::string& name);

// The used cells of the first sheet of the one workbook left open in the office at pipeName (the
// result of a run into a new workbook), each as the office shows it.
std::vector<std::vector<std::u16string>> openWorkbookCells(const std::string& pipeName);

}  // namespace sheets::calc::testing
