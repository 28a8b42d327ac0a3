#include "sheets/xlsx/reference_shift.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <optional>

#include "sheets/xlsx/xlsx_writer.h"

namespace sheets::xlsx {
namespace {

[[noreturn]] void unsupported(std::string_view formula, std::string_view why) {
    throw Unsupported("cannot shift the references of \"" + std::string(formula) + "\": " + std::string(why),
                      u"公式中有无法确定的引用");
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (auto& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool isAlpha(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) != 0;
}
bool isDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}
bool isWordChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    return std::isalnum(u) || c == '_' || c == '.' || c == '\\' || c == '?' || c == '$' || u >= 0x80;
}

// One end of a reference: "$B$7", "C", "$12".
struct RefPart {
    int column = 0;  // 0: none (a row range)
    int row = 0;     // 0: none (a column range)
    bool columnAbsolute = false;
    bool rowAbsolute = false;
};

bool parseDigits(std::string_view s, int& value) {
    if (s.empty() || s.size() > 7 || !std::all_of(s.begin(), s.end(), isDigit) || s[0] == '0') return false;
    value = std::stoi(std::string(s));
    return value >= 1 && value <= kMaxRow;
}

// "$A$1" -> both; "$A" -> column; "$1" -> row, as `want` asks.
enum class PartKind { Cell, Column, Row };
bool parsePart(std::string_view w, PartKind want, RefPart& p) {
    std::size_t i = 0;
    if (want != PartKind::Row) {
        if (i < w.size() && w[i] == '$') p.columnAbsolute = true, ++i;
        const auto start = i;
        while (i < w.size() && isAlpha(w[i])) ++i;
        p.column = columnNumber(w.substr(start, i - start));
        if (p.column == 0) return false;
        if (want == PartKind::Column) return i == w.size();
    }
    if (i < w.size() && w[i] == '$') p.rowAbsolute = true, ++i;
    return parseDigits(w.substr(i), p.row);
}

std::string partText(const RefPart& p) {
    std::string out;
    if (p.column) {
        if (p.columnAbsolute) out += '$';
        out += columnName(p.column);
    }
    if (p.row) {
        if (p.rowAbsolute) out += '$';
        out += std::to_string(p.row);
    }
    return out;
}

void appendRaw(std::string& list, std::string_view item) {
    if (!list.empty()) list += ' ';
    list.append(item);
}

// One item of a range list: "B2", or "B2:C3" when the ends differ or the item was a range.
void appendItem(std::string& list, const RefPart& a, const RefPart* b) {
    if (!list.empty()) list += ' ';
    list += partText(a);
    if (!b) return;
    list += ':';
    list += partText(*b);
}

// What precedes a reference's "!".
struct Qualifier {
    enum class Kind { None, Sheet, Sheets, External } kind = Kind::None;
    std::string first, last;
};

// A shared formula's relative reference on both sides of the insertion: its places would need
// different texts.
struct Straddles {};

// What a reference of a formula becomes: moved past an insertion, or moved along with the formula
// to another cell (a shared formula's text for one of its other places).
struct Translation {
    int rows = 0, columns = 0;
};

class FormulaShifter {
public:
    FormulaShifter(std::string_view f, const ColumnInsertion& ins, const std::string* own, int spread)
        : s_(f), ins_(ins), own_(own), spread_(spread) {}
    FormulaShifter(std::string_view f, Translation by) : FormulaShifter(f, kNoInsertion, nullptr, 0) {
        translation_ = by;
    }

    std::string run() {
        while (pos_ < s_.size()) step();
        return out_;
    }

private:
    char peek(std::size_t ahead = 0) const { return pos_ + ahead < s_.size() ? s_[pos_ + ahead] : '\0'; }
    [[noreturn]] void fail(std::string_view why) const { unsupported(s_, why); }

    void step() {
        const char c = peek();
        if (c == '"') return copyString();
        if (c == '\'') return quotedQualifier();
        if (c == '[') return bracketAtStart();
        if (c == '{') return copyArray();
        if (c == '#') return copyError();
        if (isWordChar(c)) return word();
        if (std::string_view(" \t\r\n+-*/^&=<>%,;():").find(c) == std::string_view::npos)
            fail("unexpected character");
        out_ += c;
        ++pos_;
    }

    void copyString() {
        const auto start = pos_++;
        for (;;) {
            if (pos_ >= s_.size()) fail("unterminated string");
            if (s_[pos_++] != '"') continue;
            if (peek() != '"') break;
            ++pos_;
        }
        out_.append(s_.substr(start, pos_ - start));
    }

