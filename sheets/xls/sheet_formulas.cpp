// The formula pass: every place of a sheet whose formulas may refer to the edited sheet.
#include "sheets/xls/sheet_formulas.h"

#include <map>

#include "sheets/failure.h"
#include "sheets/xls/bytes.h"
#include "sheets/xls/compound_file.h"

namespace sheets::xls {
namespace {

[[noreturn]] void unsupported(const std::string& detail, std::u16string reason) {
    throw Unsupported(detail, std::move(reason));
}

void need(const std::string& data, std::size_t end) {
    if (end > data.size()) throw Damaged("a formula runs past its record");
}

class SheetFormulas {
public:
    SheetFormulas(bool edited, const Insertion& ins, const Globals& globals) : edited_(edited), ins_(ins) {
        place_.onEditedSheet = edited;
        place_.span = [this, &globals](int ixti) { return globals.span(ixti, ins_.sheet); };
        editedName_ = globals.sheets().at(static_cast<std::size_t>(ins.sheet)).name;
    }

    void run(std::vector<Record>& records) {
        for (std::size_t i = 0; i < records.size(); ++i) {
            if (records[i].type == rt::Txo) {
                const bool text = i + 1 < records.size() && records[i + 1].type == rt::Continue;
                textObject(records[i].data, text);
                continue;
            }
            std::size_t continues = 0;
            std::string data = joinedData(records, i, &continues);
            if (record(records[i].type, data)) {
                if (data.size() == joinedData(records, i).size()) {
                    splitData(records, i, data);
                } else {
                    if (continues) unsupported("a resized record with continuations", u"超链接无法移动");
                    records[i].data = std::move(data);
                }
            }
            i += continues;
        }
    }

private:
    // One record; true when its data changed.
    bool record(std::uint16_t type, std::string& data) {
        switch (type) {
            case rt::Formula: {
                auto place = kind(FormulaPlace::Kind::Cell);
                place.cellFormula = true;
                return formula(data, 20, place);
            }
            case rt::Array:
                return arrayFormula(data);
            case rt::ShrFmla:
                return sharedFormula(data);
            case rt::CondFmt:
                return conditionalRanges(data, 4, 12), false;
            case rt::CondFmt12:
                return conditionalRanges(data, 16, 24), false;
            case rt::CfEx:
                return formatExtension(data), false;
            case rt::Cf:
                return conditionalFormula(data);
            case rt::Cf12:
                return conditionalFormula12(data);
            case rt::Dv:
                return validation(data);
            case rt::HLink:
                return hyperlink(data);
            case rt::Obj:
                return object(data);
            case rt::Brai:
                return formula(data, 6, kind(FormulaPlace::Kind::Elsewhere));
            case rt::Table:
                if (edited_) unsupported("a data table on the edited sheet", u"工作表中有模拟运算表");
                return false;
            default:
                return false;
        }
    }

    FormulaPlace kind(FormulaPlace::Kind k, std::vector<int> bases = {}) const {
        FormulaPlace p = place_;
        p.kind = k;
        p.bases = std::move(bases);
        return p;
    }

    // A formula as cce (2 bytes) then its tokens and extra data, at `at`.
    bool formula(std::string& data, std::size_t at, const FormulaPlace& place, std::size_t skip = 0) {
        need(data, at + 2 + skip);
        const std::size_t cce = get16(data, at);
        std::string f = data.substr(at + 2 + skip);
        if (!shiftFormula(f, cce, ins_, place)) return false;
        data.replace(at + 2 + skip, f.size(), f);
        return true;
    }

    // A shared or array formula's range (RefU): a range cut by the insertion cannot stay one.
    void checkRange(const std::string& data, const char16_t* reason) const {
        need(data, 6);
        const int first = static_cast<unsigned char>(data[4]), last = static_cast<unsigned char>(data[5]);
        if (edited_ && first < ins_.at && ins_.at <= last)
            unsupported("the insertion cuts through a shared or array formula", reason);
    }

    bool arrayFormula(std::string& data) {
        checkRange(data, u"插入列会穿过数组公式");
        return formula(data, 12, kind(FormulaPlace::Kind::Cell));
    }

    bool sharedFormula(std::string& data) {
        checkRange(data, u"插入列会穿过共享公式");
        std::vector<int> bases;
        for (int c = static_cast<unsigned char>(data[4]); c <= static_cast<unsigned char>(data[5]); ++c)
            bases.push_back(c);
        return formula(data, 8, kind(FormulaPlace::Kind::Relative, std::move(bases)));
    }

