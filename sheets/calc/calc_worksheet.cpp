#include <algorithm>
#include <map>
#include <sstream>

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/sheet/CellFlags.hpp>
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
#include <com/sun/star/table/XColumnRowRange.hpp>
#include <com/sun/star/table/XTableColumns.hpp>
#include <com/sun/star/util/NumberFormat.hpp>

#include "sheets/calc/calc_objects.h"
#include "sheets/calc/paste_plan.h"

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
    return readColumn(column - 1, row - 1, 1).front();
}

std::vector<CellValue> CalcWorksheet::column(int column, std::int32_t rows) {
    check();
    if (column < 1 || column > kColumns || rows < 0 || rows > kRows) {
        std::ostringstream os;
        os << "cannot read rows 1 to " << rows << " of column " << column << " of " << where();
        throw Failure(os.str());
    }
    return readColumn(column - 1, 0, rows);
}

std::vector<CellValue> CalcWorksheet::readColumn(sal_Int32 column, sal_Int32 firstRow, sal_Int32 rows) {
    std::vector<CellValue> values(static_cast<std::size_t>(rows));
    if (rows == 0) return values;
    const sal_Int32 lastRow = firstRow + rows - 1;
    const std::string what =
        "cannot read " +
        (rows == 1 ? "cell " + cellName(column, firstRow)
                   : "cells " + cellName(column, firstRow) + ":" + cellName(column, lastRow)) +
        " of " + where();
    try {
        Reference<css::table::XCellRange> range =
            sheet_->getCellRangeByPosition(column, firstRow, column, lastRow);
        const Sequence<Sequence<Any>> data =
            Reference<css::sheet::XCellRangeData>(range, UNO_QUERY_THROW)->getDataArray();
        if (data.getLength() != rows)
            throw Failure(what + ": the office returned " + std::to_string(data.getLength()) + " rows");

        // Numbers first; whether one is a date or a boolean depends on its format and formula.
        std::vector<double> numbers(values.size(), 0.0);
        std::vector<bool> isNumber(values.size(), false);
        bool anyNumber = false;
        for (sal_Int32 r = 0; r < rows; ++r) {
            const Any& a = data[r][0];
            double d = 0;
            OUString s;
            if (!a.hasValue()) {
                values[r] = CellValue::error();  // a formula whose result is an error
            } else if (a >>= d) {
                numbers[r] = d;
                isNumber[r] = true;
                anyNumber = true;
                values[r] = CellValue::number(d);
            } else if (a >>= s) {
                if (!s.isEmpty()) values[r] = CellValue::text(fromOUString(s));
            } else {
                values[r] = CellValue::error();
            }
        }

        auto forRows = [&](const css::table::CellRangeAddress& a, auto&& apply) {
            for (sal_Int32 r = std::max(a.StartRow, firstRow); r <= std::min(a.EndRow, lastRow); ++r)
                apply(static_cast<std::size_t>(r - firstRow));
        };

        if (anyNumber) {
            Reference<css::container::XIndexAccess> formats(
                Reference<css::sheet::XUniqueCellFormatRangesSupplier>(range, UNO_QUERY_THROW)
                    ->getUniqueCellFormatRanges(),
                UNO_QUERY_THROW);
            Reference<css::util::XNumberFormats> numberFormats = workbook_->numberFormats();
            std::map<sal_Int32, sal_Int16> typeOfKey;
            for (sal_Int32 i = 0, n = formats->getCount(); i < n; ++i) {
                Reference<css::sheet::XSheetCellRanges> ranges(formats->getByIndex(i), UNO_QUERY_THROW);
                sal_Int32 key = 0;
                Reference<css::beans::XPropertySet>(ranges, UNO_QUERY_THROW)
                    ->getPropertyValue("NumberFormat") >>= key;
                auto known = typeOfKey.find(key);
                if (known == typeOfKey.end()) {
                    sal_Int16 type = 0;
                    numberFormats->getByKey(key)->getPropertyValue("Type") >>= type;
                    known = typeOfKey.emplace(key, type).first;
                }
                const sal_Int16 type = known->second;
                const bool logical = type & css::util::NumberFormat::LOGICAL;
                const bool date = type & (css::util::NumberFormat::DATE | css::util::NumberFormat::TIME);
                if (!logical && !date) continue;
                for (const auto& a : ranges->getRangeAddresses())
                    forRows(a, [&](std::size_t r) {
                        if (!isNumber[r]) return;
                        values[r] =
                            logical ? CellValue::boolean(numbers[r] != 0) : CellValue::date(numbers[r]);
                    });
            }
        }

        // Formulas: =TRUE() and =FALSE() are booleans also where the file kept no boolean format (.xls),
        // and a formula that yields "" holds an empty text, not nothing.
        const Sequence<css::table::CellRangeAddress> formulaCells =
            query(range, css::sheet::CellFlags::FORMULA)->getRangeAddresses();
        if (formulaCells.hasElements()) {
            sal_Int32 top = lastRow, bottom = firstRow;
            for (const auto& a : formulaCells) {
                top = std::min(top, std::max(a.StartRow, firstRow));
                bottom = std::max(bottom, std::min(a.EndRow, lastRow));
            }
            const Sequence<Sequence<OUString>> formulas =
                Reference<css::sheet::XCellRangeFormula>(
                    sheet_->getCellRangeByPosition(column, top, column, bottom), UNO_QUERY_THROW)
                    ->getFormulaArray();
            for (const auto& a : formulaCells)
                forRows(a, [&](std::size_t r) {
                    const OUString& f = formulas[static_cast<sal_Int32>(r) - (top - firstRow)][0];
                    if (isNumber[r] && f.equalsIgnoreAsciiCase("=TRUE()"))
                        values[r] = CellValue::boolean(true);
                    else if (isNumber[r] && f.equalsIgnoreAsciiCase("=FALSE()"))
                        values[r] = CellValue::boolean(false);
                    else if (values[r].kind() == CellValue::Kind::Empty)
                        values[r] = CellValue::text(u"");
                });
        }
    } catch (const css::uno::Exception& e) {
        throw Failure(describe(what, e));
    }
    return values;
}

