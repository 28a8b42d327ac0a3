#include "sheets/xls/cell_table.h"

#include <cmath>
#include <set>
#include <stdexcept>

#include "sheets/failure.h"
#include "sheets/format_code.h"
#include "sheets/xls/bytes.h"
#include "sheets/xls/compound_file.h"

namespace sheets::xls {
namespace {

constexpr int kDefaultFormat = 15;  // the cell format of a cell that has none of its own
constexpr std::size_t kMaxText = 32767;

const std::set<std::uint16_t> kCells = {rt::Blank, rt::Number, rt::Label,    rt::BoolErr,  rt::Formula,
                                        rt::Rk,    rt::MulRk,  rt::MulBlank, rt::LabelSst, rt::RString};
const std::set<std::uint16_t> kFollowers = {rt::String, rt::Array, rt::ShrFmla, rt::Table, rt::Continue};

bool inTable(std::uint16_t type) {
    return type == rt::Row || type == rt::DbCell || kCells.count(type) || kFollowers.count(type);
}

bool isMultiple(const Record& r) {
    return r.type == rt::MulRk || r.type == rt::MulBlank;
}
std::size_t itemSize(const Record& r) {
    return r.type == rt::MulRk ? 6 : 2;
}

// The part [from, to] of a multiple-cell record, or a single-cell record when it is one cell.
Record part(const Record& r, int first, int from, int to) {
    const std::size_t size = itemSize(r);
    const std::string items = r.data.substr(4 + size * static_cast<std::size_t>(from - first),
                                            size * static_cast<std::size_t>(to - from + 1));
    std::string data = r.data.substr(0, 2);
    append16(data, static_cast<unsigned>(from));
    data += items;
    if (from == to) return {r.type == rt::MulRk ? rt::Rk : rt::Blank, data};
    append16(data, static_cast<unsigned>(to));
    return {r.type, data};
}

// A FORMULA record that only points at a shared, array or table formula elsewhere.
bool pointsElsewhere(const Record& r) {
    return r.type == rt::Formula && r.data.size() >= 23 && get16(r.data, 20) == 5 &&
           (r.data[22] == 0x01 || r.data[22] == 0x02);
}

}  // namespace

CellTable::CellTable(std::vector<Record>& records) {
    take(records);
}

void CellTable::take(std::vector<Record>& records) {
    std::size_t first = records.size(), end = records.size();
    int depth = 0;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const auto type = records[i].type;
        if (i > 0 && type == rt::Bof) ++depth;
        if (depth == 0 && type == rt::DefaultRowHeight && records[i].data.size() >= 4)
            rowHeight_ = get16(records[i].data, 2);
        if (depth == 0 && type == rt::ColInfo && records[i].data.size() >= 8)
            columnFormats_.push_back(
                {get16(records[i].data, 0), get16(records[i].data, 2), get16(records[i].data, 6)});
        if (depth == 0 && (type == rt::Row || type == rt::DbCell || kCells.count(type))) {
            if (first == records.size()) first = i;
            end = i + 1;
            while (end < records.size() && kFollowers.count(records[end].type)) ++end;
        }
        if (type == rt::Eof && depth > 0) --depth;
    }
    if (first == records.size()) {
        for (std::size_t i = 0; i < records.size(); ++i)
            if (records[i].type == rt::Dimensions) first = end = i + 1;
        if (first == records.size())
            throw Unsupported("a sheet without its dimensions", u"工作表结构无法识别");
    }
    for (std::size_t i = first; i < end; ++i) {
        if (!inTable(records[i].type))
            throw Unsupported("a record among the cells", u"单元格区域中有无法识别的记录");
        if (records[i].type != rt::DbCell) add(std::move(records[i]));
    }
    records.erase(records.begin() + static_cast<std::ptrdiff_t>(first),
                  records.begin() + static_cast<std::ptrdiff_t>(end));
    records.insert(records.begin() + static_cast<std::ptrdiff_t>(first), Record{rt::DbCell, "mark"});
    mark_ = first;
}