    // The columns a rule's relative references count from: the first range's first cell, or the
    // bounding range's (readers differ); both must give the same result.
    static std::vector<int> basesOf(const std::string& data, std::size_t bound, std::size_t list) {
        need(data, list + 2);
        std::vector<int> bases{get16(data, bound + 4)};
        if (get16(data, list) > 0) {
            need(data, list + 10);
            bases.push_back(get16(data, list + 6));
        }
        return bases;
    }

    void conditionalRanges(const std::string& data, std::size_t bound, std::size_t list) {
        bases_ = basesOf(data, bound, list);
        if (data.size() >= 2 && bound == 4) basesById_[get16(data, 2) >> 1] = bases_;
    }

    void formatExtension(const std::string& data) {
        need(data, 18);
        if (const auto it = basesById_.find(get16(data, 16)); it != basesById_.end()) bases_ = it->second;
    }

    bool conditionalFormula(std::string& data) {
        need(data, 6);
        const std::size_t cce1 = get16(data, 2), cce2 = get16(data, 4);
        need(data, 6 + cce1 + cce2);
        return twoFormulas(data, data.size() - cce1 - cce2, cce1, cce2);
    }

    // Two formulas of a rule, one after the other, without extra data.
    bool twoFormulas(std::string& data, std::size_t at, std::size_t cce1, std::size_t cce2) {
        const auto place = kind(FormulaPlace::Kind::Relative, bases_);
        bool changed = false;
        for (const auto& [start, cce] : {std::pair{at, cce1}, std::pair{at + cce1, cce2}}) {
            if (cce == 0) continue;
            std::string f = data.substr(start, cce);
            if (shiftFormula(f, cce, ins_, place)) data.replace(start, cce, f), changed = true;
        }
        return changed;
    }

    // An Excel 2007 rule: its formulas after its own formatting, then the formula that makes it
    // active, then the thresholds of a colour scale, data bar or icon set.
    bool conditionalFormula12(std::string& data) {
        need(data, 22);
        const std::size_t cce1 = get16(data, 14), cce2 = get16(data, 16), dxf = get32(data, 18);
        const std::size_t at = 22 + (dxf == 0 ? 2 : dxf);
        need(data, at + cce1 + cce2 + 2);
        bool changed = twoFormulas(data, at, cce1, cce2);
        std::size_t pos = at + cce1 + cce2;
        const std::size_t active = get16(data, pos);
        changed |= twoFormulas(data, pos + 2, active, 0);
        pos += 2 + active + 6;
        need(data, pos);
        pos += static_cast<unsigned char>(data[pos - 1]);
        return thresholds(data, static_cast<unsigned char>(data[12]), pos) || changed;
    }

    // The thresholds' formulas (absolute references only).
    bool thresholds(std::string& data, int type, std::size_t pos) {
        int count = 0;
        std::size_t after = 0;  // bytes after each threshold's value
        if (type == 3) {        // colour scale
            need(data, pos + 6);
            count = static_cast<unsigned char>(data[pos + 3]);
            pos += 6, after = 8;
        } else if (type == 4) {  // data bar: options, then its colour
            pos += 6 + 16, count = 2;
        } else if (type == 6) {  // icon set
            need(data, pos + 6);
            count = static_cast<unsigned char>(data[pos + 3]);
            pos += 6, after = 5;
        }
        bool changed = false;
        for (int k = 0; k < count; ++k) {
            need(data, pos + 3);
            const int valueType = static_cast<unsigned char>(data[pos]);
            const std::size_t cce = get16(data, pos + 1);
            need(data, pos + 3 + cce);
            std::string f = data.substr(pos + 3, cce);
            if (cce && shiftFormula(f, cce, ins_, kind(FormulaPlace::Kind::Cell)))
                data.replace(pos + 3, cce, f), changed = true;
            pos += 3 + cce + (cce == 0 && valueType != 2 && valueType != 3 ? 8 : 0) + after;
        }
        return changed;
    }

