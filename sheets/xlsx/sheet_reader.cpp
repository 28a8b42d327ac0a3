#include "sheets/xlsx/sheet_reader.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <limits>
#include <optional>

#include "sheets/application.h"
#include "sheets/failure.h"
#include "sheets/utf8.h"
#include "sheets/xlsx/inflating_source.h"
#include "sheets/xlsx/used_rows.h"

namespace sheets::xlsx {
namespace {

using Raw = SheetReader::Raw;

constexpr int kRows = UsedRows::kLastRow + 1;

char upperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (upperAscii(a[i]) != upperAscii(b[i])) return false;
    return true;
}

std::string_view trimmed(std::string_view s) {
    const auto first = s.find_first_not_of(" \t\n\r");
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t\n\r") + 1 - first);
}

// A leading integer, as the office reads an index ("12", " 3", "1.5" -> 1); nullopt for none.
std::optional<long long> leadingInteger(std::string_view s) {
    s = trimmed(s);
    long long v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end == s.data()) return std::nullopt;
    return v;
}

// A cell reference such as "AB12": 1-based column and row.
bool parseReference(std::string_view r, int& column, int& row) {
    std::size_t i = 0;
    column = 0;
    while (i < r.size() && upperAscii(r[i]) >= 'A' && upperAscii(r[i]) <= 'Z' && i < 3)
        column = column * 26 + (upperAscii(r[i++]) - 'A' + 1);
    if (i == 0 || i == r.size()) return false;
    long long n = 0;
    const auto [end, ec] = std::from_chars(r.data() + i, r.data() + r.size(), n);
    if (ec != std::errc() || end != r.data() + r.size() || n < 1 || n > kRows) return false;
    row = static_cast<int>(n);
    return column <= UsedRows::kColumns;
}

// A number as the office reads a value: the longest number at the start, whitespace before it
// passed over; 0 when there is none, infinity for "INF", "1.#INF" and numbers too large, not a
// number for "NaN" (unsigned) and "1.#NAN".
double officeNumber(std::string_view s) {
    std::size_t i = s.find_first_not_of(" \t\n\r");
    if (i == std::string_view::npos) return 0;
    const std::size_t start = i;
    if (s[i] == '+' || s[i] == '-') ++i;
    const bool negative = s[start] == '-';
    if (s.substr(i, 3) == "INF" || s.substr(i, 6) == "1.#INF") return negative ? -HUGE_VAL : HUGE_VAL;
    if ((i == start && s.substr(i, 3) == "NaN") || s.substr(i, 6) == "1.#NAN")
        return std::numeric_limits<double>::quiet_NaN();
    const std::size_t digits = i;
    while (i < s.size() && (std::isdigit(static_cast<unsigned char>(s[i])) || s[i] == '.')) ++i;
    if (i == digits) return 0;
    bool positiveExponent = true;
    if (i + 1 < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t e = i + 1;
        if (s[e] == '+' || s[e] == '-') positiveExponent = s[e++] == '+';
        if (e < s.size() && std::isdigit(static_cast<unsigned char>(s[e]))) {
            while (e < s.size() && std::isdigit(static_cast<unsigned char>(s[e]))) ++e;
            i = e;
        }
    }
    const std::size_t from = s[start] == '+' ? start + 1 : start;
    double v = 0;
    const auto [end, ec] = std::from_chars(s.data() + from, s.data() + i, v);
    if (ec == std::errc::result_out_of_range)
        return positiveExponent ? (negative ? -HUGE_VAL : HUGE_VAL) : (negative ? -0.0 : 0.0);
    return end == s.data() + from ? 0 : v;
}

