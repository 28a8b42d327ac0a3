#include <algorithm>
#include <cmath>
#include <map>
#include <sstream>

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/sheet/CellFlags.hpp>
#include <com/sun/star/sheet/FormulaResult.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XCellRangeFormula.hpp>
#include <com/sun/star/sheet/XCellRangesQuery.hpp>
#include <com/sun/star/sheet/XSheetCellCursor.hpp>
#include <com/sun/star/sheet/XSheetCellRanges.hpp>
#include <com/sun/star/sheet/XSheetOperation.hpp>
#include <com/sun/star/sheet/XUniqueCellFormatRangesSupplier.hpp>
#include <com/sun/star/sheet/XUsedAreaCursor.hpp>
#include <com/sun/star/table/CellRangeAddress.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/table/XColumnRowRange.hpp>
#include <com/sun/star/table/XTableColumns.hpp>
#include <com/sun/star/util/NumberFormat.hpp>

#include "sheets/calc/calc_objects.h"

namespace sheets::calc {
namespace {

constexpr sal_Int32 kRows = 1048576;
constexpr sal_Int32 kColumns = 16384;

std::string columnName(sal_Int32 column) {
    std::string s;
    for (sal_Int32 c = column + 1; c > 0; c = (c - 1) / 26) s.insert(s.begin(), char('A' + (c - 1) % 26));
    return s;
}

std::string cellName(sal_Int32 column, sal_Int32 row) {
    return columnName(column) + std::to_string(row + 1);
}

Reference<css::sheet::XSheetCellRanges> query(const Reference<css::table::XCellRange>& range,
                                              sal_Int16 flags) {
    return Reference<css::sheet::XCellRangesQuery>(range, UNO_QUERY_THROW)->queryContentCells(flags);
}

// The format a written cell is given: its own, or for a date or boolean without one the usual
// format of its kind. Numbers without a format and texts keep the cleared cell's general format.
const NumberFormat* formatToWrite(const CellValue& v) {
    static const NumberFormat date{u"YYYY/M/D", u"en-US"}, dateTime{u"YYYY/M/D H:MM:SS", u"en-US"},
        time{u"H:MM:SS", u"en-US"}, boolean{u"BOOLEAN", u"en-US"};
    if (v.format()) return v.format().get();
    if (v.kind() == CellValue::Kind::Boolean) return &boolean;
    if (v.kind() != CellValue::Kind::Date) return nullptr;
    const double day = std::floor(v.numberValue());
    if (v.numberValue() >= 0 && day == 0) return &time;
    return v.numberValue() == day ? &date : &dateTime;
}

// Row heights are not fitted to what is written: the office would measure every row an insert or
// paste touches, most of the time of a long column, and the rows of the user's sheet keep the
// heights they had. The document's own setting is back once the operation is done.
class RowHeightsKept {
public:
    explicit RowHeightsKept(const Reference<css::lang::XComponent>& document)
        : settings_(document, UNO_QUERY) {
        if (!settings_.is()) return;
        settings_->getPropertyValue(kSetting) >>= adjusted_;
        if (adjusted_) settings_->setPropertyValue(kSetting, Any(false));
    }
    ~RowHeightsKept() {
        try {
            if (settings_.is() && adjusted_) settings_->setPropertyValue(kSetting, Any(true));
        } catch (const css::uno::Exception&) {
        }
    }
    RowHeightsKept(const RowHeightsKept&) = delete;
    RowHeightsKept& operator=(const RowHeightsKept&) = delete;

private:
    static constexpr const char* kSettingName = "IsAdjustHeightEnabled";
    inline static const OUString kSetting = OUString::createFromAscii(kSettingName);
    Reference<css::beans::XPropertySet> settings_;
    bool adjusted_ = false;
};

}  // namespace

std::optional<CellPosition> parseCellAddress(const std::u16string& address) {
    std::size_t i = 0;
    sal_Int32 column = 0;
    while (i < address.size() && i < 3) {
        char16_t c = address[i];
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
        if (c < u'A' || c > u'Z') break;
        column = column * 26 + (c - u'A' + 1);
        ++i;
    }
    if (i == 0 || column > kColumns) return std::nullopt;
    const std::size_t digits = i;
    sal_Int64 row = 0;
    while (i < address.size() && address[i] >= u'0' && address[i] <= u'9' && row <= kRows) {
        row = row * 10 + (address[i] - u'0');
        ++i;
    }
    if (i == digits || i != address.size() || address[digits] == u'0' || row > kRows) return std::nullopt;
    return CellPosition{column - 1, static_cast<sal_Int32>(row - 1)};
}

CalcWorksheet::CalcWorksheet(std::shared_ptr<CalcWorkbook> workbook,
                             Reference<css::sheet::XSpreadsheet> sheet, int position)
    : workbook_(std::move(workbook)), sheet_(std::move(sheet)), position_(position) {}

std::string CalcWorksheet::where() const {
    return "sheet " + std::to_string(position_) + " of " + workbook_->label();
}

void CalcWorksheet::check() const {
    workbook_->session();
}

std::int32_t CalcWorksheet::usedRowCount() {
    check();
    return watched([&] { return usedRows(); });
}

std::int32_t CalcWorksheet::usedRows() {
    try {
        Reference<css::sheet::XSheetCellCursor> cursor = sheet_->createCursor();
        Reference<css::sheet::XUsedAreaCursor> used(cursor, UNO_QUERY_THROW);
        used->gotoStartOfUsedArea(false);
        used->gotoEndOfUsedArea(true);
        const css::table::CellRangeAddress area =
            Reference<css::sheet::XCellRangeAddressable>(cursor, UNO_QUERY_THROW)->getRangeAddress();
        return area.EndRow - area.StartRow + 1;
    } catch (const css::uno::Exception& e) {
        throw Failure(describe("cannot find the used range of " + where(), e));
    }
}

CellValue CalcWorksheet::cell(std::int32_t row, int column) {
    check();
    if (row < 1 || row > kRows || column < 1 || column > kColumns) {
        std::ostringstream os;
        os << "no cell at row " << row << ", column " << column << " of " << where();
        throw Failure(os.str());
    }
    return watched([&] { return readColumn(column - 1, row - 1, 1).front(); });
}

std::vector<std::vector<CellValue>> CalcWorksheet::columns(const std::vector<int>& columns,
                                                           std::int32_t rows) {
    check();
    std::vector<std::vector<CellValue>> out;
    for (const int column : columns) {
        if (column < 1 || column > kColumns || rows < 0 || rows > kRows) {
            std::ostringstream os;
            os << "cannot read rows 1 to " << rows << " of column " << column << " of " << where();
            throw Failure(os.str());
        }
        out.push_back(watched([&] { return readColumn(column - 1, 0, rows); }));
    }
    return out;
}

namespace {

// Rows [first, last] of one column, 0-based, and what was read of them so far.
struct ColumnBlock {
    Reference<css::table::XCellRange> range;
    sal_Int32 first = 0;
    sal_Int32 last = 0;
    std::vector<CellValue> values;