    void copyArray() {
        while (peek() != '}') {
            if (pos_ >= s_.size()) fail("unterminated array");
            if (peek() == '"') {
                copyString();
            } else {
                out_ += s_[pos_++];
            }
        }
        out_ += s_[pos_++];
    }

    void copyError() {
        static constexpr std::array errors{"#NULL!",  "#DIV/0!",   "#VALUE!",       "#REF!",   "#NAME?",
                                           "#NUM!",   "#N/A",      "#GETTING_DATA", "#SPILL!", "#CALC!",
                                           "#FIELD!", "#BLOCKED!", "#CONNECT!",     "#BUSY!",  "#UNKNOWN!"};
        for (std::string_view e : errors) {
            if (lower(s_.substr(pos_, e.size())) == lower(e)) {
                out_.append(s_.substr(pos_, e.size()));
                pos_ += e.size();
                return;
            }
        }
        fail("unknown error literal");
    }

    // Balanced brackets of a structured reference; ' escapes the next character inside.
    void copyBrackets() {
        int depth = 0;
        do {
            if (pos_ >= s_.size()) fail("unterminated structured reference");
            const char c = s_[pos_];
            if (c == '\'') {
                out_ += c;
                ++pos_;
                if (pos_ >= s_.size()) fail("unterminated structured reference");
            } else if (c == '[') {
                ++depth;
            } else if (c == ']') {
                --depth;
            }
            out_ += s_[pos_++];
        } while (depth > 0);
    }

    // "[1]Sheet!A1" (another workbook, left alone) or "[@Col]" (a structured reference).
    void bracketAtStart() {
        const auto close = s_.find(']', pos_);
        const auto inside =
            close == std::string_view::npos ? std::string_view{} : s_.substr(pos_ + 1, close - pos_ - 1);
        if (inside.empty() || !std::all_of(inside.begin(), inside.end(), isDigit)) return copyBrackets();
        out_.append(s_.substr(pos_, close + 1 - pos_));
        pos_ = close + 1;
        const auto name = readWord();
        out_.append(name);
        if (peek() == ':') {  // [1]Sheet1:Sheet3!
            out_ += s_[pos_++];
            out_.append(readWord());
        }
        if (peek() != '!') return;
        out_ += s_[pos_++];
        qualifiedItem(Qualifier{Qualifier::Kind::External, {}, {}});
    }

    void quotedQualifier() {
        const auto start = pos_++;
        std::string name;
        for (;;) {
            if (pos_ >= s_.size()) fail("unterminated sheet name");
            const char c = s_[pos_++];
            if (c == '\'') {
                if (peek() != '\'') break;
                ++pos_;
            }
            name += c;
        }
        if (peek() != '!') fail("quoted name without '!'");
        ++pos_;
        out_.append(s_.substr(start, pos_ - start));
        qualifiedItem(qualifierOf(name));
    }

    static Qualifier qualifierOf(const std::string& name) {
        if (!name.empty() && name[0] == '[') return {Qualifier::Kind::External, {}, {}};
        const auto colon = name.find(':');
        if (colon == std::string::npos) return {Qualifier::Kind::Sheet, name, name};
        return {Qualifier::Kind::Sheets, name.substr(0, colon), name.substr(colon + 1)};
    }

    std::string_view readWord() {
        const auto start = pos_;
        while (pos_ < s_.size() && isWordChar(s_[pos_])) ++pos_;
        return s_.substr(start, pos_ - start);
    }

    void word() {
        const auto start = pos_;
        const auto w = readWord();
        if (isDigit(w[0]) || w[0] == '.') return numberOrRows(w, Qualifier{});
        if (peek() == '(') {
            out_.append(w);
            return;
        }
        if (peek() == '!') {
            ++pos_;
            out_.append(s_.substr(start, pos_ - start));
            return qualifiedItem(Qualifier{Qualifier::Kind::Sheet, std::string(w), std::string(w)});
        }
        if (peek() == ':') {  // Sheet1:Sheet3!A1
            const auto save = pos_;
            ++pos_;
            const auto w2 = readWord();
            if (!w2.empty() && peek() == '!') {
                ++pos_;
                out_.append(s_.substr(start, pos_ - start));
                return qualifiedItem(Qualifier{Qualifier::Kind::Sheets, std::string(w), std::string(w2)});
            }
            pos_ = save;
        }
        reference(w, Qualifier{});
    }