// "2024-03-15" or "2024-03-15T12:30:00", with "Z" or not: days since 1899-12-30.
std::optional<double> isoDate(std::string_view s) {
    const auto number = [&](std::size_t at, std::size_t n) -> int {
        int v = 0;
        for (std::size_t k = at; k < at + n; ++k) {
            if (k >= s.size() || !std::isdigit(static_cast<unsigned char>(s[k]))) return -1;
            v = v * 10 + (s[k] - '0');
        }
        return v;
    };
    if (s.ends_with('Z')) s.remove_suffix(1);
    if ((s.size() != 10 && s.size() != 19) || s[4] != '-' || s[7] != '-') return std::nullopt;
    const int y = number(0, 4), m = number(5, 2), d = number(8, 2);
    int seconds = 0;
    if (s.size() == 19) {
        const int h = number(11, 2), mi = number(14, 2), se = number(17, 2);
        if (s[10] != 'T' || s[13] != ':' || s[16] != ':' || h < 0 || mi < 0 || se < 0) return std::nullopt;
        seconds = h * 3600 + mi * 60 + se;
    }
    using namespace std::chrono;
    const year_month_day ymd{year{y}, month{static_cast<unsigned>(m)}, day{static_cast<unsigned>(d)}};
    if (y < 0 || !ymd.ok()) return std::nullopt;
    const auto days = (sys_days{ymd} - sys_days{1899y / December / 30}).count();
    return static_cast<double>(days) + seconds / 86400.0;
}

// The office's name of an error value as a package writes it; nullopt for a text it would read as
// something else.
std::optional<std::u16string> errorName(std::string_view v) {
    std::string up(trimmed(v));
    for (char& c : up) c = upperAscii(c);
    for (const char* known : {"#NULL!", "#DIV/0!", "#VALUE!", "#REF!", "#NAME?", "#NUM!", "#N/A"})
        if (up == known) return fromUtf8(up);
    if (up == "#GETTING_DATA") return u"Err:509";
    return std::nullopt;
}

// Why the office may not show a formula's saved result: it computes it anew on loading.
std::u16string formulaConcern(std::string_view formula) {
    std::string up(formula);
    for (char& c : up) c = upperAscii(c);
    if (up.find("_XLFN.") != std::string::npos || up.find("_XLWS.") != std::string::npos ||
        up.find("_XLUDF.") != std::string::npos)
        return u"公式使用了 LibreOffice 可能不认识的函数";
    for (std::size_t at = up.find('['); at != std::string::npos; at = up.find('[', at + 1))
        if (at + 1 < up.size() && std::isdigit(static_cast<unsigned char>(up[at + 1])))
            return u"公式引用了其他工作簿";
    for (const char* name : {"NOW(", "TODAY(", "RAND(", "RANDBETWEEN(", "RANDARRAY(", "OFFSET(", "INDIRECT(",
                             "CELL(", "INFO("}) {
        for (std::size_t at = up.find(name); at != std::string::npos; at = up.find(name, at + 1)) {
            const char before = at > 0 ? up[at - 1] : ' ';
            if (!std::isalnum(static_cast<unsigned char>(before)) && before != '_' && before != '.')
                return u"公式含有每次打开都重新计算的函数";
        }
    }
    return {};
}

constexpr char16_t kReleasesDiffer[] = u"此版本的 LibreOffice 对该单元格的读法未经核实";

Raw::Formula formulaKind(std::string_view formula) {
    const auto f = trimmed(formula);
    if (equalsIgnoringCase(f, "TRUE()")) return Raw::TrueFormula;
    if (equalsIgnoringCase(f, "FALSE()")) return Raw::FalseFormula;
    return Raw::Plain;
}

}  // namespace

// LibreOffice 25 takes "true" in any case for true; every release takes a number other than 0 for
// true.
std::optional<bool> officeTruth(std::string_view value, OfficeRelease release) {
    if (!equalsIgnoringCase(value, "true")) return officeNumber(value) != 0;
    if (release == OfficeRelease::Other) return std::nullopt;
    return release == OfficeRelease::LibreOffice25;
}

// One pass over a worksheet part.
class SheetScan {
public:
    SheetScan(SheetReader& out, const std::string& part, const ReadProgress& progress)
        : out_(out),
          context_(out.context_),
          part_(part),
          progress_(progress),
          used_(context_.formats.looks(), context_.formats.visibleLooks()) {}

