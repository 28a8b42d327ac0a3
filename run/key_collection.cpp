#include "run/key_collection.h"

#include <string_view>

#include "run/composite_key.h"
#include "run/key_cut.h"
#include "run/vb_text.h"

namespace run {

std::u16string cellName(int column, std::size_t row) {
    std::u16string name;
    for (int c = column; c > 0; c = (c - 1) / 26)
        name.insert(name.begin(), static_cast<char16_t>(u'A' + (c - 1) % 26));
    for (const char digit : std::to_string(row + 1)) name.push_back(static_cast<char16_t>(digit));
    return name;
}

// One column of rows 1..rows, read in one request with the table's other columns. When the read
// failed, every cell fails with the same detail.
class KeyCollector::ColumnCells {
public:
    ColumnCells() = default;
    ColumnCells(int column, std::vector<sheets::CellValue> cells)
        : column_(column), cells_(std::move(cells)) {
        readFailure_.clear();
    }
    ColumnCells(int column, std::string failure, sheets::FailureCause cause)
        : column_(column), readFailure_(std::move(failure)), readCause_(std::move(cause)) {}

    // The columns of a sheet, rows 1..rows, in one request.
    static std::vector<ColumnCells> read(sheets::Worksheet* sheet, const std::vector<int>& columns,
                                         std::int32_t rows) {
        std::vector<ColumnCells> out;
        try {
            if (!sheet) throw RunError("the sheet was never obtained");
            auto cells = sheet->columns(columns, rows);
            if (cells.size() != columns.size()) throw RunError("short block read");
            for (std::size_t i = 0; i < columns.size(); ++i) {
                if (cells[i].size() < static_cast<std::size_t>(rows)) throw RunError("short block read");
                out.emplace_back(columns[i], std::move(cells[i]));
            }
        } catch (const sheets::Failure& f) {
            out.clear();
            for (const int c : columns) out.emplace_back(c, f.what(), f.cause());
        } catch (const std::exception& e) {
            out.clear();
            for (const int c : columns) out.emplace_back(c, e.what(), sheets::FailureCause{});
        }
        return out;
    }

    // The text of the cell at 0-based row r, a view into the cell or into scratch; nullopt when the
    // cell cannot be read or turned into text.
    std::optional<std::u16string_view> text(std::size_t r, std::u16string& scratch) const {
        if (!readFailure_.empty()) return std::nullopt;
        const sheets::CellValue& cell = cells_[r];
        switch (cell.kind()) {
            case sheets::CellValue::Kind::Text:
                return std::u16string_view(cell.textValue());
            case sheets::CellValue::Kind::Empty:
                return std::u16string_view{};
            case sheets::CellValue::Kind::Error:
                return std::nullopt;
            default:
                scratch = cell.toText();
                return std::u16string_view(scratch);
        }
    }

    // Fails the step for the cell at row r, whose text(r) gave nothing.
    void failed(ErrorPolicy& policy, std::string_view step, std::size_t r) const {
        if (!readFailure_.empty()) return policy.failed(step, readFailure_, readCause_);
        sheets::FailureCause cause(sheets::FailureCause::Kind::ErrorValue);
        cause.cell = cellAddress(r);
        cause.errorValue = cells_[r].errorName();
        policy.failed(step, "an error value cannot be turned into text", std::move(cause));
    }

    // The cell at 0-based row r once text(r) has succeeded.
    const sheets::CellValue& cell(std::size_t r) const { return cells_[r]; }

