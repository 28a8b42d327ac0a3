#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sheets/cell_value.h"
#include "sheets/xlsx/office_number_format.h"

namespace sheets::xlsx {

class Package;

// A cell format of the package as the office reads it: how a number in it shows (a date or time,
// or a plain number, and the format, null for the general one) and what it looks like as far as the
// used rows go (0: neither filled nor framed; equal numbers look alike).
struct CellFormat {
    bool date = false;
    std::shared_ptr<const NumberFormat> format;
    std::u16string uncertain;  // not empty: why the office's reading of its number format is not known
    bool general = true;       // the general format, which a formula's result may change
    int look = 0;
};

// The cell formats (cellXfs) of a package's styles part.
class CellFormats {
public:
    // stylesPart empty: the package has none, every cell has the default format.
    CellFormats(const Package& package, const std::string& stylesPart, NumberLocale locale);

    // Format `index` of the cells; the first for an index the styles do not have.
    const CellFormat& at(int index) const;
    std::size_t size() const { return formats_.size(); }
    std::vector<int> looks() const;
    // Whether each look shows: a fill or a border.
    const std::vector<bool>& visibleLooks() const { return visible_; }

private:
    std::vector<CellFormat> formats_;
    std::vector<bool> visible_{false};
};

}  // namespace sheets::xlsx
