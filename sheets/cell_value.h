#pragma once

#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace sheets {

// How a number is shown: a format code in the office's notation ("YYYY-MM-DD", "0.00%",
// "#,##0.00 [$¥-804]") and the locale the code is written for ("en-US").
struct NumberFormat {
    std::u16string code;
    std::u16string locale;

    bool operator==(const NumberFormat&) const = default;
};

// The value of one cell as the spreadsheet holds it.
class CellValue {
public:
    enum class Kind { Empty, Number, Text, Date, Boolean, Error };

    CellValue() = default;
    static CellValue number(double v) { return CellValue(Kind::Number, v); }
    static CellValue text(std::u16string s) { return CellValue(std::move(s)); }
    // serial: days since 1899-12-30, the fraction being the time of day
    static CellValue date(double serial) { return CellValue(Kind::Date, serial); }
    static CellValue boolean(bool b) { return CellValue(Kind::Boolean, b ? 1.0 : 0.0); }
    // name: the error value as the office shows it ("#DIV/0!", "Err:502"); empty when not known.
    static CellValue error(std::u16string name = {}) {
        CellValue v(std::move(name));
        v.kind_ = Kind::Error;
        return v;
    }

    Kind kind() const { return kind_; }
    bool isError() const { return kind_ == Kind::Error; }
    double numberValue() const { return std::get<double>(value_); }
    const std::u16string& textValue() const { return std::get<std::u16string>(value_); }
    const std::u16string& errorName() const { return textValue(); }

    // The text the run works with: "" for empty, the general number form, "yyyy/M/d[ H:mm:ss]" or
    // "H:mm:ss" for dates, "True"/"False", text as it is. An error value has no text: throws Failure.
    std::u16string toText() const;

    // The number format a number, date or boolean is shown in; null for the general format.
    const std::shared_ptr<const NumberFormat>& format() const { return format_; }
    void setFormat(std::shared_ptr<const NumberFormat> format) { format_ = std::move(format); }

    // Equal values shown in equal formats.
    bool operator==(const CellValue& other) const;

private:
    CellValue(Kind k, double v) : kind_(k), value_(v) {}
    explicit CellValue(std::u16string s) : kind_(Kind::Text), value_(std::move(s)) {}

    Kind kind_ = Kind::Empty;
    std::variant<double, std::u16string> value_ = 0.0;
    std::shared_ptr<const NumberFormat> format_;
};

// Cells to write, row by row from the first cell, each row `width` cells wide. An empty value
// leaves its cell empty.
struct CellRows {
    int width = 1;
    std::vector<CellValue> cells;

    std::size_t rowCount() const { return width > 0 ? cells.size() / static_cast<std::size_t>(width) : 0; }
    const CellValue& at(std::size_t row, int column) const {
        return cells[row * static_cast<std::size_t>(width) + static_cast<std::size_t>(column)];
    }
};

// The general text form of a number: at most 15 significant digits, no grouping, no trailing zeros,
// plain digits from 1E-15 up to below 1E+15, otherwise scientific ("1.5E+15", "1E-16").
std::u16string generalNumberText(double v);

// "yyyy/M/d", with " H:mm:ss" when there is a time of day; a time alone (serial below 1) is "H:mm:ss".
std::u16string dateText(double serial);

// The format a written cell is given, by the office and by a package writer alike: its own, or for
// a date or boolean without one the usual format of its kind ("YYYY/M/D", "YYYY/M/D H:MM:SS",
// "H:MM:SS", "BOOLEAN"). Null for numbers without a format and texts, which keep the cell's format.
const NumberFormat* shownFormat(const CellValue& v);

}  // namespace sheets