    void run() {
        InflatingSource source(context_.package, part_);
        bytes_ = source.size();
        XmlScanner x(source, part_);
        scanner_ = &x;
        bool root = true;
        for (auto tag = x.next(); tag != XmlScanner::Tag::EndOfInput; tag = x.next()) {
            if (tag != XmlScanner::Tag::Start && tag != XmlScanner::Tag::Empty) continue;
            const std::string_view name = x.name();
            if (root) {
                root = false;
                continue;
            }
            if (name == "dimension") {
                dimension();
            } else if (name == "cols" && tag == XmlScanner::Tag::Start) {
                columns();
            } else if (name == "sheetData") {
                if (tag == XmlScanner::Tag::Start) sheetData();
                break;
            } else if (tag == XmlScanner::Tag::Start) {
                x.skip();
            }
        }
        for (const auto& [row, column] : context_.comments) used_.comment(row, column);
        const auto count = used_.count();
        if (!count)
            doubt("a comment above the first used row",
                  u"批注位于已用区域之上，LibreOffice 按批注框的位置计算行数");
        out_.usedRows_ = *count;
    }

private:
    struct Cell {
        int row = 0, column = 0;
        int format = -1;
        char type = 'n';  // n, s, S (str), i (inlineStr), b, e, d, ? (other)
        bool hasValue = false, hasFormula = false, hasItem = false;
        std::string value, formula, formulaType, sharedIndex;
        bool formulaHasText = false;
        OfficeText item;
    };

    [[noreturn]] void doubt(const std::string& detail, const std::u16string& reason) const {
        throw NeedsOffice{"cannot read " + part_ + " with certainty: " + detail, reason};
    }

    void dimension() {
        const auto ref = scanner_->attribute("ref");
        if (!ref) return;
        const auto colon = ref->find(':');
        int column = 0, row = 0;
        if (parseReference(colon == std::string_view::npos ? *ref : ref->substr(colon + 1), column, row))
            expectedRows_ = row;
    }

    void columns() {
        for (auto tag = scanner_->next(); tag != XmlScanner::Tag::End || scanner_->name() != "cols";
             tag = scanner_->next()) {
            if (tag == XmlScanner::Tag::EndOfInput) throw Failure(part_ + ": cols not closed");
            if (scanner_->name() != "col" || tag == XmlScanner::Tag::End) continue;
            const auto min = leadingInteger(scanner_->attribute("min").value_or(""));
            const auto max = leadingInteger(scanner_->attribute("max").value_or(""));
            const auto style = scanner_->attribute("style");
            if (min && max && style) {
                const int format = static_cast<int>(leadingInteger(*style).value_or(-1));
                used_.columnFormat(static_cast<int>(*min) - 1,
                                   static_cast<int>(std::min<long long>(*max, UsedRows::kColumns)) - 1,
                                   format);
                columnFormats_.push_back({static_cast<int>(*min), static_cast<int>(*max), format});
            }
            if (tag == XmlScanner::Tag::Start) scanner_->skip();
        }
    }

    void sheetData() {
        for (auto tag = scanner_->next(); tag != XmlScanner::Tag::EndOfInput; tag = scanner_->next()) {
            if (tag == XmlScanner::Tag::End) {
                if (scanner_->name() == "sheetData") return;
                continue;
            }
            if (scanner_->name() != "row") {
                if (tag == XmlScanner::Tag::Start) scanner_->skip();
                continue;
            }
            row(tag == XmlScanner::Tag::Empty);
        }
        throw Failure(part_ + ": sheetData not closed");
    }

    void row(bool empty) {
        const auto r = scanner_->attribute("r");
        const int number = r ? static_cast<int>(leadingInteger(*r).value_or(0)) : row_ + 1;
        if (number <= row_ || number > kRows)
            doubt("rows out of order or beyond the sheet", u"工作表的行次序异常");
        row_ = number;
        const auto custom = scanner_->attribute("customFormat");
        const bool ownFormat = custom && (*custom == "1" || *custom == "true");
        rowFormat_ =
            ownFormat ? static_cast<int>(leadingInteger(scanner_->attribute("s").value_or("")).value_or(-1))
                      : -1;
        used_.row(row_ - 1, rowFormat_);
        column_ = 0;
        if (!empty) {
            for (auto tag = scanner_->next(); tag != XmlScanner::Tag::End || scanner_->name() != "row";
                 tag = scanner_->next()) {
                if (tag == XmlScanner::Tag::EndOfInput) throw Failure(part_ + ": a row is not closed");
                if (tag == XmlScanner::Tag::End) continue;
                if (scanner_->name() == "c") {
                    cell(tag == XmlScanner::Tag::Empty);
                } else if (tag == XmlScanner::Tag::Start) {
                    scanner_->skip();
                }
            }
        }
        report();
    }