void CellTable::add(Record r) {
    if (r.data.size() < 4 && r.type != rt::Continue) throw Damaged("a short cell record");
    if (r.type == rt::Row) {
        const int row = get16(r.data, 0);
        rows_[row].row = std::move(r);
        lastRowTouched_ = row;
        return;
    }
    if (!kCells.count(r.type)) {
        if (lastRowTouched_ < 0 || rows_[lastRowTouched_].cells.empty())
            throw Damaged("a formula's record without its cell");
        rows_[lastRowTouched_].cells.back().records.push_back(std::move(r));
        return;
    }
    const int row = get16(r.data, 0), first = get16(r.data, 2);
    const int last = isMultiple(r) ? get16(r.data, r.data.size() - 2) : first;
    if (isMultiple(r) &&
        (last < first || r.data.size() != 6 + itemSize(r) * static_cast<std::size_t>(last - first + 1)))
        throw Damaged("a multiple-cell record of the wrong size");
    lastRowTouched_ = row;
    rows_[row].cells.push_back({first, last, {std::move(r)}});
}

void CellTable::shift(const Insertion& insertion) {
    if (insertion.count == 0) return;
    for (auto& [number, row] : rows_) {
        if (row.row && row.row->data.size() >= 6) {
            auto& d = row.row->data;
            const int first = get16(d, 2), end = get16(d, 4);
            if (end > first) {
                put16(d, 2, static_cast<unsigned>(insertion.shift(first)));
                put16(d, 4,
                      static_cast<unsigned>(end - 1 >= insertion.at ? std::min(end + insertion.count, 256)
                                                                    : end));
            }
        }
        for (std::size_t k = 0; k < row.cells.size(); ++k) shiftCell(row, k, insertion);
    }
}

void CellTable::shiftCell(Row& row, std::size_t k, const Insertion& insertion) {
    Cell& cell = row.cells[k];
    if (cell.last < insertion.at) return;
    if (cell.last + insertion.count > kLastColumn)
        throw Unsupported("cells pushed off the sheet", u"插入列会把单元格推出工作表");
    if (cell.first < insertion.at) {  // a multiple-cell record across the insertion: two parts
        const Record whole = cell.records[0];
        Cell right{insertion.at, cell.last, {part(whole, cell.first, insertion.at, cell.last)}};
        cell.records[0] = part(whole, cell.first, cell.first, insertion.at - 1);
        cell.last = insertion.at - 1;
        row.cells.insert(row.cells.begin() + static_cast<std::ptrdiff_t>(k + 1), std::move(right));
        return;
    }
    cell.first += insertion.count;
    cell.last += insertion.count;
    auto& data = cell.records[0].data;
    put16(data, 2, static_cast<unsigned>(cell.first));
    if (isMultiple(cell.records[0])) put16(data, data.size() - 2, static_cast<unsigned>(cell.last));
    for (auto& follower : cell.records) {
        if ((follower.type == rt::Array || follower.type == rt::ShrFmla) && follower.data.size() >= 6) {
            follower.data[4] =
                static_cast<char>(insertion.shift(static_cast<unsigned char>(follower.data[4])));
            follower.data[5] =
                static_cast<char>(insertion.shift(static_cast<unsigned char>(follower.data[5])));
        }
    }
}

