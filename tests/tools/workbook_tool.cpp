// Writes and reads small workbooks for the scripted session tests:
//   workbook_tool make <file> <row>...   one argument per row, cells separated by tabs
//   workbook_tool dump <file>            the first sheet's used rows, cells as text, tab-separated
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include <QString>

#include "sheets/calc/calc_application.h"
#include "test_support.h"
#include "sheets/calc/tools/workbook_maker.h"

namespace {

std::u16string u16(const std::string& s) {
    return QString::fromStdString(s).toStdU16String();
}
std::string utf8(const std::u16string& s) {
    return QString::fromStdU16String(s).toStdString();
}

int run(int argc, char** argv) {
    const std::string command = argv[1], path = argv[2];
    sheets::calc::testing::FakeDesktop desktop;
    auto app = sheets::calc::CalcApplicationFactory({.forceHeadless = true}).create(desktop);
    if (command == "make") {
        std::vector<sheets::calc::testing::CellSpec> cells;
        for (int r = 3; r < argc; ++r) {
            const std::u16string row = u16(argv[r]);
            std::size_t start = 0;
            for (int c = 0;; ++c) {
                const std::size_t tab = row.find(u'\t', start);
                const std::u16string cell = row.substr(start, tab - start);
                if (!cell.empty())
                    cells.push_back({0, std::string(1, char('A' + c)) + std::to_string(r - 2), cell});
                if (tab == std::u16string::npos) break;
                start = tab + 1;
            }
        }
        sheets::calc::testing::makeWorkbook(sheets::calc::officeInfo(*app).pipeName, path, {{u"Sheet1"}},
                                            cells);
    } else if (command == "dump") {
        auto book = app->open(u16(path));
        auto sheet = book->worksheet(1);
        const auto rows = sheet->usedRowCount();
        std::vector<std::vector<sheets::CellValue>> columns;
        for (int c = 1; c <= 26; ++c) columns.push_back(sheet->column(c, rows));
        for (std::int32_t r = 0; r < rows; ++r) {
            std::string line;
            int last = 0;
            for (int c = 0; c < 26; ++c)
                if (columns[c][r].kind() != sheets::CellValue::Kind::Empty) last = c + 1;
            for (int c = 0; c < last; ++c) line += (c ? "\t" : "") + utf8(columns[c][r].toText());
            std::cout << line << '\n';
        }
        book->close(false);
    } else {
        return 2;
    }
    app->quit();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: workbook_tool make <file> <row>... | dump <file>\n";
        return 2;
    }
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << "workbook_tool: " << e.what() << '\n';
        return 1;
    }
}