    void numberOrRows(std::string_view w, const Qualifier& q) {
        if (tryRange(w, PartKind::Row, q)) return;
        if (q.kind != Qualifier::Kind::None) fail("a number after a sheet name");
        out_.append(w);
        const bool exponent = (w.back() == 'E' || w.back() == 'e') && (peek() == '+' || peek() == '-');
        if (exponent) {
            out_ += s_[pos_++];
            out_.append(readWord());
        }
    }

    void qualifiedItem(const Qualifier& q) {
        if (peek() == '#') return copyError();
        const auto w = readWord();
        if (w.empty()) fail("nothing after '!'");
        if (isDigit(w[0])) {
            if (!tryRange(w, PartKind::Row, q)) fail("a number after a sheet name");
            return;
        }
        reference(w, q);
    }

    // A cell, a range of cells, a column range, a row range or a name, its qualifier already read.
    void reference(std::string_view w, const Qualifier& q) {
        if (tryRange(w, PartKind::Cell, q) || tryRange(w, PartKind::Column, q) ||
            tryRange(w, PartKind::Row, q))
            return;
        RefPart cell;
        if (parsePart(w, PartKind::Cell, cell)) {
            out_ += shifted(cell, q, false);
            return;
        }
        if (w.find('$') != std::string_view::npos) fail("'$' outside a reference");
        out_.append(w);  // a name or function-less word (TRUE, a defined name, a table name)
        if (peek() == '[') copyBrackets();
    }

    // w ':' w2 with both ends of the kind; consumes and writes it when it is one.
    bool tryRange(std::string_view w, PartKind kind, const Qualifier& q) {
        RefPart a, b;
        if (!parsePart(w, kind, a) || peek() != ':') return false;
        const auto save = pos_++;
        const auto w2 = readWord();
        if (!parsePart(w2, kind, b) || peek() == '!' || peek() == '(') {
            pos_ = save;
            return false;
        }
        if (kind == PartKind::Row && translation_) {
            out_ += partText(translated(a)) + ":" + partText(translated(b));
            return true;
        }
        if (kind == PartKind::Row) {
            touches(q);  // a 3-D range across the edited sheet is refused here too
            out_.append(w).append(":").append(w2);
            return true;
        }
        if (kind == PartKind::Cell && a.column == 1 && b.column == kMaxColumn && !translation_) {
            touches(q);  // whole rows written as cells (A1:XFD1) keep their place too
            out_.append(w).append(":").append(w2);
            return true;
        }
        out_ += shifted(a, q, false) + ":" + shifted(b, q, true);
        return true;
    }

    bool touches(const Qualifier& q) {
        switch (q.kind) {
            case Qualifier::Kind::None:
                if (!own_) fail("a reference without a sheet");
                return ins_.isSheet(*own_);
            case Qualifier::Kind::Sheet:
                return ins_.isSheet(q.first);
            case Qualifier::Kind::External:
                return false;
            case Qualifier::Kind::Sheets:
                break;
        }
        if (ins_.isSheet(q.first) && ins_.isSheet(q.last)) return true;
        const auto index = [&](const std::string& name) {
            for (std::size_t i = 0; i < ins_.sheetOrder.size(); ++i) {
                if (lower(ins_.sheetOrder[i]) == lower(name)) return static_cast<int>(i);
            }
            fail("a 3-D reference to an unknown sheet");
        };
        // A 3-D reference names the same cells on every sheet it spans: an insertion into one of them
        // leaves it as it is, in Excel as in the office.
        for (const auto& name : {q.first, q.last}) index(name);  // a sheet the workbook lacks is refused
        return false;
    }

    std::string shifted(RefPart p, const Qualifier& q, bool rangeEnd) {
        if (translation_) return partText(translated(p));
        if (!touches(q)) return partText(p);
        if (!p.columnAbsolute && p.column < ins_.at && ins_.at <= p.column + spread_) throw Straddles{};
        if (!(rangeEnd && p.column == kMaxColumn)) p.column = ins_.shift(p.column);
        if (p.column > kMaxColumn) fail("a reference pushed off the sheet");
        return partText(p);
    }

    RefPart translated(RefPart p) const {
        if (p.column && !p.columnAbsolute) p.column += translation_->columns;
        if (p.row && !p.rowAbsolute) p.row += translation_->rows;
        if ((p.column && (p.column < 1 || p.column > kMaxColumn)) ||
            (p.row && (p.row < 1 || p.row > kMaxRow)))
            fail("a reference moved off the sheet");
        return p;
    }

    static inline const ColumnInsertion kNoInsertion{};
    std::string_view s_;
    const ColumnInsertion& ins_;
    const std::string* own_;
    int spread_;
    std::optional<Translation> translation_;
    std::size_t pos_ = 0;
    std::string out_;
};

}  // namespace

