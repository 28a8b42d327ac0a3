#include "run/key_collection.h"

#include <string_view>

#include "run/key_cut.h"
#include "run/vb_text.h"

namespace run {
namespace {

// One column of rows 1..rows, read in one request. When the read failed, every cell fails with
// the same detail.
class ColumnCells {
public:
    ColumnCells(sheets::Worksheet* sheet, int column, std::int32_t rows) {
        try {
            if (!sheet) throw RunError("the sheet was never obtained");
            cells_ = sheet->column(column, rows);
            if (cells_.size() < static_cast<std::size_t>(rows)) throw RunError("short block read");
            readFailure_.clear();
        } catch (const std::exception& e) {
            cells_.clear();
            readFailure_ = e.what();
        }
    }

    // The text of the cell at 0-based row r, a view into the cell or into scratch; nullopt when the
    // cell cannot be read or turned into text, with detail set.
    std::optional<std::u16string_view> text(std::size_t r, std::u16string& scratch,
                                            const char*& detail) const {
        if (!readFailure_.empty()) {
            detail = readFailure_.c_str();
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
                return std::nullopt;
            default:
                scratch = cell.toText();
                return std::u16string_view(scratch);
        }
    }

    // The cell at 0-based row r once text(r) has succeeded.
    const sheets::CellValue& cell(std::size_t r) const { return cells_[r]; }

private:
    std::vector<sheets::CellValue> cells_;
    std::string readFailure_ = "not read";
};

constexpr const char* kInvalidCut = "the key cut gets a negative length or a position below 1";
// Rows between two progress reports: a few milliseconds of work each.
constexpr std::size_t kRowsPerReport = 65536;

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
    const auto rows = static_cast<std::size_t>(source.rowCount);
    for (std::size_t r = 0; r < rows; ++r) {
        if (rowsDone && r > 0 && r % kRowsPerReport == 0) rowsDone(static_cast<std::int64_t>(r));
        // Stores a cut key, or fails the step: also for an entry beyond an array never created.
        const auto storeKey = [&](std::optional<std::u16string_view> key) {
            if (!key) return policy.failed("cut the key", kInvalidCut);
            if (r >= keys.size()) return policy.failed("cut the key", "no key array");
            keys[r].assign(*key);
        };
        const auto cellText = keyCells.text(r, scratch, detail);
        if (mode == 3) {
            if (!cellText) {
                policy.failed("take the trimmed key text", detail);
            } else {
                holder.assign(trimView(*cellText));
            }
            storeKey(cutKey(holder, mode, rule.condition));
        } else if (!cellText) {
            policy.failed("read the key cell", detail);
        } else {
            const auto t = trimView(*cellText);
            storeKey(byMode ? cutKey(t, mode, rule.condition) : std::optional(t));
        }

        if (!collectValues) continue;
        const auto valueText = valueCells.text(r, scratch, detail);
        if (!valueText) {
            policy.failed("read the value cell", detail);
        } else if (r >= table.values.size() || r >= table.valueCells.size()) {
            policy.failed("read the value cell", "no value array");
        } else {
            table.values[r].assign(*valueText);
            table.valueCells[r] = valueCells.cell(r);
        }
    }
}

}  // namespace run
