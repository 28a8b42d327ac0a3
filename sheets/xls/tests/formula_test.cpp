#include "sheets/xls/formula.h"

#include <gtest/gtest.h>

#include "sheets/failure.h"
#include "sheets/utf8.h"
#include "sheets/xls/sheet_formulas.h"

namespace sheets::xls {
namespace {

// Tokens as the file holds them. Columns count from 0; `rel` sets both relative flags.
std::string bytes(std::initializer_list<int> values) {
    std::string out;
    for (const int v : values) out += static_cast<char>(v);
    return out;
}
std::string le(int v) {
    return bytes({v & 0xFF, (v >> 8) & 0xFF});
}
std::string column(int c, bool rel) {
    return le((c & 0xFF) | (rel ? 0xC000 : 0));
}
std::string ref(int c, bool rel = false) {
    return "\x24" + le(0) + column(c, rel);
}
std::string refN(int offset) {
    return "\x2C" + le(0) + column(offset & 0xFF, true);
}
std::string area(int c1, int c2) {
    return "\x25" + le(0) + le(9) + column(c1, false) + column(c2, false);
}
std::string ref3d(int ixti, int c, bool rel = false) {
    return "\x3A" + le(ixti) + le(0) + column(c, rel);
}
std::string area3d(int ixti, int c1, int c2) {
    return "\x3B" + le(ixti) + le(0) + le(9) + column(c1, false) + column(c2, false);
}
const std::string kAdd = "\x03", kText = bytes({0x17, 2, 0}) + "C1", kNumber = "\x1F" + std::string(8, '\0'),
                  kSum = bytes({0x42, 1, 4, 0}), kChoose = bytes({0x19, 4, 1, 0}) + le(4) + le(9);

// Two columns go in before column C (2) of the edited sheet; EXTERNSHEET entry 0 names it, 1 another
// sheet, 2 a 3-D range over both, 3 the sheet a name is used on.
const Insertion kInsertion{0, 2, 2};

FormulaPlace place(FormulaPlace::Kind kind, bool onEdited, std::vector<int> bases = {}) {
    FormulaPlace p;
    p.kind = kind;
    p.onEditedSheet = onEdited;
    p.bases = std::move(bases);
    p.span = [](int ixti) {
        static constexpr SheetSpan spans[] = {SheetSpan::Edited, SheetSpan::Other, SheetSpan::Across,
                                              SheetSpan::Unknown};
        return spans[ixti];
    };
    return p;
}

struct Case {
    const char* what;
    std::string tokens;
    FormulaPlace place;
    std::string expected;  // empty: refused
};

TEST(FormulaShift, ReferencesMoveWithTheirCells) {
    using K = FormulaPlace::Kind;
    const auto cell = place(K::Cell, true), elsewhere = place(K::Cell, false);
    const Case cases[] = {
        {"cells on the sheet", ref(1) + ref(2) + kAdd, cell, ref(1) + ref(4) + kAdd},
        {"relative flags keep their place in a cell", ref(3, true), cell, ref(5, true)},
        {"an area across the insertion grows", area(1, 3), cell, area(1, 5)},
        {"whole rows stay", area(0, 255), cell, area(0, 255)},
        {"an area to the last column keeps reaching it", area(3, 255), cell, area(5, 255)},
        {"another sheet's cells without a sheet stay", ref(3) + area(2, 4), elsewhere, ref(3) + area(2, 4)},
        {"3-D references to the edited sheet", ref3d(0, 2) + area3d(0, 0, 3), elsewhere,
         ref3d(0, 4) + area3d(0, 0, 5)},
        {"3-D references to another sheet", ref3d(1, 5), cell, ref3d(1, 5)},
        {"a 3-D range left of the insertion", area3d(2, 0, 1), elsewhere, area3d(2, 0, 1)},
        {"a 3-D range over the edited sheet that would move", area3d(2, 0, 3), elsewhere, ""},
        {"a reference pushed off the sheet", ref(254), cell, ""},
        {"an area pushed off the sheet", area(1, 254), cell, ""},
        {"a name's sheet-less sheet", ref3d(3, 1), place(K::Name, false), ref3d(3, 1)},
        {"a name's sheet-less reference that would move", ref3d(3, 2), place(K::Name, false), ""},
        {"a string, a number and a function around", kText + ref(2) + kNumber + kSum, cell,
         kText + ref(4) + kNumber + kSum},
        {"a choice's jump table", kChoose + ref(2), cell, kChoose + ref(4)},
        {"an unknown token", bytes({0x18, 1, 0, 0}), cell, ""},
        {"a shared formula's base column", "\x01" + le(0) + le(3),
         [] {
             auto p = place(K::Cell, true);
             p.cellFormula = true;
             return p;
         }(),
         "\x01" + le(0) + le(5)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string f = c.tokens;
        if (c.expected.empty()) {
            EXPECT_THROW(shiftFormula(f, f.size(), kInsertion, c.place), Unsupported);
        } else {
            shiftFormula(f, f.size(), kInsertion, c.place);
            EXPECT_EQ(f, c.expected);
        }
    }
}

// Offsets from the cells a formula is evaluated in change only when one of the two moves.
TEST(FormulaShift, RelativeOffsetsFollowTheirBase) {
    using K = FormulaPlace::Kind;
    const Case cases[] = {
        {"both right of the insertion", refN(-1), place(K::Relative, true, {4, 5}), refN(-1)},
        {"the formula moves, its target does not", refN(-2), place(K::Relative, true, {3}), refN(-4)},
        {"the target moves, the formula does not", refN(2), place(K::Relative, true, {1}), refN(4)},
        {"a shared formula whose cells sit on both sides", refN(-1), place(K::Relative, true, {1, 2, 3}), ""},
        {"a range whose bases disagree", refN(1), place(K::Relative, true, {0, 1}), ""},
        {"a relative 3-D reference from another sheet", "\x3A" + le(0) + le(0) + column(1, true),
         place(K::Relative, false, {1}), "\x3A" + le(0) + le(0) + column(3, true)},
        {"absolute parts of a relative formula", ref(3), place(K::Relative, true, {0}), ref(5)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string f = c.tokens;
        if (c.expected.empty()) {
            EXPECT_THROW(shiftFormula(f, f.size(), kInsertion, c.place), Unsupported);
        } else {
            shiftFormula(f, f.size(), kInsertion, c.place);
            EXPECT_EQ(f, c.expected);
        }
    }
}

TEST(FormulaShift, ExtraDataOfArraysAndCachedUnions) {
    const auto cell = place(FormulaPlace::Kind::Cell, true);
    // {1,"ab"} then a union cached as two areas: tokens, then the array's values, then the areas.
    const std::string array = "\x20" + std::string(7, '\0');
    const std::string mem = "\x26" + std::string(4, '\0') + le(19) + area(1, 2) + area(3, 4) + "\x10";
    const std::string values =
        bytes({1, 0, 0}) + "\x01" + std::string(8, '\0') + "\x02" + le(2) + bytes({0}) + "ab";
    const std::string areas = le(2) + le(0) + le(9) + le(1) + le(2) + le(0) + le(9) + le(3) + le(4);
    std::string f = array + mem + values + areas;
    const std::size_t cce = array.size() + mem.size();
    EXPECT_EQ(extraDataSize(f, cce), values.size() + areas.size());
    shiftFormula(f, cce, kInsertion, cell);
    const std::string moved = le(2) + le(0) + le(9) + le(1) + le(4) + le(0) + le(9) + le(5) + le(6);
    EXPECT_EQ(f, array + "\x26" + std::string(4, '\0') + le(19) + area(1, 4) + area(5, 6) + "\x10" + values +
                     moved);
}

TEST(FormulaShift, RangesOfRecords) {
    const struct {
        int first, last;
        bool kept;
        int newFirst, newLast;
    } cases[] = {{0, 1, true, 0, 1},     {1, 2, true, 1, 4},     {2, 2, true, 4, 4},
                 {0, 255, true, 0, 255}, {3, 255, true, 5, 255}, {200, 254, true, 202, 255},
                 {254, 255, false, 0, 0}};
    for (const auto& c : cases) {
        int first = c.first, last = c.last;
        EXPECT_EQ(kInsertion.shiftRange(first, last), c.kept) << c.first << ":" << c.last;
        if (c.kept) {
            EXPECT_EQ(std::make_pair(first, last), std::make_pair(c.newFirst, c.newLast));
        }
    }
}

TEST(FormulaShift, HyperlinkPlacesInTheWorkbook) {
    const std::pair<const char16_t*, const char16_t*> cases[] = {
        {u"Data!C5", u"Data!E5"}, {u"'data'!$B$1:D2", u"'data'!$B$1:F2"},
        {u"C1", u"E1"},           {u"Other!C5", nullptr},
        {u"Data!A1", nullptr},    {u"Data!3:4", nullptr},
        {u"Keys", nullptr},       {u"'It''s'!C1", nullptr},
    };
    for (const auto& [place, moved] : cases) {
        const auto got = shiftLocation(place, u"Data", true, kInsertion);
        EXPECT_EQ(got.value_or(u"(none)"), moved ? std::u16string(moved) : u"(none)")
            << std::string(place, place + 2);
    }
    EXPECT_THROW(shiftLocation(u"Data!IV1", u"Data", false, kInsertion), Unsupported);
}

}  // namespace
}  // namespace sheets::xls