    // A validation: flags, four texts, two formulas (cce, 2 unused bytes, tokens), its ranges.
    bool validation(std::string& data) {
        std::size_t pos = 4;
        for (int k = 0; k < 4; ++k) pos += readString(data, pos).size;
        need(data, pos + 4);
        const std::size_t first = pos, cce1 = get16(data, pos);
        const std::size_t second = first + 4 + cce1;
        need(data, second + 4);
        const std::size_t ranges = second + 4 + get16(data, second);
        need(data, ranges + 2);
        const std::vector<int> bases = boundingBases(data, ranges);
        const auto place = kind(FormulaPlace::Kind::Relative, bases);
        bool changed = formula(data, first, place, 2);
        return formula(data, second, place, 2) || changed;
    }

    static std::vector<int> boundingBases(const std::string& data, std::size_t ranges) {
        const std::size_t count = get16(data, ranges);
        need(data, ranges + 2 + 8 * count);
        if (count == 0) return {};
        int leftmost = get16(data, ranges + 2 + 4);
        for (std::size_t k = 1; k < count; ++k)
            leftmost = std::min<int>(leftmost, get16(data, ranges + 2 + 8 * k + 4));
        return {get16(data, ranges + 2 + 4), leftmost};
    }

    // A hyperlink to a place in this workbook (no moniker, a location): its text follows the cells.
    bool hyperlink(std::string& data) {
        need(data, 32);
        const std::uint32_t flags = get32(data, 28);
        if ((flags & 0x01) || !(flags & 0x08)) return false;
        std::size_t pos = 32;
        const auto text = [&](std::size_t p) {
            need(data, p + 4);
            const std::size_t chars = get32(data, p);
            need(data, p + 4 + 2 * chars);
            return chars;
        };
        if (flags & 0x10) pos += 4 + 2 * text(pos);
        if (flags & 0x80) pos += 4 + 2 * text(pos);
        const std::size_t chars = text(pos);
        std::u16string location;
        for (std::size_t k = 0; k < chars; ++k)
            location += static_cast<char16_t>(get16(data, pos + 4 + 2 * k));
        const bool terminated = !location.empty() && location.back() == 0;
        if (terminated) location.pop_back();
        const auto moved = shiftLocation(location, editedName_, edited_, ins_);
        if (!moved) return false;
        std::string bytes;
        append32(bytes, static_cast<std::uint32_t>(moved->size() + (terminated ? 1 : 0)));
        for (const char16_t c : *moved) append16(bytes, c);
        if (terminated) append16(bytes, 0);
        data.replace(pos, 4 + 2 * chars, bytes);
        return true;
    }

    // An object's formulas: a macro, a picture's link, the cell a control is linked to, a list's range.
    bool object(std::string& data) {
        bool changed = false;
        for (std::size_t pos = 0; pos + 4 <= data.size();) {
            const int ft = get16(data, pos);
            const std::size_t cb = get16(data, pos + 2);
            if (ft == 0x00) break;
            if (ft == 0x04 || ft == 0x09 || ft == 0x0E || ft == 0x13 || ft == 0x14)
                changed |= objectFormula(data, pos + 4);
            if (ft == 0x13) break;  // a list's data, whose size depends on the object: always the last
            pos += 4 + cb;
        }
        return changed;
    }

    // cbFmla, then (when not empty) cce, 4 unused bytes, the tokens.
    bool objectFormula(std::string& data, std::size_t at) {
        need(data, at + 2);
        if (get16(data, at) == 0) return false;
        need(data, at + 8);
        return formula(data, at + 2, kind(FormulaPlace::Kind::Cell), 4);
    }

    // A text box's link to a cell ends its TXO record; where it starts depends on the object type
    // (optional fields before the text's length), so it is taken where its length fits the record's
    // end and the text's length agrees with the text that follows (`text`).
    void textObject(std::string& data, bool text) {
        int found = -1;
        for (const std::size_t at : {10u, 16u, 22u}) {
            const bool fits = at + 2 <= data.size() && at + 2 + get16(data, at) == data.size();
            if (!fits || (get16(data, at - 6) != 0) != text) continue;
            if (found >= 0) unsupported("an ambiguous text box link", u"文本框的单元格链接无法识别");
            found = static_cast<int>(at);
        }
        if (found < 0) unsupported("an unreadable text box", u"文本框的单元格链接无法识别");
        objectFormula(data, static_cast<std::size_t>(found));
    }

