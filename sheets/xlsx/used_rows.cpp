#include "sheets/xlsx/used_rows.h"

#include <algorithm>
#include <map>
#include <utility>

namespace sheets::xlsx {

namespace {

// Below a column's last cell, a run of this many equal-looking rows ends what counts.
constexpr int kRunThatEnds = 84;

}  // namespace

// One column's rows as the count sees them: the look of each row from the top, and its cells.
class UsedRows::Column {
public:
    Column(int format, const std::vector<int>& look, const std::vector<bool>& visible)
        : format(format), look_(look), visible_(visible) {}

    const int format;  // the column's own format, negative for none
    int fedTo = -1;    // rows up to this one have been fed
    std::size_t nextRowFormat = 0;

    // Rows first..last have the format (negative: none).
    void feed(int first, int last, int format) {
        const int look = lookOf(format);
        if (format != lastFormat_ || first == 0) {
            lastFormat_ = format;
            lastFormatStart_ = first;
        }
        firstVisibleFeed(first, last, look);
        const int from = std::max(first, cut_ + 1);
        if (from <= last) {
            if (tail_.empty() || tail_.back().second != look) tail_.emplace_back(from, look);
        }
        fedTo = last;
    }

    // The row just fed holds content.
    void content(int row) {
        cut_ = row;
        tail_.clear();
    }

    // The first row of a look that shows, the first run of several rows passed over; -1 for none.
    int firstVisible() const {
        if (firstVisible_ >= 0) return firstVisible_;
        return group0Open_ && group0End_ == 0 && visible_[firstLook_] ? 0 : -1;
    }

    // The last row of a look that shows below the column's last cell, up to the first run of
    // kRunThatEnds equal-looking rows; -1 for none.
    int lastVisible() const {
        if (cut_ == kLastRow) return kLastRow;
        if (lastFormatStart_ <= cut_ + 1) return -1;
        int last = -1;
        for (std::size_t i = 0; i < tail_.size(); ++i) {
            const int end = i + 1 < tail_.size() ? tail_[i + 1].first - 1 : kLastRow;
            if (end + 1 - tail_[i].first >= kRunThatEnds) break;
            if (visible_[static_cast<std::size_t>(tail_[i].second)]) last = end;
        }
        return last;
    }

private:
    int lookOf(int format) const {
        return format >= 0 && static_cast<std::size_t>(format) < look_.size() ? look_[format] : 0;
    }

    void firstVisibleFeed(int first, int last, int look) {
        if (first == 0) {
            firstLook_ = look;
            group0End_ = last;
            return;
        }
        if (group0Open_ && look == firstLook_) {
            group0End_ = last;
            return;
        }
        if (group0Open_) {
            group0Open_ = false;
            if (group0End_ == 0 && visible_[static_cast<std::size_t>(firstLook_)]) firstVisible_ = 0;
        }
        if (firstVisible_ < 0 && visible_[static_cast<std::size_t>(look)]) firstVisible_ = first;
    }

    const std::vector<int>& look_;
    const std::vector<bool>& visible_;
    int lastFormat_ = -2;
    int lastFormatStart_ = 0;
    int firstLook_ = 0;
    int group0End_ = 0;
    bool group0Open_ = true;
    int firstVisible_ = -1;
    int cut_ = 0;                            // the last row with content, 0 when none (as the office counts)
    std::vector<std::pair<int, int>> tail_;  // (first row, look) of the rows after cut_
};

UsedRows::UsedRows(std::vector<int> lookOfFormat, std::vector<bool> visibleLooks)
    : look_(std::move(lookOfFormat)), visible_(std::move(visibleLooks)), columns_(kColumns) {
    if (visible_.empty()) visible_.push_back(false);
}

UsedRows::~UsedRows() = default;

void UsedRows::columnFormat(int first, int last, int format) {
    if (format >= 0 && first <= last) columnFormats_.push_back({first, last, format});
}

void UsedRows::row(int row, int format) {
    if (format < 0) return;
    if (!rowFormats_.empty() && rowFormats_.back().last == row - 1 && rowFormats_.back().format == format)
        rowFormats_.back().last = row;
    else
        rowFormats_.push_back({row, row, format});
}

int UsedRows::columnFormatOf(int column) const {
    for (auto it = columnFormats_.rbegin(); it != columnFormats_.rend(); ++it)
        if (it->first <= column && column <= it->last) return it->format;
    return -1;
}

// Rows from..to of a column without cells there: the rows' own formats, else the column's.
void UsedRows::feedBackground(Column& column, int from, int to) {
    while (from <= to) {
        auto& next = column.nextRowFormat;
        while (next < rowFormats_.size() && rowFormats_[next].last < from) ++next;
        if (next == rowFormats_.size() || rowFormats_[next].first > to) {
            column.feed(from, to, column.format);
            return;
        }
        const Span& span = rowFormats_[next];
        if (span.first > from) column.feed(from, span.first - 1, column.format);
        const int end = std::min(span.last, to);
        column.feed(std::max(from, span.first), end, span.format);
        from = end + 1;
    }
}

void UsedRows::catchUp(Column& column, int to) {
    if (column.fedTo < to) feedBackground(column, column.fedTo + 1, to);
}

int UsedRows::backgroundOf(int row) const {
    if (!rowFormats_.empty() && rowFormats_.back().first <= row && row <= rowFormats_.back().last)
        return rowFormats_.back().format;
    return -1;
}

void UsedRows::noteContent(int row) {
    if (firstContent_ < 0 || row < firstContent_) firstContent_ = row;
    lastContent_ = std::max(lastContent_, row);
}

void UsedRows::cell(int row, int column, int format, bool holdsContent) {
    auto& slot = columns_[static_cast<std::size_t>(column)];
    if (!slot) slot = std::make_unique<Column>(columnFormatOf(column), look_, visible_);
    catchUp(*slot, row - 1);
    const int background = backgroundOf(row);
    slot->feed(row, row, format >= 0 ? format : background >= 0 ? background : slot->format);
    if (holdsContent) {
        slot->content(row);
        noteContent(row);
    }
}

void UsedRows::comment(int row, int) {
    lastComment_ = std::max(lastComment_, row);
}

std::optional<std::int32_t> UsedRows::count() {
    int first = firstContent_, last = lastContent_;
    const auto consider = [&](Column& c) {
        catchUp(c, kLastRow);
        if (const int f = c.firstVisible(); f >= 0 && (first < 0 || f < first)) first = f;
        last = std::max(last, c.lastVisible());
    };
    // Columns without cells look alike when their own formats are alike: one stands for them all.
    std::map<int, int> withoutCells;  // column format -> how many columns
    for (int c = 0; c < kColumns; ++c) {
        if (columns_[static_cast<std::size_t>(c)]) {
            consider(*columns_[static_cast<std::size_t>(c)]);
        } else {
            ++withoutCells[columnFormatOf(c)];
        }
    }
    for (const auto& [format, n] : withoutCells) {
        Column stand(format, look_, visible_);
        consider(stand);
    }
    if (lastComment_ >= 0 && first != 0) return std::nullopt;
    if (first < 0) first = 0;
    last = std::max(last, lastComment_);
    if (last < 0) last = 0;
    return last - first + 1;
}

}  // namespace sheets::xlsx
