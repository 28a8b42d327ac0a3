#include "sheets/xls/formula.h"

#include <optional>

#include "sheets/failure.h"
#include "sheets/xls/bytes.h"
#include "sheets/xls/compound_file.h"

namespace sheets::xls {
namespace {

[[noreturn]] void unsupported(const std::string& why) {
    throw Unsupported("cannot shift a formula: " + why, u"公式中有无法确定的引用");
}

// The column field of a reference: the column in the low byte (an offset when relative and read
// as one), the relative flags in the top bits. Bits 8-13 are kept as the file has them: zero, or
// the sign of an offset.
struct ColumnField {
    std::uint16_t raw;
    bool relative() const { return raw & 0x4000; }
    int low() const { return raw & 0xFF; }
    bool signBits() const { return (raw & 0x3F00) != 0; }
};

class Shifter {
public:
    Shifter(std::string& f, std::size_t cce, const Insertion& ins, const FormulaPlace& place)
        : f_(f), cce_(cce), ins_(ins), place_(place) {}

    bool run() {
        if (cce_ > f_.size()) throw Damaged("a formula longer than its record");
        std::size_t extra = cce_;
        for (std::size_t pos = 0; pos < cce_;) pos = token(pos, extra);
        return changed_;
    }

    std::size_t extraEnd() {
        std::size_t extra = cce_;
        for (std::size_t pos = 0; pos < cce_;) pos = skip(pos, &extra);
        return extra;
    }

private:
    void need(std::size_t end, std::size_t limit) const {
        if (end > limit) throw Damaged("a formula token runs past its formula");
    }

    // The end of the token at pos, its extra data (if asked for) consumed from `extra`.
    std::size_t skip(std::size_t pos, std::size_t* extra) {
        const int ptg = static_cast<unsigned char>(f_[pos]);
        if (ptg >= 0x80) unsupported("an unknown token");
        const int base = ptg >= 0x20 ? (ptg & 0x1F) | 0x20 : ptg;
        std::size_t size = 0;
        switch (base) {
            case 0x01:
            case 0x02:
                size = 5;
                break;  // exp, tbl
            case 0x03:
            case 0x04:
            case 0x05:
            case 0x06:
            case 0x07:
            case 0x08:
            case 0x09:
            case 0x0A:
            case 0x0B:
            case 0x0C:
            case 0x0D:
            case 0x0E:
            case 0x0F:
            case 0x10:
            case 0x11:
            case 0x12:
            case 0x13:
            case 0x14:
            case 0x15:
            case 0x16:
                size = 1;
                break;    // operators, missing argument
            case 0x17: {  // string
                need(pos + 3, cce_);
                const std::size_t chars = static_cast<unsigned char>(f_[pos + 1]);
                size = 3 + chars * ((f_[pos + 2] & 1) ? 2 : 1);
                break;
            }
            case 0x19: {  // attribute
                need(pos + 4, cce_);
                size = 4;
                if (f_[pos + 1] & 0x04) size += 2 * (std::size_t{get16(f_, pos + 2)} + 1);
                break;
            }
            case 0x1C:
            case 0x1D:
                size = 2;
                break;  // error, boolean
            case 0x1E:
                size = 3;
                break;  // integer
            case 0x1F:
                size = 9;
                break;  // number
            case 0x20:
                size = 8;
                if (extra) arrayData(*extra);
                break;  // array
            case 0x21:
                size = 3;
                break;  // function
            case 0x22:
                size = 4;
                break;  // variable function
            case 0x23:
                size = 5;
                break;  // name
            case 0x24:
            case 0x2B:
            case 0x2C:
                size = 5;
                break;  // ref, refErr, refN
            case 0x25:
            case 0x2D:
            case 0x2E:
                size = 9;
                break;  // area, areaErr, areaN
            case 0x26:
                if (extra) memData(*extra);
                [[fallthrough]];  // memArea
            case 0x27:
            case 0x28:
                size = 7;
                break;  // memErr, memNoMem
            case 0x29:
                size = 3;
                break;  // memFunc
            case 0x39:
                size = 7;
                break;  // nameX
            case 0x3A:
            case 0x3C:
                size = 7;
                break;  // ref3d, refErr3d
            case 0x3B:
            case 0x3D:
                size = 11;
                break;  // area3d, areaErr3d
            default:
                unsupported("an unknown token 0x" + std::to_string(ptg));
        }
        need(pos + size, cce_);
        return pos + size;
    }