    // Calls apply(i) for each row of an address that lies in the block, i counted from its top.
    template <class Apply>
    void forRows(const css::table::CellRangeAddress& a, Apply&& apply) const {
        for (sal_Int32 r = std::max(a.StartRow, first); r <= std::min(a.EndRow, last); ++r)
            apply(static_cast<std::size_t>(r - first));
    }
};

// The error value a formula cell shows for the office's error code.
std::u16string errorName(sal_Int32 code) {
    switch (code) {
        case 503:
            return u"#NUM!";
        case 519:
            return u"#VALUE!";
        case 521:
            return u"#NULL!";
        case 524:
            return u"#REF!";
        case 525:
            return u"#NAME?";
        case 532:
            return u"#DIV/0!";
        case 32767:
            return u"#N/A";
        default: {
            const std::string text = "Err:" + std::to_string(code);
            return std::u16string(text.begin(), text.end());
        }
    }
}

// Error cells take the error value they show, one request per error cell: there are few of them.
void nameErrors(ColumnBlock& block, const Reference<css::sheet::XSpreadsheet>& sheet, sal_Int32 column) {
    const Sequence<css::table::CellRangeAddress> cells =
        Reference<css::sheet::XCellRangesQuery>(block.range, UNO_QUERY_THROW)
            ->queryFormulaCells(css::sheet::FormulaResult::ERROR)
            ->getRangeAddresses();
    for (const auto& a : cells)
        block.forRows(a, [&](std::size_t r) {
            CellValue& v = block.values[r];
            const auto row = block.first + static_cast<sal_Int32>(r);
            if (v.isError())
                v = CellValue::error(errorName(sheet->getCellByPosition(column, row)->getError()));
        });
}

// What getDataArray tells: numbers (dates and booleans among them), texts, nothing, errors.
bool readValues(ColumnBlock& block) {
    const Sequence<Sequence<Any>> data =
        Reference<css::sheet::XCellRangeData>(block.range, UNO_QUERY_THROW)->getDataArray();
    if (data.getLength() != static_cast<sal_Int32>(block.values.size()))
        throw css::uno::RuntimeException("the office returned " + OUString::number(data.getLength()) +
                                         " rows");
    bool anyNumber = false;
    for (std::size_t r = 0; r < block.values.size(); ++r) {
        const Any& a = data[static_cast<sal_Int32>(r)][0];
        double d = 0;
        OUString s;
        if (a >>= d) {
            block.values[r] = CellValue::number(d);
            anyNumber = true;
        } else if (a >>= s) {
            if (!s.isEmpty()) block.values[r] = CellValue::text(fromOUString(s));
        } else {
            block.values[r] = CellValue::error();  // void: a formula whose result is an error
        }
    }
    return anyNumber;
}

// Numbers take the kind and the number format their cells are shown in.
void applyNumberFormats(ColumnBlock& block, CalcWorkbook& workbook) {
    Reference<css::container::XIndexAccess> formats(
        Reference<css::sheet::XUniqueCellFormatRangesSupplier>(block.range, UNO_QUERY_THROW)
            ->getUniqueCellFormatRanges(),
        UNO_QUERY_THROW);
    for (sal_Int32 i = 0, n = formats->getCount(); i < n; ++i) {
        Reference<css::sheet::XSheetCellRanges> ranges(formats->getByIndex(i), UNO_QUERY_THROW);
        sal_Int32 key = 0;
        Reference<css::beans::XPropertySet>(ranges, UNO_QUERY_THROW)->getPropertyValue("NumberFormat") >>=
            key;
        const ShownAs& shown = workbook.shownAs(key);
        if (shown.kind == CellValue::Kind::Number && !shown.format) continue;
        const double offset = workbook.dateOffset();
        for (const auto& a : ranges->getRangeAddresses())
            block.forRows(a, [&](std::size_t r) {
                CellValue& v = block.values[r];
                if (v.kind() != CellValue::Kind::Number) return;
                const double d = v.numberValue();
                if (shown.kind == CellValue::Kind::Boolean) v = CellValue::boolean(d != 0);
                if (shown.kind == CellValue::Kind::Date) v = CellValue::date(d + offset);
                v.setFormat(shown.format);
            });
    }
}

// =TRUE() and =FALSE() are booleans also where the file kept no boolean format (.xls), and a
// formula that yields "" holds an empty text, not nothing. The formulas come in one request.
void applyFormulas(ColumnBlock& block, const Reference<css::sheet::XSpreadsheet>& sheet, sal_Int32 column) {
    const Sequence<css::table::CellRangeAddress> cells =
        query(block.range, css::sheet::CellFlags::FORMULA)->getRangeAddresses();
    if (!cells.hasElements()) return;
    sal_Int32 top = block.last, bottom = block.first;
    for (const auto& a : cells) {
        top = std::min(top, std::max(a.StartRow, block.first));
        bottom = std::max(bottom, std::min(a.EndRow, block.last));
    }
    const Sequence<Sequence<OUString>> formulas =
        Reference<css::sheet::XCellRangeFormula>(sheet->getCellRangeByPosition(column, top, column, bottom),
                                                 UNO_QUERY_THROW)
            ->getFormulaArray();
    for (const auto& a : cells)
        block.forRows(a, [&](std::size_t r) {
            const OUString& f = formulas[static_cast<sal_Int32>(r) - (top - block.first)][0];
            CellValue& v = block.values[r];
            const bool number = v.kind() == CellValue::Kind::Number || v.kind() == CellValue::Kind::Boolean;
            if (number && f.equalsIgnoreAsciiCase("=TRUE()")) {
                v = CellValue::boolean(true);
            } else if (number && f.equalsIgnoreAsciiCase("=FALSE()")) {
                v = CellValue::boolean(false);
            } else if (v.kind() == CellValue::Kind::Empty) {
                v = CellValue::text(u"");
            }
        });
}

}  // namespace

std::vector<CellValue> CalcWorksheet::readColumn(sal_Int32 column, sal_Int32 firstRow, sal_Int32 rows) {
    if (rows == 0) return {};
    ColumnBlock block{nullptr, firstRow, firstRow + rows - 1,
                      std::vector<CellValue>(static_cast<std::size_t>(rows))};
    try {
        block.range = sheet_->getCellRangeByPosition(column, block.first, column, block.last);
        if (readValues(block)) applyNumberFormats(block, *workbook_);
        applyFormulas(block, sheet_, column);
        if (std::any_of(block.values.begin(), block.values.end(),
                        [](const CellValue& v) { return v.isError(); }))
            nameErrors(block, sheet_, column);
    } catch (const css::uno::Exception& e) {
        const std::string cells =
            rows == 1 ? "cell " + cellName(column, block.first)
                      : "cells " + cellName(column, block.first) + ":" + cellName(column, block.last);
        throw Failure(describe("cannot read " + cells + " of " + where(), e));
    }
    return std::move(block.values);
}

void CalcWorksheet::insertColumns(int at, int count) {
    Reference<css::table::XTableColumns> columns =
        Reference<css::table::XColumnRowRange>(sheet_, UNO_QUERY_THROW)->getColumns();
    columns->insertByIndex(at - 1, count);
    // New columns take the formats of their left neighbour; they must hold none, or a number
    // written later could be shown or saved as something else.
    Reference<css::sheet::XSheetOperation>(
        sheet_->getCellRangeByPosition(at - 1, 0, at + count - 2, kRows - 1), UNO_QUERY_THROW)
        ->clearContents(css::sheet::CellFlags::HARDATTR | css::sheet::CellFlags::STYLES);
}

void CalcWorksheet::activate() {
    check();
    watched([&] { workbook_->activateSheet(sheet_); });
}

void CalcWorksheet::select(const std::u16string& address) {
    check();
    if (!parseCellAddress(address))
        throw Failure("not a single cell address: \"" + utf8(address) + "\" (" + where() + ")");
}

namespace {

// The cells as the office's block write takes them: numbers (dates and booleans too) as doubles,
// texts as strings, which it never parses, and an empty string for an empty cell.
Sequence<Sequence<Any>> dataArray(const CellRows& rows, double dateOffset) {
    Sequence<Sequence<Any>> data(static_cast<sal_Int32>(rows.rowCount()));
    auto* out = data.getArray();
    for (std::size_t r = 0; r < rows.rowCount(); ++r) {
        out[r].realloc(rows.width);
        Any* cells = out[r].getArray();
        for (int c = 0; c < rows.width; ++c) {
            const CellValue& v = rows.at(r, c);
            switch (v.kind()) {
                case CellValue::Kind::Number:
                case CellValue::Kind::Boolean:
                    cells[c] <<= v.numberValue();
                    break;
                case CellValue::Kind::Date:
                    cells[c] <<= v.numberValue() - dateOffset;
                    break;
                case CellValue::Kind::Text:
                    cells[c] <<= toOUString(v.textValue());
                    break;
                default:
                    cells[c] <<= OUString();
            }
        }
    }
    return data;
}

// Per number format, the runs of cells down each column that are shown in it.
std::map<NumberFormat, std::vector<css::table::CellRangeAddress>, FormatOrder> formatRuns(
    const CellRows& rows, sal_Int16 sheetIndex, CellPosition from) {
    std::map<NumberFormat, std::vector<css::table::CellRangeAddress>, FormatOrder> runs;
    for (int c = 0; c < rows.width; ++c) {
        const NumberFormat* open = nullptr;
        for (std::size_t r = 0; r <= rows.rowCount(); ++r) {
            const NumberFormat* f = r < rows.rowCount() ? formatToWrite(rows.at(r, c)) : nullptr;
            if (open && f && *f == *open) {
                ++runs[*open].back().EndRow;
                continue;
            }
            open = f;
            if (!f) continue;
            const sal_Int32 column = from.column + c, row = from.row + static_cast<sal_Int32>(r);
            runs[*f].push_back({sheetIndex, column, row, column, row});
        }
    }
    return runs;
}

}  // namespace

void CalcWorksheet::writeCells(const CellRows& rows, CellPosition from) {
    const auto count = static_cast<sal_Int32>(rows.rowCount());
    const auto last = from.row + count - 1;
    Reference<css::sheet::XCellRangeData>(
        sheet_->getCellRangeByPosition(from.column, from.row, from.column + rows.width - 1, last),
        UNO_QUERY_THROW)
        ->setDataArray(dataArray(rows, workbook_->dateOffset()));
    const sal_Int16 index =
        Reference<css::sheet::XCellRangeAddressable>(sheet_, UNO_QUERY_THROW)->getRangeAddress().Sheet;
    for (const auto& [format, ranges] : formatRuns(rows, index, from)) workbook_->applyFormat(format, ranges);
}

void CalcWorksheet::apply(const SheetEdit& edit) {
    check();
    watched([&] { writeEdit(edit); });
}

void CalcWorksheet::writeEdit(const SheetEdit& edit) {
    const auto rows = static_cast<sal_Int64>(edit.cells.rowCount());
    const int width = edit.cells.width;
    const std::string what = "cannot insert " + std::to_string(edit.insertCount) + " column(s) at " +
                             std::to_string(edit.insertAt) + " and write " + std::to_string(rows) +
                             " row(s) from " + cellName(edit.firstColumn - 1, 0) + " of " + where();
    const bool inserting = edit.insertCount > 0;
    if (edit.insertCount < 0 ||
        (inserting && (edit.insertAt < 1 || edit.insertAt + edit.insertCount > kColumns)) ||
        edit.firstColumn < 1 || rows > kRows ||
        (rows > 0 && width > 0 && edit.firstColumn + width - 1 > kColumns))
        throw Failure(what + ": the edit reaches beyond the sheet");
    try {
        const RowHeightsKept heights(workbook_->document());
        const OUString name = Reference<css::container::XNamed>(sheet_, UNO_QUERY_THROW)->getName();
        if (inserting) insertColumns(edit.insertAt, edit.insertCount);
        if (rows > 0 && width > 0) writeCells(edit.cells, {edit.firstColumn - 1, 0});
        workbook_->edited({position_, fromOUString(name), edit});
    } catch (const css::uno::Exception& e) {
        workbook_->editFailed();
        throw Failure(describe(what, e));
    } catch (const Failure& f) {
        workbook_->editFailed();
        throw Failure(what + ": " + f.what());
    } catch (...) {
        workbook_->editFailed();
        throw;
    }
}

}  // namespace sheets::calc