    void cell(bool empty) {
        Cell& c = cell_;
        c.hasValue = c.hasFormula = c.hasItem = c.formulaHasText = false;
        c.row = row_;
        const auto r = scanner_->attribute("r");
        int refRow = row_;
        if (r) {
            if (!parseReference(*r, c.column, refRow) || refRow != row_)
                doubt("a cell reference " + std::string(*r) + " in row " + std::to_string(row_),
                      u"单元格地址异常");
        } else {
            c.column = column_ + 1;
        }
        if (c.column <= column_ || c.column > UsedRows::kColumns)
            doubt("cells out of order", u"单元格次序异常");
        column_ = c.column;
        const auto s = scanner_->attribute("s");
        c.format = s ? static_cast<int>(leadingInteger(*s).value_or(-1)) : -1;
        const auto t = scanner_->attribute("t").value_or("n");
        c.type = t == "n"           ? 'n'
                 : t == "s"         ? 's'
                 : t == "str"       ? 'S'
                 : t == "inlineStr" ? 'i'
                 : t == "b"         ? 'b'
                 : t == "e"         ? 'e'
                 : t == "d"         ? 'd'
                                    : '?';
        if (!empty) children(c);
        const bool wanted = out_.columns_.count(c.column) > 0;
        Raw raw;
        const bool content = interpret(c, raw, wanted);
        used_.cell(c.row - 1, c.column - 1, c.format, content);
        if (!wanted) return;
        raw.format = c.format >= 0 ? c.format : rowFormat_ >= 0 ? rowFormat_ : columnFormatOf(c.column);
        auto& column = out_.columns_[c.column];
        if (column.size() < static_cast<std::size_t>(c.row)) column.resize(static_cast<std::size_t>(c.row));
        column[static_cast<std::size_t>(c.row - 1)] = raw;
    }

    void children(Cell& c) {
        for (auto tag = scanner_->next(); tag != XmlScanner::Tag::End || scanner_->name() != "c";
             tag = scanner_->next()) {
            if (tag == XmlScanner::Tag::EndOfInput) throw Failure(part_ + ": a cell is not closed");
            if (tag == XmlScanner::Tag::End) continue;
            const std::string_view name = scanner_->name();
            const bool start = tag == XmlScanner::Tag::Start;
            if (name == "v") {
                c.hasValue = true;
                c.value.clear();
                if (start) scanner_->text(c.value);
            } else if (name == "f") {
                c.hasFormula = true;
                c.formulaType = scanner_->attribute("t").value_or("normal");
                c.sharedIndex = scanner_->attribute("si").value_or("");
                c.formula.clear();
                if (start) scanner_->text(c.formula);
                c.formulaHasText = !c.formula.empty();
            } else if (name == "is") {
                c.hasItem = true;
                c.item = start ? officeItemText(*scanner_, context_.release) : OfficeText();
            } else if (start) {
                scanner_->skip();
            }
        }
    }

    int columnFormatOf(int column) const {
        for (auto it = columnFormats_.rbegin(); it != columnFormats_.rend(); ++it)
            if (it->min <= column && column <= it->max) return it->format;
        return 0;
    }

    std::uint32_t own(std::u16string text) {
        out_.ownTexts_.push_back(std::move(text));
        return static_cast<std::uint32_t>(out_.ownTexts_.size() - 1);
    }

    // Whether the cell holds content for the office; its value as the office reads it into raw when
    // it is wanted.
    bool interpret(const Cell& c, Raw& raw, bool wanted) {
        if (c.hasFormula) {
            if (wanted) formulaValue(c, raw);
            return true;
        }
        const bool value = c.hasValue && !c.value.empty();
        switch (c.type) {
            case 'n':
                if (value) raw.kind = Raw::Number, raw.number = officeNumber(c.value);
                return value;
            case 's':
                return sharedText(c, raw, wanted);
            case 'i':
                if (c.hasItem && !c.item.certain && wanted)
                    uncertain(raw, kReleasesDiffer);
                else if (c.hasItem && !c.item.text.empty())
                    raw.kind = Raw::OwnText, raw.text = wanted ? own(c.item.text) : 0;
                return c.hasItem && (!c.item.text.empty() || c.item.formatted || !c.item.certain);
            case 'S':
                if (value && wanted) raw.kind = Raw::OwnText, raw.text = own(fromUtf8(c.value));
                return value;
            case 'b':
                if (value && wanted) truth(c.value, raw);
                if (value && raw.kind == Raw::Boolean)
                    raw.formula = raw.number != 0 ? Raw::TrueFormula : Raw::FalseFormula;
                return value;
            case 'e':
                if (value && wanted) errorValue(c.value, raw);
                return value;
            case 'd':
                if (value && wanted) dateValue(c.value, raw);
                return value;
            default:
                return false;
        }
    }