    // "B7" for 0-based row 6 of column 2.
    std::u16string cellAddress(std::size_t r) const { return cellName(column_, r); }

private:
    int column_ = 0;
    std::vector<sheets::CellValue> cells_;
    std::string readFailure_ = "not read";
    sheets::FailureCause readCause_;
};

namespace {

// Rows between two progress reports: a few milliseconds of work each.
constexpr std::size_t kRowsPerReport = 65536;

sheets::FailureCause atCell(std::u16string address) {
    sheets::FailureCause cause;
    cause.cell = std::move(address);
    return cause;
}

}  // namespace

void KeyCollector::collect(ErrorPolicy& policy, const KeySource& source, TableColumns& table,
                           const std::function<void(std::int64_t)>& rowsDone) {
    if (source.rowCount <= 0) return;
    if (!rule_.wholeWord && !(rule_.mode && *rule_.mode >= 1 && *rule_.mode <= 4)) return;
    // One request: the key columns, then the value column and the further ones.
    std::vector<int> wanted{source.keyColumn};
    wanted.insert(wanted.end(), source.moreKeyColumns.begin(), source.moreKeyColumns.end());
    const std::size_t keyColumns = wanted.size();
    if (source.valueColumn) {
        wanted.push_back(*source.valueColumn);
        wanted.insert(wanted.end(), source.moreValueColumns.begin(), source.moreValueColumns.end());
    }
    auto read = ColumnCells::read(source.sheet, wanted, source.rowCount);
    const std::vector<ColumnCells> values(std::make_move_iterator(read.begin() + keyColumns),
                                          std::make_move_iterator(read.end()));
    read.resize(keyColumns);
    if (source.valueColumn) table.moreValueCells.resize(source.moreValueColumns.size());
    const auto rows = static_cast<std::size_t>(source.rowCount);
    for (std::size_t r = 0; r < rows; ++r) {
        if (rowsDone && r > 0 && r % kRowsPerReport == 0) rowsDone(static_cast<std::int64_t>(r));
        takeKey(policy, read, r, table.keys);
        if (!source.valueColumn) continue;
        takeValue(policy, values[0], r, table);
        for (std::size_t v = 1; v < values.size(); ++v)
            takeMoreValue(policy, values[v], r, table.moreValueCells[v - 1]);
    }
}

// The trimmed text, whole or cut by the mode; mode 3 cuts from the holder, which an unreadable cell
// leaves as it was.
std::optional<std::u16string_view> KeyCollector::firstKeyPart(ErrorPolicy& policy, const ColumnCells& cells,
                                                              std::size_t r) {
    const std::int16_t mode = rule_.wholeWord ? 0 : *rule_.mode;
    std::optional<std::u16string_view> text = cells.text(r, scratch_);
    if (text) {
        text = trimView(*text);
    } else {
        cells.failed(policy, mode == 3 ? "take the trimmed key text" : "read the key cell", r);
    }
    if (mode == 3) {
        if (text) holder_.assign(*text);
        text = holder_;
    }
    if (!text) return std::nullopt;
    const auto key = mode == 0 ? text : cutKey(*text, mode, rule_.condition);
    if (!key)
        policy.failed(kCutKeyStep, "the key cut gets a negative length or a position below 1",
                      atCell(cells.cellAddress(r)));
    return key;
}

// The first part as its rule cuts it, then the further parts trimmed. An entry beyond an array
// never created fails the cut.
void KeyCollector::takeKey(ErrorPolicy& policy, const std::vector<ColumnCells>& cells, std::size_t r,
                           std::vector<std::u16string>& keys) {
    const auto first = firstKeyPart(policy, cells[0], r);
    bool read = first.has_value();
    if (cells.size() > 1) {
        parts_.assign(1, first.value_or(std::u16string_view()));
        partTexts_.resize(cells.size() - 1);
        for (std::size_t k = 1; k < cells.size(); ++k) {
            const auto text = cells[k].text(r, partTexts_[k - 1]);
            if (!text) cells[k].failed(policy, "read the key cell", r);
            read = read && text;
            parts_.push_back(text ? trimView(*text) : std::u16string_view());
        }
    }
    if (!read) return;
    if (r >= keys.size()) return policy.failed(kCutKeyStep, "no key array");
    if (cells.size() == 1)
        keys[r].assign(*first);
    else
        keys[r] = compositeKey(parts_);
}

void KeyCollector::takeValue(ErrorPolicy& policy, const ColumnCells& cells, std::size_t r,
                             TableColumns& table) {
    const auto text = cells.text(r, scratch_);
    if (!text) return cells.failed(policy, "read the value cell", r);
    if (r >= table.values.size() || r >= table.valueCells.size())
        return policy.failed("read the value cell", "no value array");
    table.values[r].assign(*text);
    table.valueCells[r] = cells.cell(r);
}

void KeyCollector::takeMoreValue(ErrorPolicy& policy, const ColumnCells& cells, std::size_t r,
                                 std::vector<sheets::CellValue>& values) {
    if (!cells.text(r, scratch_)) return cells.failed(policy, "read the value cell", r);
    if (values.size() <= r) values.resize(r + 1);
    values[r] = cells.cell(r);
}

}  // namespace run
