#pragma once
// Builds small workbook files cell by cell, with formulas and formats, and reads back what an office
// holds, through a UNO connection of its own to a running office: for tests and scripted sessions.

#include <string>
#include <variant>
#include <vector>

#include "sheets/application.h"

namespace sheets::calc::tools {

struct Formula {
    std::string text;
};

struct CellSpec {
    int sheet = 0;        // 0-based
    std::string address;  // "B3"
    std::variant<double, std::u16string, Formula> content;
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

// A one-sheet workbook from rows of cells starting at A1; an empty text leaves its cell empty.
using Row = std::vector<std::variant<double, std::u16string, Formula>>;
void makeTable(const std::string& pipeName, const std::string& path, const std::u16string& sheetName,
               const std::vector<Row>& rows);

// Rows 1 to the used row count of columns A to columns of a workbook's first sheet, read through
// an application and closed again without saving.
std::vector<std::vector<sheets::CellValue>> readTable(sheets::Application& app, const std::u16string& path,
                                                      int columns);

// The formula of a cell of a file, read back through the office.
std::string formulaOf(const std::string& pipeName, const std::string& path, int sheet,
                      const std::string& address);

// Per sheet of a file, the cell at which its panes are frozen ("C3"), or "" for a sheet without.
std::vector<std::string> frozenPanesOf(const std::string& pipeName, const std::string& path);

// A setting of the office's configuration ("/org.openoffice.Setup/L10N", "ooLocale"), as text.
std::string officeSetting(const std::string& pipeName, const std::string& node, const std::string& name);

// The used cells of the first sheet of the one workbook left open in the office at pipeName (the
// result of a run into a new workbook), each as the office shows it.
std::vector<std::vector<std::u16string>> openWorkbookCells(const std::string& pipeName);

// Ends an office that a run left running for the user: its workbooks are closed without saving.
void endOffice(const std::string& pipeName);

}  // namespace sheets::calc::tools