void CalcWorksheet::insertColumn(int n) {
    check();
    if (n < 1 || n > 26) throw Failure("cannot insert a column at " + std::to_string(n) + " of " + where());
    try {
        Reference<css::table::XTableColumns> columns =
            Reference<css::table::XColumnRowRange>(sheet_, UNO_QUERY_THROW)->getColumns();
        const RowHeightsKept heights(workbook_->document());
        columns->insertByIndex(n - 1, 1);
        // The new column takes the formats of its left neighbour; it must hold none, or a number
        // written later could be shown or saved as something else.
        Reference<css::sheet::XSheetOperation>(columns->getByIndex(n - 1), UNO_QUERY_THROW)
            ->clearContents(css::sheet::CellFlags::HARDATTR | css::sheet::CellFlags::STYLES);
    } catch (const css::uno::Exception& e) {
        throw Failure(describe("cannot insert column " + columnName(n - 1) + " into " + where(), e));
    }
}

void CalcWorksheet::activate() {
    check();
    workbook_->activateSheet(sheet_);
}

void CalcWorksheet::select(const std::u16string& address) {
    check();
    const auto position = parseCellAddress(address);
    if (!position) throw Failure("not a single cell address: \"" + utf8(address) + "\" (" + where() + ")");
    workbook_->selection(position_) = *position;
}

void CalcWorksheet::paste() {
    auto session = workbook_->session();
    const auto lines = splitPasteText(session->desktop.clipboard().text());
    if (lines.empty()) return;

    const auto lineCount = static_cast<sal_Int32>(lines.size());
    std::vector<int> widths;
    for (const auto& l : lines) widths.push_back(static_cast<int>(l.size()));
    const int width = *std::max_element(widths.begin(), widths.end());
    const CellPosition from = workbook_->selection(position_);
    const sal_Int32 column0 = from.column, row0 = from.row;
    const std::string what = "cannot paste " + std::to_string(lineCount) + " line(s) at " +
                             cellName(column0, row0) + " of " + where();
    if (static_cast<sal_Int64>(row0) + lineCount > kRows ||
        static_cast<sal_Int64>(column0) + width > kColumns)
        throw Failure(what + ": the text reaches beyond the sheet");

    try {
        // A short line leaves the cells right of it as they are. Where they hold nothing, writing an
        // empty text there changes nothing, so such lines can share a rectangle with longer ones.
        std::vector<int> reach = widths;
        if (std::any_of(widths.begin(), widths.end(), [&](int w) { return w < width; })) {
            std::vector<int> firstTaken(widths.size(), width);
            const auto taken = query(sheet_->getCellRangeByPosition(column0, row0, column0 + width - 1,
                                                                    row0 + lineCount - 1),
                                     css::sheet::CellFlags::VALUE | css::sheet::CellFlags::DATETIME |
                                         css::sheet::CellFlags::STRING | css::sheet::CellFlags::FORMULA |
                                         css::sheet::CellFlags::ANNOTATION)
                                   ->getRangeAddresses();
            for (const auto& a : taken) {
                for (sal_Int32 r = a.StartRow; r <= a.EndRow; ++r) {
                    const auto i = static_cast<std::size_t>(r - row0);
                    const int from = std::max(static_cast<int>(a.StartColumn - column0), widths[i]);
                    if (a.EndColumn - column0 >= from) firstTaken[i] = std::min(firstTaken[i], from);
                }
            }
            reach = firstTaken;
        }

        const RowHeightsKept heights(workbook_->document());
        for (const PasteBlock& b : planPasteBlocks(reach)) {
            Sequence<Sequence<Any>> block(b.lineCount);
            auto* rows = block.getArray();
            for (int i = 0; i < b.lineCount; ++i) {
                const auto& fields = lines[static_cast<std::size_t>(b.firstLine + i)];
                rows[i].realloc(b.fieldCount);
                Any* cells = rows[i].getArray();
                for (int j = 0; j < b.fieldCount; ++j) {
                    const auto f = static_cast<std::size_t>(b.firstField + j);
                    if (f >= fields.size()) {
                        cells[j] <<= OUString();  // an empty cell stays empty
                    } else if (const auto number = plainNumber(fields[f])) {
                        cells[j] <<= *number;
                    } else {
                        cells[j] <<= toOUString(fields[f]);  // written as text, never parsed
                    }
                }
            }
            Reference<css::sheet::XCellRangeData>(
                sheet_->getCellRangeByPosition(column0 + b.firstField, row0 + b.firstLine,
                                               column0 + b.firstField + b.fieldCount - 1,
                                               row0 + b.firstLine + b.lineCount - 1),
                UNO_QUERY_THROW)
                ->setDataArray(block);
        }
    } catch (const css::uno::Exception& e) {
        throw Failure(describe(what, e));
    }
}

}  // namespace sheets::calc
