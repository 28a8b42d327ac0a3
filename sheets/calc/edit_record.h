#pragma once
// What a run changed in a workbook, as far as an .xlsx package can take it in place: empty columns
// inserted into one sheet, then cells written into it from row 1.

#include <optional>

#include "sheets/xlsx/xlsx_writer.h"

namespace sheets::calc {

class EditRecord {
public:
    // sheet: 1-based position; column: 1-based.
    void inserted(int sheet, int column) {
        if (!plain_) return;
        if (!edit_) edit_ = xlsx::SheetEdit{sheet, column, 0, 1, {}};
        plain_ = edit_->sheetPosition == sheet && edit_->insertAt == column && !written_;
        ++edit_->insertCount;
    }
    // row and column of the first cell, 1-based.
    void written(int sheet, int row, int column, const CellRows& cells) {
        if (!plain_) return;
        if (!edit_) edit_ = xlsx::SheetEdit{sheet, 0, 0, column, {}};
        plain_ = edit_->sheetPosition == sheet && row == 1 && !written_;
        edit_->firstColumn = column;
        edit_->cells = cells;
        written_ = true;
    }

    // The change as one edit of one sheet; nullopt when there was none or it was more than that.
    const std::optional<xlsx::SheetEdit>& edit() const { return plain_ ? edit_ : none_; }

private:
    std::optional<xlsx::SheetEdit> edit_;
    inline static const std::optional<xlsx::SheetEdit> none_;
    bool written_ = false;
    bool plain_ = true;
};

}  // namespace sheets::calc
