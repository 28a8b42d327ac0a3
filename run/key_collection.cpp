#include "run/key_collection.h"

#include <string_view>

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

namespace {

// One column of rows 1..rows, read in one request. When the read failed, every cell fails with
// the same detail.
class ColumnCells {
public:
    ColumnCells(sheets::Worksheet* sheet, int column, std::int32_t rows) : column_(column) {
        try {
            if (!sheet) throw RunError("the sheet was never obtained");
            cells_ = sheet->column(column, rows);
            if (cells_.size() < static_cast<std::size_t>(rows)) throw RunError("short block read");
            readFailure_.clear();
        } catch (const sheets::Failure& f) {
            cells_.clear();
            readFailure_ = f.what();
            readCause_ = f.cause();
        } catch (const std::exception& e) {
            cells_.clear();
            readFailure_ = e.what();
        }
    }

    // The text of the cell at 0-based row r, a view into the cell or into scratch; nullopt when the
    // cell cannot be read or turned into text, with detail and cause set.
    std::optional<std::u16string_view> text(std::size_t r, std::u16string& scratch, const char*& detail,
                                            sheets::FailureCause& cause) const {
        if (!readFailure_.empty()) {
            detail = readFailure_.c_str();
            cause = readCause_;
            return std::nullopt;
        }
        const sheets::CellValue& cell = cells_[r];
        switch (cell.kind()) {
            case sheets::CellValue::Kind::Text:
                return std::u16string_view(cell.textValue());
            case sheets::CellValue::Kind::Empty:
                return std::u16string_view{};
            case sheets::CellValue::Kind::Error:
                detail = "an error value cannot be turned into text";
                cause = sheets::FailureCause(sheets::FailureCause::Kind::ErrorValue);
                cause.cell = cellAddress(r);
                cause.errorValue = cell.errorName();
                return std::nullopt;
            default:
                scratch = cell.toText();
                return std::u16string_view(scratch);
        }
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

constexpr const char* kInvalidCut = "the key cut gets a negative length or a position below 1";
// Rows between two progress reports: a few milliseconds of work each.
constexpr std::size_t kRowsPerReport = 65536;

sheets::FailureCause atCell(std::u16string address) {
    sheets::FailureCause cause;
    cause.cell = std::move(address);
    return cause;
}

}  // namespace

void collectKeys(ErrorPolicy& policy, const KeySource& source, const KeyRule& rule, std::u16string& holder,
                 TableColumns& table, const std::function<void(std::int64_t)>& rowsDone) {
    if (source.rowCount <= 0) return;
    const bool byMode = !rule.wholeWord;
    if (byMode && !(rule.mode && *rule.mode >= 1 && *rule.mode <= 4)) return;
    const std::int16_t mode = byMode ? *rule.mode : 0;
    const bool collectValues = source.valueColumn.has_value();
    auto& keys = table.keys;

    const ColumnCells keyCells(source.sheet, source.keyColumn, source.rowCount);
    const ColumnCells valueCells = collectValues
                                       ? ColumnCells(source.sheet, *source.valueColumn, source.rowCount)
                                       : ColumnCells(nullptr, 0, 0);

    std::u16string scratch;
    const char* detail = "";
    sheets::FailureCause cause;
    const auto rows = static_cast<std::size_t>(source.rowCount);
    for (std::size_t r = 0; r < rows; ++r) {
        if (rowsDone && r > 0 && r % kRowsPerReport == 0) rowsDone(static_cast<std::int64_t>(r));
        // Stores a cut key, or fails the step: also for an entry beyond an array never created.
        const auto storeKey = [&](std::optional<std::u16string_view> key) {
            if (!key) return policy.failed(kCutKeyStep, kInvalidCut, atCell(keyCells.cellAddress(r)));
            if (r >= keys.size()) return policy.failed(kCutKeyStep, "no key array");
            keys[r].assign(*key);
        };
        const auto cellText = keyCells.text(r, scratch, detail, cause);
        if (mode == 3) {
            if (!cellText) {
                policy.failed("take the trimmed key text", detail, cause);
            } else {
                holder.assign(trimView(*cellText));
            }
            storeKey(cutKey(holder, mode, rule.condition));
        } else if (!cellText) {
            policy.failed("read the key cell", detail, cause);
        } else {
            const auto t = trimView(*cellText);
            storeKey(byMode ? cutKey(t, mode, rule.condition) : std::optional(t));
        }

        if (!collectValues) continue;
        const auto valueText = valueCells.text(r, scratch, detail, cause);
        if (!valueText) {
            policy.failed("read the value cell", detail, cause);
        } else if (r >= table.values.size() || r >= table.valueCells.size()) {
            policy.failed("read the value cell", "no value array");
        } else {
            table.values[r].assign(*valueText);
            table.valueCells[r] = valueCells.cell(r);
        }
    }
}

}  // namespace run