bool ColumnInsertion::isSheet(std::string_view name) const {
    return lower(name) == lower(sheet);
}

int columnNumber(std::string_view letters) {
    if (letters.empty() || letters.size() > 3) return 0;
    int n = 0;
    for (char c : letters) {
        if (!isAlpha(c)) return 0;
        n = n * 26 + (std::toupper(static_cast<unsigned char>(c)) - 'A' + 1);
    }
    return n <= kMaxColumn ? n : 0;
}

std::string columnName(int column) {
    std::string out;
    for (; column > 0; column = (column - 1) / 26)
        out.insert(out.begin(), static_cast<char>('A' + (column - 1) % 26));
    return out;
}

bool parseCell(std::string_view text, int& column, int& row) {
    RefPart p;
    if (text.find('$') != std::string_view::npos || !parsePart(text, PartKind::Cell, p)) return false;
    column = p.column;
    row = p.row;
    return true;
}

std::string shiftFormula(std::string_view formula, const ColumnInsertion& insertion,
                         const std::string* ownSheet, int spread) {
    if (insertion.count == 0) return std::string(formula);
    try {
        return FormulaShifter(formula, insertion, ownSheet, spread).run();
    } catch (const Straddles&) {
        unsupported(formula, "a relative reference of a shared formula on both sides of the insertion");
    }
}

std::optional<std::string> shiftSharedFormula(std::string_view formula, const ColumnInsertion& insertion,
                                              const std::string* ownSheet, int spread) {
    try {
        return shiftFormula(formula, insertion, ownSheet, spread);
    } catch (const Unsupported&) {
        try {
            FormulaShifter(formula, insertion, ownSheet, spread).run();
        } catch (const Straddles&) {
            return std::nullopt;
        }
        throw;
    }
}

std::string translateFormula(std::string_view formula, int rows, int columns) {
    return FormulaShifter(formula, Translation{rows, columns}).run();
}

std::string shiftSqref(std::string_view sqref, const ColumnInsertion& insertion, Spanning spanning) {
    std::string out;
    std::size_t pos = 0;
    while (pos < sqref.size()) {
        auto end = sqref.find(' ', pos);
        if (end == std::string_view::npos) end = sqref.size();
        const auto item = sqref.substr(pos, end - pos);
        pos = end + 1;
        if (item.empty()) continue;
        const auto colon = item.find(':');
        const auto first = item.substr(0, colon);
        const auto second = colon == std::string_view::npos ? first : item.substr(colon + 1);
        const auto both = [&](PartKind kind, RefPart& a, RefPart& b) {
            a = b = {};
            return parsePart(first, kind, a) && parsePart(second, kind, b);
        };
        RefPart a, b;
        if (both(PartKind::Row, a, b)) {  // whole rows keep their place
            if (spanning == Spanning::Covers) {
                appendRaw(out, item);
                continue;
            }
            a.column = 1, b.column = kMaxColumn;
        } else if (!both(PartKind::Cell, a, b) && !both(PartKind::Column, a, b)) {
            throw Unsupported("cannot read the range list \"" + std::string(sqref) + "\"", u"区域无法识别");
        }
        const bool range = colon != std::string_view::npos;
        if (a.column == 1 && b.column == kMaxColumn && spanning == Spanning::Covers) {
            appendRaw(out, item);  // every column of its rows, before as after
            continue;
        }
        if (spanning == Spanning::LeavesOut && a.column < insertion.at && insertion.at <= b.column) {
            RefPart left = b;
            left.column = insertion.at - 1;
            appendItem(out, a, left.column == a.column && left.row == a.row ? nullptr : &left);
            a.column = insertion.at;
        }
        a.column = insertion.shift(a.column);
        if (b.column != kMaxColumn || !range) b.column = insertion.shift(b.column);
        if (a.column > kMaxColumn) continue;
        b.column = std::min(b.column, kMaxColumn);
        appendItem(out, a, range || a.row != b.row || a.column != b.column ? &b : nullptr);
    }
    return out;
}

std::string shiftCellAddress(std::string_view cell, const ColumnInsertion& insertion) {
    int column = 0, row = 0;
    if (!parseCell(cell, column, row)) {
        throw Unsupported("cannot read the cell address \"" + std::string(cell) + "\"",
                          u"单元格地址无法识别");
    }
    column = insertion.shift(column);
    if (column > kMaxColumn) {
        throw Unsupported("cell " + std::string(cell) + " would be pushed off the sheet",
                          u"插入列会把单元格推出工作表");
    }
    return columnName(column) + std::to_string(row);
}

}  // namespace sheets::xlsx
