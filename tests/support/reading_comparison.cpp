#include "reading_comparison.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>

#include "sheets/failure.h"
#include "sheets/utf8.h"

namespace reading_comparison {
namespace {

using sheets::CellValue;

std::u16string u16(const std::string& s) {
    return sheets::fromUtf8(s);
}

std::string where(const std::string& path, int sheet, int row = 0, int column = 0) {
    std::string w = path.substr(path.rfind('/') + 1) + " sheet " + std::to_string(sheet);
    if (row > 0) w += " row " + std::to_string(row) + " column " + std::to_string(column);
    return w;
}

void doubt(Tally& t, const std::string& at, const sheets::NeedsOffice& n) {
    ++t.doubts;
    if (t.doubtReasons.size() < 30)
        t.doubtReasons.push_back(at + ": " + sheets::toUtf8(n.reason) + " (" + n.detail + ")");
}

// The sheets of an open workbook, as many as it has.
int sheetCount(sheets::Workbook& book) {
    try {
        book.worksheet(100000);
    } catch (const sheets::Failure& f) {
        return f.cause().sheetCount;
    }
    return 0;
}

// The packages' reading of one column, cell by cell where a cell of it is left to the office.
void compareColumn(const std::vector<CellValue>& expected, const std::vector<CellValue>* got,
                   sheets::Worksheet& packages, const std::string& path, int sheet, int column, Tally& t) {
    for (std::size_t r = 0; r < expected.size(); ++r) {
        const std::string at = where(path, sheet, static_cast<int>(r) + 1, column);
        CellValue cell;
        if (got) {
            cell = (*got)[r];
        } else {
            try {
                cell = packages.cell(static_cast<std::int32_t>(r) + 1, column);
            } catch (const sheets::NeedsOffice& n) {
                doubt(t, at, n);
                continue;
            }
        }
        ++t.cells;
        if (!(cell == expected[r]))
            t.differences.push_back(at + ": office " + describe(expected[r]) + ", packages " +
                                    describe(cell));
    }
}

void compareSheet(sheets::Workbook& office, sheets::Workbook& packages, const std::string& path, int sheet,
                  int columns, int maxRows, Tally& t) {
    auto officeSheet = office.worksheet(sheet);
    std::shared_ptr<sheets::Worksheet> packageSheet;
    std::int32_t rows = 0;
    const std::int32_t officeRows = officeSheet->usedRowCount();
    ++t.sheets;
    try {
        packageSheet = packages.worksheet(sheet);
        std::vector<int> wanted;
        for (int c = 1; c <= columns; ++c) wanted.push_back(c);
        packageSheet->willRead(wanted);
        rows = packageSheet->usedRowCount();
    } catch (const sheets::NeedsOffice& n) {
        return doubt(t, where(path, sheet), n);
    }
    if (rows != officeRows)
        t.differences.push_back(where(path, sheet) + ": used rows office " + std::to_string(officeRows) +
                                ", packages " + std::to_string(rows));
    const std::int32_t read = std::clamp<std::int32_t>(officeRows, 0, maxRows);
    std::vector<int> wanted;
    for (int c = 1; c <= columns; ++c) wanted.push_back(c);
    const auto expected = officeSheet->columns(wanted, read);
    std::optional<std::vector<std::vector<CellValue>>> got;
    try {
        got = packageSheet->columns(wanted, read);
    } catch (const sheets::NeedsOffice&) {
    }
    for (int c = 1; c <= columns; ++c)
        compareColumn(expected[static_cast<std::size_t>(c - 1)],
                      got ? &(*got)[static_cast<std::size_t>(c - 1)] : nullptr, *packageSheet, path, sheet, c,
                      t);
}

}  // namespace

std::string describe(const CellValue& v) {
    static const char* kinds[] = {"Empty", "Number", "Text", "Date", "Boolean", "Error"};
    std::string out = kinds[static_cast<int>(v.kind())];
    if (v.kind() == CellValue::Kind::Text || v.kind() == CellValue::Kind::Error) {
        std::string text;
        for (char c : sheets::toUtf8(v.textValue())) {
            if (static_cast<unsigned char>(c) < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\x%02x", c);
                text += buf;
            } else {
                text += c;
            }
        }
        out += " \"" + text + "\"";
    } else if (v.kind() != CellValue::Kind::Empty) {
        char buf[40];
        std::snprintf(buf, sizeof buf, " %.17g", v.numberValue());
        out += buf;
    }
    if (v.format())
        out += " [" + sheets::toUtf8(v.format()->code) + "|" + sheets::toUtf8(v.format()->locale) + "]";
    return out;
}

void compare(sheets::Application& office, sheets::Application& packages, const std::string& path, Tally& t,
             int columns, int maxRows) {
    ++t.files;
    std::shared_ptr<sheets::Workbook> officeBook, packageBook;
    std::optional<sheets::FailureCause::Kind> officeRefusal, packageRefusal;
    try {
        officeBook = office.open(u16(path));
    } catch (const sheets::Failure& f) {
        officeRefusal = f.cause().kind;
    }
    try {
        packageBook = packages.open(u16(path));
    } catch (const sheets::Failure& f) {
        packageRefusal = f.cause().kind;
    } catch (const sheets::NeedsOffice& n) {
        doubt(t, where(path, 0), n);
    }
    if (officeRefusal || packageRefusal) {
        if (officeRefusal != packageRefusal && packageBook)
            t.differences.push_back(path + ": refused by " + (officeRefusal ? "the office" : "the packages") +
                                    " only");
        else if (officeRefusal != packageRefusal && !packageBook && packageRefusal)
            t.differences.push_back(path + ": refused for different causes (office " +
                                    std::to_string(officeRefusal ? static_cast<int>(*officeRefusal) : -1) +
                                    ", packages " + std::to_string(static_cast<int>(*packageRefusal)) + ")");
    } else if (packageBook) {
        const int count = sheetCount(*officeBook);
        if (sheetCount(*packageBook) != count)
            t.differences.push_back(path + ": sheets office " + std::to_string(count) + ", packages " +
                                    std::to_string(sheetCount(*packageBook)));
        for (int s = 1; s <= count; ++s)
            compareSheet(*officeBook, *packageBook, path, s, columns, maxRows, t);
    }
    if (officeBook) officeBook->close(false);
    if (packageBook) packageBook->close(false);
}

}  // namespace reading_comparison