// The cell at (row, column), split out of a multiple-cell record when it is in one; created empty
// (no records) when there is none and `create`, else null.
CellTable::Cell* CellTable::cellAt(int rowNumber, int column, bool create) {
    auto& cells = rows_[rowNumber].cells;
    std::size_t k = 0;
    while (k < cells.size() && cells[k].last < column) ++k;
    if (k < cells.size() && cells[k].first <= column) {
        Cell& cell = cells[k];
        if (cell.first == cell.last) return &cell;
        const Record whole = cell.records[0];
        std::vector<Cell> parts;
        if (cell.first < column)
            parts.push_back({cell.first, column - 1, {part(whole, cell.first, cell.first, column - 1)}});
        parts.push_back({column, column, {part(whole, cell.first, column, column)}});
        if (column < cell.last)
            parts.push_back({column + 1, cell.last, {part(whole, cell.first, column + 1, cell.last)}});
        cells.erase(cells.begin() + static_cast<std::ptrdiff_t>(k));
        cells.insert(cells.begin() + static_cast<std::ptrdiff_t>(k), parts.begin(), parts.end());
        return &cells[k + (cells[k].first < column ? 1 : 0)];
    }
    if (!create) return nullptr;
    return &*cells.insert(cells.begin() + static_cast<std::ptrdiff_t>(k), Cell{column, column, {}});
}

int CellTable::baseFormat(int rowNumber, int column, const Cell* existing) const {
    if (existing && !existing->records.empty()) {
        const Record& r = existing->records[0];
        return get16(r.data, 4);  // a single cell's format follows its row and column
    }
    if (const auto it = rows_.find(rowNumber); it != rows_.end() && it->second.row) {
        const auto& d = it->second.row->data;
        if (d.size() >= 16 && (get32(d, 12) & 0x80)) return static_cast<int>((get32(d, 12) >> 16) & 0x0FFF);
    }
    for (const auto& c : columnFormats_)
        if (c.first <= column && column <= c.last) return c.xf;
    return kDefaultFormat;
}

void CellTable::write(const SheetEdit& edit, Globals& globals) {
    date1904_ = globals.date1904();
    const auto& cells = edit.cells;
    if (cells.width <= 0) return;
    if (edit.firstColumn - 1 + cells.width - 1 > kLastColumn || cells.rowCount() > std::size_t{kLastRow} + 1)
        throw Unsupported("the cells reach past the sheet", u"结果超出工作表范围");
    for (std::size_t r = 0; r < cells.rowCount(); ++r)
        for (int j = 0; j < cells.width; ++j)
            writeValue(static_cast<int>(r), edit.firstColumn - 1 + j, cells.at(r, j), globals);
}

namespace {

Record cellRecord(int row, int column, int xf, const CellValue& value, Globals& globals, bool date1904) {
    std::string data;
    append16(data, static_cast<unsigned>(row));
    append16(data, static_cast<unsigned>(column));
    append16(data, static_cast<unsigned>(xf));
    switch (value.kind()) {
        case CellValue::Kind::Number:
        case CellValue::Kind::Date: {
            double v = value.numberValue();
            if (!std::isfinite(v))
                throw Unsupported("a result number that is not finite", u"结果中有无法写入的数字");
            if (value.kind() == CellValue::Kind::Date && date1904 && v >= 1) v -= 1462;
            appendDouble(data, v);
            return {rt::Number, data};
        }
        case CellValue::Kind::Boolean:
            data += static_cast<char>(value.numberValue() != 0 ? 1 : 0);
            data += '\0';
            return {rt::BoolErr, data};
        case CellValue::Kind::Text:
            if (value.textValue().size() > kMaxText)
                throw Unsupported("a result text longer than a cell holds", u"结果中有超长的文本");
            append32(data, globals.strings().indexOf(value.textValue()));
            globals.strings().countReferences(1);
            return {rt::LabelSst, data};
        case CellValue::Kind::Empty:
        case CellValue::Kind::Error:
            break;
    }
    throw std::logic_error("an empty cell has no record of its own");
}

}  // namespace