    bool sharedText(const Cell& c, Raw& raw, bool wanted) {
        if (!c.hasValue) return false;
        const auto index = leadingInteger(c.value);
        if (!index || *index < 0 || static_cast<std::size_t>(*index) >= context_.strings.size()) return false;
        if (context_.strings.uncertain(static_cast<std::size_t>(*index))) {
            if (wanted) uncertain(raw, kReleasesDiffer);
            return true;
        }
        if (context_.strings.at(static_cast<std::size_t>(*index)).empty())
            return context_.strings.emptyButFormatted(static_cast<std::size_t>(*index));
        raw.kind = Raw::SharedText;
        raw.text = static_cast<std::uint32_t>(*index);
        return true;
    }

    void errorValue(std::string_view v, Raw& raw) {
        if (const auto name = errorName(v)) {
            raw.kind = Raw::Error;
            raw.text = own(*name);
        } else {
            uncertain(raw, u"单元格中有未知的错误值");
        }
    }

    void dateValue(std::string_view v, Raw& raw) {
        if (const auto serial = isoDate(trimmed(v))) {
            raw.kind = Raw::Number;
            raw.number = *serial - context_.dateOffset;
        } else if (v.size() >= 5 && std::isdigit(static_cast<unsigned char>(v[0])) && v[4] == '-') {
            uncertain(raw, u"单元格中有无法确定的日期写法");
        } else {
            raw.kind = Raw::OwnText;
            raw.text = own(fromUtf8(v));
        }
    }

    void truth(std::string_view v, Raw& raw) {
        const auto value = officeTruth(v, context_.release);
        if (!value) return uncertain(raw, kReleasesDiffer);
        raw.kind = Raw::Boolean;
        raw.number = *value ? 1 : 0;
    }

    void uncertain(Raw& raw, std::u16string why) {
        raw.kind = Raw::Uncertain;
        raw.text = own(std::move(why));
    }

    // A formula's saved result, where the office is known to show it; else a doubt.
    void formulaValue(const Cell& c, Raw& raw) {
        std::string_view text = c.formula;
        if (c.formulaType == "shared") {
            if (c.formulaHasText) {
                shared_[c.sharedIndex] = c.formula;
            } else {
                const auto master = shared_.find(c.sharedIndex);
                if (master == shared_.end()) return uncertain(raw, u"共享公式缺少其主公式");
                text = master->second;
            }
        } else if (c.formulaType != "normal") {
            return uncertain(raw, u"单元格中有数组公式或模拟运算表");
        }
        if (auto concern = formulaConcern(text); !concern.empty()) return uncertain(raw, concern);
        if (!c.hasValue) return uncertain(raw, u"公式没有保存的结果");
        raw.formula = formulaKind(text);
        switch (c.type) {
            case 'n':
                if (c.value.empty()) return uncertain(raw, u"公式没有保存的结果");
                raw.kind = Raw::Number;
                raw.number = officeNumber(c.value);
                return;
            case 'S':
                raw.kind = Raw::OwnText;
                raw.text = own(fromUtf8(c.value));
                return;
            case 'b':
                if (c.value.empty()) return uncertain(raw, u"公式没有保存的结果");
                truth(c.value, raw);
                if (raw.kind == Raw::Boolean && raw.formula == Raw::Plain) raw.formula = Raw::Recalculated;
                return;
            case 'e':
                return errorValue(c.value, raw);
            default:
                return uncertain(raw, u"公式结果的类型异常");
        }
    }

