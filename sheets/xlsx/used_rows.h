#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace sheets::xlsx {

// The rows of a sheet the office counts as used, fed with the sheet's rows in order: from the first
// to the last row holding a cell with content, a comment or a format that shows (a fill or a
// border), by the office's own rules for formats: a run of equal-looking rows of 84 or more below a
// column's last cell ends what counts of that column, and a first run of several equal-looking rows
// at the top is passed over. A cell's format is its own, else its row's, else its column's.
class UsedRows {
public:
    static constexpr int kLastRow = 1048575;  // rows and columns count from 0 here
    static constexpr int kColumns = 16384;

    // lookOfFormat: for each cell format, what it looks like as far as the count goes (equal numbers
    // look alike); looks listed in visibleLooks show.
    UsedRows(std::vector<int> lookOfFormat, std::vector<bool> visibleLooks);
    ~UsedRows();

    // A column range's format, before the first row.
    void columnFormat(int first, int last, int format);
    // A row's own format (negative: none), in increasing row order.
    void row(int row, int format);
    // A cell of the current row, in increasing column order; format negative when it has none.
    void cell(int row, int column, int format, bool holdsContent);
    void comment(int row, int column);

    // After the last row: the count of used rows, as the office reports it; nullopt when a comment
    // may move its first row (the office counts a comment from the top of its caption, which it
    // places a few rows above the cell by the sheet's row heights).
    std::optional<std::int32_t> count();

private:
    class Column;
    struct Span {
        int first, last, format;
    };

    int backgroundOf(int row) const;
    int columnFormatOf(int column) const;
    void catchUp(Column& column, int to);
    void feedBackground(Column& column, int from, int to);
    void noteContent(int row);

    std::vector<int> look_;
    std::vector<bool> visible_;
    std::vector<Span> columnFormats_;
    std::vector<Span> rowFormats_;
    std::vector<std::unique_ptr<Column>> columns_;
    int firstContent_ = -1, lastContent_ = -1;
    int lastComment_ = -1;
};

}  // namespace sheets::xlsx
