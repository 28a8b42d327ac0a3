// Writes and reads small workbooks for the scripted session tests:
//   workbook_tool make <file> <row>...   one argument per row, cells separated by tabs
//   workbook_tool dump <file>            the first sheet's used rows, cells as text, tab-separated
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include <QString>

#include "sheets/calc/calc_application.h"
#include "sheets/calc/tools/workbook_maker.h"
#include "test_support.h"

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
        std::vector<sheets::calc::tools::Row> rows;
        for (int r = 3; r < argc; ++r) {
            rows.emplace_back();
            const std::u16string row = u16(argv[r]);
            for (std::size_t start = 0, tab = 0; tab != std::u16string::npos; start = tab + 1) {
                tab = row.find(u'\t', start);
                rows.back().push_back(row.substr(start, tab - start));
            }
        }
        sheets::calc::tools::makeTable(sheets::calc::officeInfo(*app).pipeName, path, u"Sheet1", rows);
    } else if (command == "dump") {
        for (const auto& row : sheets::calc::tools::readTable(*app, u16(path), 26)) {
            std::size_t last = 0;
            for (std::size_t c = 0; c < row.size(); ++c)
                if (row[c].kind() != sheets::CellValue::Kind::Empty) last = c + 1;
            std::string line;
            for (std::size_t c = 0; c < last; ++c) line += (c ? "\t" : "") + utf8(row[c].toText());
            std::cout << line << '\n';
        }
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