    void arrayData(std::size_t& extra) {
        need(extra + 3, f_.size());
        const std::size_t values = (std::size_t{static_cast<unsigned char>(f_[extra])} + 1) *
                                   (std::size_t{get16(f_, extra + 1)} + 1);
        extra += 3;
        for (std::size_t i = 0; i < values; ++i) {
            need(extra + 1, f_.size());
            const int type = static_cast<unsigned char>(f_[extra]);
            if (type == 0x02) {
                need(extra + 4, f_.size());
                extra += 4 + std::size_t{get16(f_, extra + 1)} * ((f_[extra + 3] & 1) ? 2 : 1);
            } else if (type == 0x00 || type == 0x01 || type == 0x04 || type == 0x10) {
                extra += 9;
            } else {
                throw Damaged("an unknown array value");
            }
        }
        need(extra, f_.size());
    }

    void memData(std::size_t& extra) {
        need(extra + 2, f_.size());
        memAreas_.push_back(extra);
        extra += 2 + 8 * std::size_t{get16(f_, extra)};
        need(extra, f_.size());
    }

    std::size_t token(std::size_t pos, std::size_t& extra) {
        const auto memBefore = memAreas_.size();
        const std::size_t next = skip(pos, &extra);
        const int ptg = static_cast<unsigned char>(f_[pos]);
        const int base = ptg >= 0x20 ? (ptg & 0x1F) | 0x20 : ptg;
        switch (base) {
            case 0x01:
            case 0x02:
                return tableBase(pos), next;
            case 0x24:
                reference(pos + 3, std::nullopt, false);
                break;
            case 0x2C:
                reference(pos + 3, std::nullopt, true);
                break;
            case 0x25:
                area(pos + 1, std::nullopt, false);
                break;
            case 0x2D:
                area(pos + 1, std::nullopt, true);
                break;
            case 0x3A:
                reference(pos + 5, get16(f_, pos + 1), false);
                break;
            case 0x3B:
                area(pos + 3, get16(f_, pos + 1), false);
                break;
            case 0x26:
                memArea(pos, memAreas_[memBefore]);
                break;
            default:
                break;
        }
        return next;
    }

    // Whether references through ixti (or without a sheet) move, or must be refused when they would.
    SheetSpan spanOf(std::optional<int> ixti) const {
        if (ixti) return place_.span(*ixti);
        switch (place_.kind) {
            case FormulaPlace::Kind::Name:
                return SheetSpan::Unknown;
            case FormulaPlace::Kind::Elsewhere:
                return SheetSpan::Unknown;
            default:
                return place_.onEditedSheet ? SheetSpan::Edited : SheetSpan::Other;
        }
    }

    // Relative parts of this token read as offsets from the formula's cell.
    bool offsets(bool nToken, std::optional<int> ixti) const {
        if (nToken) return true;
        return ixti && place_.kind == FormulaPlace::Kind::Relative;
    }

    void tableBase(std::size_t pos) {
        if (!place_.onEditedSheet || !place_.cellFormula) return;
        const int column = get16(f_, pos + 3);
        setColumn(pos + 3, static_cast<std::uint16_t>(moved(column, false)));
    }

    // A column the insertion moves to, `end` for a range's last column.
    int moved(int column, bool end) const {
        if (end && column == kLastColumn) return column;
        const int to = ins_.shift(column);
        if (to > kLastColumn) unsupported("a reference pushed off the sheet");
        return to;
    }

    // The new low byte of a column field, for a target column read through the field.
    std::uint16_t newField(ColumnField field, bool asOffset, bool moves, bool end) const {
        if (!field.relative() || !asOffset) {
            const int column = field.low();
            return static_cast<std::uint16_t>((field.raw & 0xFF00) | (moves ? moved(column, end) : column));
        }
        std::optional<int> result;
        for (const int base : place_.bases) {
            const int target = (base + static_cast<signed char>(field.low()) + 256) % 256;
            const int to = moves ? moved(target, end) : target;
            const int from = place_.onEditedSheet ? ins_.shift(base) : base;
            const int offset = ((to - from) % 256 + 256) % 256;
            if (result && *result != offset)
                unsupported("a relative reference on both sides of the insertion");
            result = offset;
        }
        if (!result) unsupported("a relative reference without its cell");
        std::uint16_t high = field.raw & 0xC000;
        if (field.signBits() && (*result & 0x80)) high |= 0x3F00;
        return static_cast<std::uint16_t>(high | *result);
    }

    void setColumn(std::size_t at, std::uint16_t value) {
        if (get16(f_, at) == value) return;
        put16(f_, at, value);
        changed_ = true;
    }