    bool edited_;
    const Insertion& ins_;
    FormulaPlace place_;
    std::u16string editedName_;
    std::vector<int> bases_;
    std::map<int, std::vector<int>> basesById_;
};

std::u16string lower(std::u16string s) {
    for (auto& c : s)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    return s;
}

// "$AB$12" -> column 27 (from 0); -1 when it is not a cell, or only letters when `columnOnly`.
int columnOfPart(std::u16string_view part, bool& columnOnly, std::size_t& letters) {
    std::size_t i = part.size() > 0 && part[0] == u'$' ? 1 : 0;
    const std::size_t start = i;
    int column = 0;
    while (i < part.size() &&
           ((part[i] >= u'A' && part[i] <= u'Z') || (part[i] >= u'a' && part[i] <= u'z'))) {
        column = column * 26 + ((part[i] | 0x20) - u'a' + 1);
        ++i;
    }
    letters = i;
    if (i == start || i - start > 3) return -1;
    columnOnly = i == part.size();
    if (!columnOnly) {
        if (part[i] == u'$') ++i;
        if (i == part.size()) return -1;
        for (; i < part.size(); ++i)
            if (part[i] < u'0' || part[i] > u'9') return -1;
    }
    return column - 1;
}

std::u16string columnLetters(int column) {
    std::u16string out;
    for (++column; column > 0; column = (column - 1) / 26)
        out.insert(out.begin(), static_cast<char16_t>(u'A' + (column - 1) % 26));
    return out;
}

}  // namespace

void shiftSheetFormulas(Substream& sheet, bool edited, const Insertion& insertion, const Globals& globals) {
    if (insertion.count == 0) return;
    SheetFormulas(edited, insertion, globals).run(sheet.records);
}

namespace {

// "'It''s'!A1" -> the sheet "It's" and where the cells begin; "A1" -> no sheet. False when a quoted
// sheet name is not followed by "!".
bool splitLocation(const std::u16string& location, std::u16string& sheet, std::size_t& cellsAt) {
    cellsAt = 0;
    if (location.empty() || location[0] != u'\'') {
        const auto bang = location.find(u'!');
        if (bang != std::u16string::npos) sheet = location.substr(0, bang), cellsAt = bang + 1;
        return true;
    }
    std::size_t i = 1;
    for (; i < location.size(); ++i) {
        if (location[i] != u'\'') {
            sheet += location[i];
        } else if (i + 1 < location.size() && location[i + 1] == u'\'') {
            sheet += location[++i];
        } else {
            break;
        }
    }
    cellsAt = i + 2;
    return i + 1 < location.size() && location[i + 1] == u'!';
}

// One end of a place's range ("$B$3", "C"), its column moved; nothing for whole rows or a name.
std::optional<std::u16string> shiftedEnd(std::u16string_view piece, const Insertion& insertion) {
    bool columnOnly = false;
    std::size_t letters = 0;
    const int column = columnOfPart(piece, columnOnly, letters);
    if (column < 0) return std::nullopt;
    const int moved = insertion.shift(column);
    if (moved > kLastColumn)
        throw Unsupported("a hyperlink pushed off the sheet", u"插入列会把超链接推出工作表");
    return std::u16string(piece.substr(0, piece[0] == u'$' ? 1 : 0)) + columnLetters(moved) +
           std::u16string(piece.substr(letters));
}

}  // namespace

std::optional<std::u16string> shiftLocation(const std::u16string& location, const std::u16string& editedName,
                                            bool onEditedSheet, const Insertion& insertion) {
    std::u16string sheet;
    std::size_t cellsAt = 0;
    if (!splitLocation(location, sheet, cellsAt)) return std::nullopt;
    if (!(cellsAt ? lower(sheet) == lower(editedName) : onEditedSheet)) return std::nullopt;
    const std::u16string_view cells = std::u16string_view(location).substr(cellsAt);
    const auto colon = cells.find(u':');
    const auto first = shiftedEnd(cells.substr(0, colon), insertion);
    if (!first) {
        const bool rows = cells.find_first_not_of(u"$0123456789:") == std::u16string_view::npos;
        if (rows || colon == std::u16string_view::npos) return std::nullopt;  // whole rows or a name
        throw Unsupported("cannot read the hyperlink place", u"超链接的位置无法识别");
    }
    std::u16string out = location.substr(0, cellsAt) + *first;
    if (colon != std::u16string_view::npos) {
        const auto last = shiftedEnd(cells.substr(colon + 1), insertion);
        if (!last) throw Unsupported("cannot read the hyperlink place", u"超链接的位置无法识别");
        out += u':' + *last;
    }
    return out == location ? std::nullopt : std::optional<std::u16string>(out);
}

}  // namespace sheets::xls