    // Reports now and then, rows read of the rows expected (the dimension's, or as many as the part's
    // size suggests).
    void report() {
        if (!progress_ || (row_ & 1023) != 0) return;
        const auto now = std::chrono::steady_clock::now();
        if (now - lastReport_ < std::chrono::milliseconds(100)) return;
        lastReport_ = now;
        std::int64_t total = expectedRows_;
        if (total < row_ && bytes_ > 0 && scanner_->consumed() > 0)
            total = static_cast<std::int64_t>(static_cast<double>(row_) * static_cast<double>(bytes_) /
                                              static_cast<double>(scanner_->consumed()));
        progress_(row_, std::max<std::int64_t>(total, row_));
    }

    struct ColumnFormat {
        int min, max, format;
    };

    SheetReader& out_;
    const SheetContext& context_;
    const std::string& part_;
    const ReadProgress& progress_;
    UsedRows used_;
    XmlScanner* scanner_ = nullptr;
    std::uint64_t bytes_ = 0;
    std::int64_t expectedRows_ = 0;
    std::vector<ColumnFormat> columnFormats_;
    std::map<std::string, std::string> shared_;
    Cell cell_;
    int row_ = 0, column_ = 0, rowFormat_ = -1;
    std::chrono::steady_clock::time_point lastReport_ = std::chrono::steady_clock::now();
};

SheetReader::SheetReader(const SheetContext& context, const std::string& part, std::vector<int> columns,
                         const ReadProgress& progress)
    : context_(context) {
    for (const int c : columns) columns_[c];
    if (!part.empty()) SheetScan(*this, part, progress).run();
}

std::vector<CellValue> SheetReader::column(int column, std::int32_t rows) const {
    std::vector<CellValue> out(static_cast<std::size_t>(std::max(rows, 0)));
    const auto found = columns_.find(column);
    if (found == columns_.end()) throw Failure("column " + std::to_string(column) + " was not read");
    const auto& raws = found->second;
    for (std::size_t r = 0; r < out.size() && r < raws.size(); ++r) out[r] = value(raws[r]);
    return out;
}

CellValue SheetReader::cell(int column, std::int32_t row) const {
    const auto found = columns_.find(column);
    if (found == columns_.end()) throw Failure("column " + std::to_string(column) + " was not read");
    const auto index = static_cast<std::size_t>(row - 1);
    return row >= 1 && index < found->second.size() ? value(found->second[index]) : CellValue();
}

CellValue SheetReader::value(const Raw& raw) const {
    switch (raw.kind) {
        case Raw::Empty:
            return {};
        case Raw::SharedText:
            return CellValue::text(std::u16string(context_.strings.at(raw.text)));
        case Raw::OwnText:
            return CellValue::text(ownTexts_[raw.text]);
        case Raw::Error:
            return CellValue::error(ownTexts_[raw.text]);
        case Raw::Uncertain:
            throw NeedsOffice{"a cell the office may read otherwise", ownTexts_[raw.text]};
        case Raw::Number:
        case Raw::Boolean:
            break;
    }
    // A value that is no number has no equal, so that no run could match it.
    if (std::isnan(raw.number)) throw NeedsOffice{"a value that is not a number", u"单元格的数值不是数字"};
    static const auto kBoolean = std::make_shared<const NumberFormat>(NumberFormat{u"BOOLEAN", u""});
    const CellFormat& format = context_.formats.at(raw.format);
    // A truth value the office computes takes its own format where the cell's is the general one.
    const bool shownAsBoolean = raw.kind == Raw::Boolean && format.general;
    if (!shownAsBoolean && !format.uncertain.empty())
        throw NeedsOffice{"a number format the office may read otherwise", format.uncertain};
    CellValue v;
    if (shownAsBoolean) {
        v = CellValue::boolean(raw.number != 0);
        v.setFormat(kBoolean);
    } else if (format.date) {
        v = CellValue::date(raw.number + context_.dateOffset);
        v.setFormat(format.format);
    } else {
        v = CellValue::number(raw.number);
        v.setFormat(format.format);
    }
    // The office holds TRUE() and FALSE() as formulas, which the program reads as truth values.
    const bool numeric = v.kind() == CellValue::Kind::Number || v.kind() == CellValue::Kind::Boolean;
    if (numeric && raw.formula == Raw::TrueFormula) v = CellValue::boolean(true);
    if (numeric && raw.formula == Raw::FalseFormula) v = CellValue::boolean(false);
    return v;
}

}  // namespace sheets::xlsx
