#pragma once
// Builds small workbook files cell by cell, with formulas and formats, and reads back what an office
// holds, through a UNO connection of its own to a running office: for tests and scripted sessions.

#include <string>
#include <variant>
#include <vector>

namespace sheets::calc::tools {

struct Formula {
    std::string text;
};

struct CellSpec {
    int sheet = 0;        // 0-based
    std::string address;  // "B3"
    std::variant<double, std::u16string, Formula> content;
    std::string format = {};  // number format code, "BOOLEAN" for the boolean format; empty: standard
};

struct SheetSpec {
    std::u16string name;
};

// Writes a workbook with the given sheets (at least one) and cells; the format follows the extension
// (.xls, .xlsx, .ods).
void makeWorkbook(const std::string& pipeName, const std::string& path, const std::vector<SheetSpec>& sheets,
                  const std::vector<CellSpec>& cells);

// The formula of a cell of a file, read back through the office.
std::string formulaOf(const std::string& pipeName, const std::string& path, int sheet,
                      const std::string& address);

// The used cells of the first sheet of the one workbook left open in the office at pipeName (the
// result of a run into a new workbook), each as the office shows it.
std::vector<std::vector<std::u16string>> openWorkbookCells(const std::string& pipeName);

// Ends an office that a run left running for the user: its workbooks are closed without saving.
void endOffice(const std::string& pipeName);

}  // namespace sheets::calc::tools