    bool moves(std::optional<int> ixti, bool anyAtOrRight) const {
        switch (spanOf(ixti)) {
            case SheetSpan::Other:
                return false;
            case SheetSpan::Edited:
                return true;
            case SheetSpan::Across:
            case SheetSpan::Unknown:
                if (anyAtOrRight) unsupported("a reference whose sheet may be the edited one");
                return false;
        }
        return false;
    }

    // The columns a field names for every base (its own column when not an offset).
    bool reachesInsertion(ColumnField field, bool asOffset) const {
        if (!field.relative() || !asOffset) return field.low() >= ins_.at;
        for (const int base : place_.bases)
            if ((base + static_cast<signed char>(field.low()) + 256) % 256 >= ins_.at) return true;
        return false;
    }

    void reference(std::size_t columnAt, std::optional<int> ixti, bool nToken) {
        const ColumnField field{get16(f_, columnAt)};
        const bool asOffset = offsets(nToken, ixti);
        const bool move = moves(ixti, reachesInsertion(field, asOffset));
        if (!move && !(asOffset && field.relative() && place_.onEditedSheet)) return;
        setColumn(columnAt, newField(field, asOffset, move, false));
    }

    void area(std::size_t at, std::optional<int> ixti, bool nToken) {
        const ColumnField first{get16(f_, at + 4)}, last{get16(f_, at + 6)};
        const bool asOffset = offsets(nToken, ixti);
        const bool fullRows =
            !first.relative() && !last.relative() && first.low() == 0 && last.low() == kLastColumn;
        const bool move =
            moves(ixti, reachesInsertion(first, asOffset) || reachesInsertion(last, asOffset)) && !fullRows;
        const bool rebase = asOffset && place_.onEditedSheet;
        if (!move && !(rebase && (first.relative() || last.relative()))) return;
        setColumn(at + 4, newField(first, asOffset, move, false));
        setColumn(at + 6, newField(last, asOffset, move, true));
    }

    // The areas a cached union keeps move with the references it was made from.
    void memArea(std::size_t pos, std::size_t data) {
        const std::size_t end = pos + 7 + get16(f_, pos + 5);
        need(end, cce_);
        bool any = false, all = true;
        for (std::size_t p = pos + 7; p < end;) {
            const int ptg = static_cast<unsigned char>(f_[p]);
            const int base = ptg >= 0x20 ? (ptg & 0x1F) | 0x20 : ptg;
            if (base == 0x24 || base == 0x25 || base == 0x3A || base == 0x3B) {
                const std::optional<int> ixti =
                    base >= 0x3A ? std::optional<int>(get16(f_, p + 1)) : std::nullopt;
                const bool edited = spanOf(ixti) == SheetSpan::Edited;
                any |= edited;
                all &= edited;
            }
            p = skip(p, nullptr);
        }
        if (!any) return;
        if (!all) unsupported("a cached union over the edited sheet and others");
        for (std::size_t i = 0, n = get16(f_, data); i < n; ++i) {
            const std::size_t rect = data + 2 + 8 * i;
            int first = get16(f_, rect + 4), last = get16(f_, rect + 6);
            const bool fullRows = first == 0 && last == kLastColumn;
            if (fullRows) continue;
            first = moved(first, false);
            last = moved(last, true);
            setColumn(rect + 4, static_cast<std::uint16_t>(first));
            setColumn(rect + 6, static_cast<std::uint16_t>(last));
        }
    }

    std::string& f_;
    std::size_t cce_;
    const Insertion& ins_;
    const FormulaPlace& place_;
    std::vector<std::size_t> memAreas_;
    bool changed_ = false;
};

}  // namespace

bool Insertion::shiftRange(int& first, int& last) const {
    if (first == 0 && last >= kLastColumn) return true;
    const int from = shift(first);
    if (from > kLastColumn) return false;
    if (last < kLastColumn) last = std::min(shift(last), kLastColumn);
    first = from;
    return true;
}

bool shiftFormula(std::string& formula, std::size_t cce, const Insertion& insertion,
                  const FormulaPlace& place) {
    if (insertion.count == 0) return false;
    return Shifter(formula, cce, insertion, place).run();
}

std::size_t extraDataSize(std::string_view formula, std::size_t cce) {
    std::string copy(formula);
    const Insertion none;
    const FormulaPlace place;
    return Shifter(copy, cce, none, place).extraEnd() - cce;
}

}  // namespace sheets::xls