void CellTable::writeValue(int row, int column, const CellValue& value, Globals& globals) {
    // An error value is written as an empty cell, as the office's block write does.
    const bool empty = value.kind() == CellValue::Kind::Empty || value.kind() == CellValue::Kind::Error;
    Cell* found = cellAt(row, column, !empty);
    if (!found) return;
    Cell& cell = *found;
    if (!cell.records.empty() && pointsElsewhere(cell.records[0]))
        throw Unsupported("a result cell holds a shared or array formula",
                          u"结果单元格中有共享公式或数组公式");
    const int base = baseFormat(row, column, cell.records.empty() ? nullptr : &cell);
    if (!cell.records.empty() && cell.records[0].type == rt::LabelSst) globals.strings().countReferences(-1);
    if (empty) {
        std::string data = cell.records[0].data.substr(0, 6);
        cell.records = {{rt::Blank, data}};
        return;
    }
    const auto code = shownExcelFormatCode(value);
    const std::optional<int> formatId = code ? std::optional(globals.formatId(*code)) : std::nullopt;
    const int xf = formatId ? globals.cellFormat(base, *formatId) : base;
    cell.records = {cellRecord(row, column, xf, value, globals, date1904_)};
    touchRow(row, column);
}

// A row that gets a cell: its ROW record made or widened, and the written area grown.
void CellTable::touchRow(int rowNumber, int column) {
    Row& row = rows_[rowNumber];
    if (!row.row) {
        std::string data;
        append16(data, static_cast<unsigned>(rowNumber));
        append16(data, static_cast<unsigned>(column));
        append16(data, static_cast<unsigned>(column + 1));
        append16(data, static_cast<unsigned>(rowHeight_));
        append32(data, 0);
        append32(data, 0x000F0100);  // outline level 0, the default cell format 15
        row.row = Record{rt::Row, data};
        rowsAdded_ = true;
    }
    auto& d = row.row->data;
    const int first = get16(d, 2), end = get16(d, 4);
    put16(d, 2, static_cast<unsigned>(end > first ? std::min(first, column) : column));
    put16(d, 4, static_cast<unsigned>(end > first ? std::max(end, column + 1) : column + 1));
    if (!firstRowWritten_ || rowNumber < *firstRowWritten_) firstRowWritten_ = rowNumber;
    lastRowWritten_ = std::max(lastRowWritten_, rowNumber);
    firstColumnWritten_ = firstColumnWritten_ < 0 ? column : std::min(firstColumnWritten_, column);
    lastColumnWritten_ = std::max(lastColumnWritten_, column);
}

// Rows in blocks of 32 row numbers: their ROW records, their cells, and a DBCELL that points back
// at the first ROW record and at each row's first cell.
std::vector<Record> CellTable::blocks(std::size_t& count) const {
    std::vector<Record> out;
    count = 0;
    for (auto it = rows_.begin(); it != rows_.end();) {
        const int block = it->first / 32;
        auto end = it;
        while (end != rows_.end() && end->first / 32 == block) ++end;
        std::size_t pos = 0, firstRow = 0, firstRowEnd = 0;
        bool anyRow = false;
        for (auto r = it; r != end; ++r) {
            if (!r->second.row) continue;
            if (!anyRow) firstRow = pos, firstRowEnd = pos + recordSize(*r->second.row), anyRow = true;
            out.push_back(*r->second.row);
            pos += recordSize(out.back());
        }
        std::string offsets;
        std::size_t previous = firstRowEnd;
        bool anyCell = false;
        for (auto r = it; r != end; ++r) {
            if (r->second.row) {
                append16(offsets, static_cast<unsigned>(pos - previous));
                previous = pos;
            }
            for (const auto& cell : r->second.cells) {
                if (!anyCell && !anyRow) firstRow = pos;
                anyCell = true;
                for (const auto& record : cell.records) {
                    out.push_back(record);
                    pos += recordSize(record);
                }
            }
        }
        std::string dbcell;
        append32(dbcell, static_cast<std::uint32_t>(pos - firstRow));
        out.push_back({rt::DbCell, dbcell + offsets});
        ++count;
        it = end;
    }
    return out;
}

