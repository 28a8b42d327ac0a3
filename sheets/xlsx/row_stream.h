#pragma once

#include <string>
#include <utility>

#include <pugixml.hpp>

namespace sheets::xlsx {

class CellWriter;
class RowFormulas;
struct ColumnInsertion;

// A worksheet's XML split around its rows, so that a sheet of a million rows is never held as one
// DOM: the rest of the sheet (the frame) is edited as a DOM, the rows one at a time.
class SheetRows {
public:
    // Throws Unsupported when the sheet has no rows element it can find.
    SheetRows(const std::string& part, std::string text);

    // The sheet with an empty sheetData holding a marker where the rows go back.
    const std::string& frame() const { return frame_; }

    // The sheet's new text: `frame` as the DOM passes left it, with every row put back after its
    // formulas and, when columns are inserted, its cells have moved and `cells` has written it, and the
    // rows `cells` needs that did not exist made between them.
    std::string join(const std::string& frame, RowFormulas& formulas, const ColumnInsertion& insertion,
                     CellWriter& cells) const;

    static constexpr const char* kMarker = "<!--pellucor rows-->";

private:
    // [begin, end) of the first row element at or after `pos`, both npos after the last.
    std::pair<std::size_t, std::size_t> nextRow(std::size_t pos) const;

    std::string part_;
    std::string text_;
    std::string prefix_;  // the namespace prefix of the rows' elements, with its colon
    std::size_t bodyBegin_ = 0, bodyEnd_ = 0;
    std::string frame_;
};

}  // namespace sheets::xlsx