void CellTable::store(std::vector<Record>& records) {
    for (auto it = rows_.begin(); it != rows_.end();)
        it = !it->second.row && it->second.cells.empty() ? rows_.erase(it) : std::next(it);
    std::size_t count = 0;
    auto table = blocks(count);
    records.erase(records.begin() + static_cast<std::ptrdiff_t>(mark_));
    records.insert(records.begin() + static_cast<std::ptrdiff_t>(mark_), table.begin(), table.end());
    for (auto& r : records) {
        if (r.type == rt::Index && r.data.size() >= 16) sizeIndex(r.data, count);
        if (r.type == rt::Dimensions && r.data.size() >= 12 && firstRowWritten_) widenDimensions(r.data);
    }
}

// Room for the blocks' positions; the rows it covers grown by rows that were added.
void CellTable::sizeIndex(std::string& data, std::size_t blocks) const {
    data.resize(16 + 4 * blocks, '\0');
    if (!rowsAdded_ || rows_.empty()) return;
    const auto first = static_cast<std::uint32_t>(rows_.begin()->first);
    const auto end = static_cast<std::uint32_t>(rows_.rbegin()->first + 1);
    put32(data, 4, get32(data, 8) == 0 ? first : std::min(get32(data, 4), first));
    put32(data, 8, std::max(get32(data, 8), end));
}

// The used area (rows first to last + 1, columns likewise) grown by the written cells.
void CellTable::widenDimensions(std::string& data) const {
    const bool none = get32(data, 4) <= get32(data, 0) || get16(data, 10) <= get16(data, 8);
    const auto grow = [&](std::size_t at, std::uint32_t from, std::uint32_t to, bool wide) {
        const auto read = [&](std::size_t k) {
            return wide ? get32(data, k) : std::uint32_t{get16(data, k)};
        };
        const auto write = [&](std::size_t k, std::uint32_t v) {
            wide ? put32(data, k, v) : put16(data, k, v);
        };
        write(at, none ? from : std::min(read(at), from));
        write(at + (wide ? 4 : 2), none ? to : std::max(read(at + (wide ? 4 : 2)), to));
    };
    grow(0, static_cast<std::uint32_t>(*firstRowWritten_), static_cast<std::uint32_t>(lastRowWritten_ + 1),
         true);
    grow(8, static_cast<std::uint32_t>(firstColumnWritten_),
         static_cast<std::uint32_t>(lastColumnWritten_ + 1), false);
}

void indexSheet(Substream& sheet, std::size_t start) {
    Record* index = nullptr;
    std::vector<std::uint32_t> blocks;
    std::uint32_t defaultWidth = 0;
    std::size_t pos = start;
    int depth = 0;
    for (auto& r : sheet.records) {
        if (r.type == rt::Bof && pos != start) ++depth;
        if (depth == 0 && r.type == rt::Index) index = &r;
        if (depth == 0 && r.type == rt::DbCell) blocks.push_back(static_cast<std::uint32_t>(pos));
        if (depth == 0 && r.type == rt::DefColWidth) defaultWidth = static_cast<std::uint32_t>(pos);
        if (r.type == rt::Eof && depth > 0) --depth;
        pos += recordSize(r);
    }
    if (!index) return;
    if (index->data.size() != 16 + 4 * blocks.size())
        throw std::logic_error("INDEX not sized for its blocks");
    if (defaultWidth) put32(index->data, 12, defaultWidth);
    for (std::size_t k = 0; k < blocks.size(); ++k) put32(index->data, 16 + 4 * k, blocks[k]);
}

void moveIndex(Substream& sheet, std::int64_t delta) {
    if (delta == 0) return;
    for (auto& r : sheet.records) {
        if (r.type != rt::Index || r.data.size() < 16) continue;
        const auto move = [&](std::size_t at) {
            if (get32(r.data, at) != 0)
                put32(r.data, at, static_cast<std::uint32_t>(get32(r.data, at) + delta));
        };
        move(12);
        for (std::size_t at = 16; at + 4 <= r.data.size(); at += 4) move(at);
        return;
    }
}

}  // namespace sheets::xls
