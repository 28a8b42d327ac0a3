// The layout pass: everything of the edited sheet that sits in a column.
#include "sheets/xls/edited_sheet.h"

#include <set>

#include "sheets/failure.h"
#include "sheets/xls/bytes.h"
#include "sheets/xls/compound_file.h"

namespace sheets::xls {
namespace {

[[noreturn]] void unsupported(const std::string& detail, std::u16string reason) {
    throw Unsupported(detail, std::move(reason));
}

void need(const std::string& data, std::size_t end) {
    if (end > data.size()) throw Damaged("a short record on the edited sheet");
}

std::string hex(std::uint16_t type) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out = "0x";
    for (int shift = 12; shift >= 0; shift -= 4) out += digits[(type >> shift) & 0xF];
    return out;
}

// Records of a sheet that name no cell and need no change.
const std::set<std::uint16_t> kWithoutCells = {
    0x0809, 0x000A, 0x000C, 0x000D, 0x000E, 0x000F, 0x0010, 0x0011, 0x0013,         0x0014, 0x0015, 0x0019,
    0x001B, 0x0026, 0x0027, 0x0028, 0x0029, 0x002A, 0x002B, 0x004D, 0x0055,         0x005E, 0x005F, 0x0063,
    0x0080, 0x0082, 0x0083, 0x0084, 0x0099, 0x009B, 0x00A0, 0x00A1, 0x00AE,         0x00DD, 0x00E9, 0x00ED,
    0x01B1, 0x01B2, 0x01B6, 0x01BA, 0x0225, 0x020B, 0x005D, 0x087A, rt::MsoDrawing,
};
// Records that are the cell table's.
const std::set<std::uint16_t> kCellTable = {rt::Row,      rt::Blank,   rt::Number, rt::Label,   rt::BoolErr,
                                            rt::Formula,  rt::String,  rt::Rk,     rt::MulRk,   rt::MulBlank,
                                            rt::LabelSst, rt::RString, rt::Array,  rt::ShrFmla, rt::DbCell};
// What the records this writer refuses hold, for the user.
const std::pair<std::uint16_t, const char16_t*> kRefused[] = {
    {0x00AF, u"工作表中有方案"},         {0x0090, u"工作表中有排序设置"},
    {0x0895, u"工作表中有排序设置"},     {0x0050, u"工作表中有合并计算"},
    {0x0051, u"工作表中有合并计算"},     {0x0052, u"工作表中有合并计算"},
    {0x01B5, u"工作表中有合并计算"},     {0x00B0, u"工作表中有数据透视表"},
    {0x01AD, u"工作表中有外部数据查询"}, {0x0872, u"工作表中有表格（列表）"},
    {0x0878, u"工作表中有表格（列表）"}, {0x0418, u"工作表中有无法识别的名称"},
    {0x0236, u"工作表中有模拟运算表"},
};

class LayoutPass {
public:
    LayoutPass(const Insertion& ins, const Globals& globals) : ins_(ins), globals_(globals) {}

    // One record (its data with its continuations); false when it is to be dropped.
    bool record(std::uint16_t type, std::string& data) {
        if (kWithoutCells.count(type) || kCellTable.count(type)) return true;
        for (const auto& [refused, reason] : kRefused)
            if (type == refused) unsupported("the edited sheet holds record " + hex(type), reason);
        switch (type) {
            case rt::Protect:
                return protection(data);
            case rt::WsBool:
                return sheetKind(data);
            case rt::EntExU2:
                return false;  // a cache of the sheet's layout, rebuilt by Excel
            case rt::Dimensions:
                return dimensions(data);
            case rt::ColInfo:
                return columns(data);
            case rt::VerticalPageBreaks:
                return pageBreaks(data);
            case rt::MergeCells:
                return listOf8(data, 0, 2), true;
            case rt::Window2:
                return window(data);
            case rt::Pane:
                return pane(data);
            case rt::Selection:
                return selection(data);
            case rt::Note:
                return note(data);
            case rt::HLink:
                return range8(data, 0), true;
            case rt::HLinkTooltip:
                return range8(data, 2), true;
            case rt::CondFmt:
                return range8(data, 4), listOf8(data, 12, 14), true;
            case rt::CondFmt12:
                return futureRange(data), range8(data, 16), listOf8(data, 24, 26), true;
            case rt::CfEx:
                return futureRange(data), true;
            case rt::Dv:
                return listOf8(data, validationRanges(data), validationRanges(data) + 2), true;
            case rt::PhoneticInfo:
                return listOf8(data, 4, 6), true;
            case rt::LabelRanges:
                return labelRanges(data);
            case rt::Feat:
                return listOf8(data, 19, 27), true;
            case rt::AutoFilterInfo:
                return filterCount(data);
            case rt::AutoFilter:
                return filterEntry(data, 0);
            case rt::AutoFilter12:
                return futureRange(data), filterEntry(data, 12);
            default:
                return futureRecord(type, data);
        }
    }

private:
    // A record type Excel added later names its cells in its header, when it names any.
    bool futureRecord(std::uint16_t type, const std::string& data) const {
        const bool future = type >= 0x0800 && type <= 0x08FF && data.size() >= 4 && get16(data, 0) == type;
        if (future && !(get16(data, 2) & 0x0001)) return true;
        const std::string name = hex(type);
        unsupported("the edited sheet holds record " + name + ", which this writer does not move",
                    u"工作表中有无法识别的内容（记录 " + std::u16string(name.begin(), name.end()) + u"）");
    }

    bool protection(const std::string& data) const {
        if (data.size() >= 2 && get16(data, 0) != 0)
            unsupported("the edited sheet is protected", u"工作表受保护");
        return true;
    }

    bool sheetKind(const std::string& data) const {
        if (data.size() >= 2 && (get16(data, 0) & 0x0010))
            unsupported("the edited sheet is a dialog sheet", u"目标不是工作表");
        return true;
    }

    int column(int c, const char* what) const {
        const int moved = ins_.shift(c);
        if (moved > kLastColumn)
            unsupported(std::string(what) + " pushed off the sheet", u"插入列会把内容推出工作表");
        return moved;
    }

    // A range as first and last column (16 bits each) at `at`, moved; refused when pushed off.
    void columnPair(std::string& data, std::size_t at) const {
        need(data, at + 4);
        int first = get16(data, at), last = get16(data, at + 2);
        if (!ins_.shiftRange(first, last))
            unsupported("a range pushed off the sheet", u"插入列会把区域推出工作表");
        put16(data, at, static_cast<unsigned>(first));
        put16(data, at + 2, static_cast<unsigned>(last));
    }

    // A Ref8 (rows, then columns) at `at`.
    void range8(std::string& data, std::size_t at) const { columnPair(data, at + 4); }

    // An FrtRefHeader's range, when it names one.
    void futureRange(std::string& data) const {
        need(data, 12);
        if (get16(data, 2) & 0x0001) range8(data, 4);
    }

    // A count (16 bits) at `countAt` and Ref8 ranges from `at` on: ranges pushed off go, as long
    // as one is left.
    void listOf8(std::string& data, std::size_t countAt, std::size_t at) const {
        need(data, countAt + 2);
        const std::size_t count = get16(data, countAt);
        need(data, at + 8 * count);
        std::string kept;
        std::size_t left = 0;
        for (std::size_t k = 0; k < count; ++k) {
            std::string item = data.substr(at + 8 * k, 8);
            int first = get16(item, 4), last = get16(item, 6);
            if (!ins_.shiftRange(first, last)) continue;
            put16(item, 4, static_cast<unsigned>(first));
            put16(item, 6, static_cast<unsigned>(last));
            kept += item;
            ++left;
        }
        if (count > 0 && left == 0)
            unsupported("every range pushed off the sheet", u"插入列会把区域推出工作表");
        put16(data, countAt, static_cast<unsigned>(left));
        data.replace(at, 8 * count, kept);
    }

    std::size_t validationRanges(const std::string& data) const {
        std::size_t pos = 4;
        for (int k = 0; k < 4; ++k) pos += readString(data, pos).size;
        for (int k = 0; k < 2; ++k) {
            need(data, pos + 4);
            pos += 4 + get16(data, pos);
        }
        return pos;
    }

    bool dimensions(std::string& data) const {
        need(data, 12);
        const int first = get16(data, 8), end = get16(data, 10);
        if (end > first) {
            put16(data, 8, static_cast<unsigned>(ins_.shift(first)));
            put16(data, 10,
                  static_cast<unsigned>(end - 1 >= ins_.at ? std::min(end + ins_.count, kLastColumn + 1)
                                                           : end));
        }
        return true;
    }

    // Column widths and formats: a range reaching the last column (some files say 256) keeps
    // reaching it; one pushed off goes.
    bool columns(std::string& data) const {
        need(data, 4);
        const int last = get16(data, 2);
        int first = get16(data, 0), to = std::min(last, kLastColumn);
        if (!ins_.shiftRange(first, to)) return false;
        put16(data, 0, static_cast<unsigned>(first));
        put16(data, 2, static_cast<unsigned>(last >= kLastColumn ? last : to));
        return true;
    }

    bool pageBreaks(std::string& data) const {
        need(data, 2);
        const std::size_t count = get16(data, 0);
        need(data, 2 + 6 * count);
        for (std::size_t k = 0; k < count; ++k) {
            const std::size_t at = 2 + 6 * k;
            const int c = get16(data, at);
            if (c >= ins_.at) put16(data, at, static_cast<unsigned>(std::min(c + ins_.count, kLastColumn)));
        }
        return true;
    }

    bool window(const std::string& data) {
        need(data, 6);
        frozen_ = get16(data, 0) & 0x0008;
        left_ = get16(data, 4);
        return true;
    }

    // Frozen columns stay frozen with the columns inserted among them; the view keeps its columns.
    bool pane(std::string& data) const {
        need(data, 8);
        const int split = get16(data, 0);
        if (frozen_ && split > 0 && ins_.at < left_ + split) {
            put16(data, 0, static_cast<unsigned>(split + ins_.count));
            put16(data, 6, static_cast<unsigned>(column(get16(data, 6), "a pane")));
        }
        return true;
    }

    // The active cell and the selected ranges (RefU: 8-bit columns) follow their cells.
    bool selection(std::string& data) const {
        need(data, 9);
        put16(data, 3, static_cast<unsigned>(column(get16(data, 3), "the active cell")));
        const std::size_t count = get16(data, 7);
        need(data, 9 + 6 * count);
        for (std::size_t k = 0; k < count; ++k) {
            const std::size_t at = 9 + 6 * k + 4;
            int first = static_cast<unsigned char>(data[at]), last = static_cast<unsigned char>(data[at + 1]);
            if (!ins_.shiftRange(first, last)) first = last = kLastColumn;
            data[at] = static_cast<char>(first);
            data[at + 1] = static_cast<char>(last);
        }
        return true;
    }

    bool note(std::string& data) const {
        need(data, 4);
        put16(data, 2, static_cast<unsigned>(column(get16(data, 2), "a note")));
        return true;
    }

    bool labelRanges(std::string& data) const {
        listOf8(data, 0, 2);
        const std::size_t second = 2 + 8 * std::size_t{get16(data, 0)};
        listOf8(data, second, second + 2);
        return true;
    }

    // The filter's entries count columns from the filter range's first; an insertion through the
    // range adds entries.
    bool cutsFilter(int& first) const {
        const auto range = globals_.filterColumns(ins_.sheet);
        if (!range) unsupported("an auto-filter without its range", u"自动筛选的区域无法确定");
        first = range->first;
        return range->first < ins_.at && ins_.at <= range->second;
    }

    bool filterCount(std::string& data) const {
        need(data, 2);
        int first = 0;
        if (cutsFilter(first)) put16(data, 0, get16(data, 0) + static_cast<unsigned>(ins_.count));
        return true;
    }

    bool filterEntry(std::string& data, std::size_t at) const {
        need(data, at + 2);
        int first = 0;
        if (cutsFilter(first) && get16(data, at) >= ins_.at - first)
            put16(data, at, get16(data, at) + static_cast<unsigned>(ins_.count));
        return true;
    }

    const Insertion& ins_;
    const Globals& globals_;
    bool frozen_ = false;
    int left_ = 0;
};

// The shapes' anchors: OfficeArtClientAnchor records (0xF010) in the drawing's shape containers,
// each shape with client data matched to the next OBJ record of the sheet (its type).
class Anchors {
public:
    Anchors(std::string& d, const Insertion& ins, const std::vector<int>& objectTypes)
        : d_(d), ins_(ins), types_(objectTypes) {}

    bool run() {
        walk(0, d_.size());
        return changed_;
    }

private:
    void walk(std::size_t from, std::size_t to) {
        for (std::size_t pos = from; pos + 8 <= to;) {
            const int version = d_[pos] & 0x0F;
            const int type = get16(d_, pos + 2);
            const std::size_t length = get32(d_, pos + 4);
            const std::size_t body = pos + 8, end = std::min(to, body + length);
            if (type == 0xF004) {
                shape(body, end);
            } else if (version == 0x0F) {
                walk(body, end);
            }
            pos = version == 0x0F ? end : body + length;
        }
    }

    // One shape: its anchor, and whether it has client data (and so an OBJ record).
    void shape(std::size_t from, std::size_t to) {
        std::size_t anchorAt = 0;
        bool clientData = false;
        for (std::size_t pos = from; pos + 8 <= to;) {
            const int version = d_[pos] & 0x0F;
            const int type = get16(d_, pos + 2);
            const std::size_t length = get32(d_, pos + 4);
            if (type == 0xF010 && length >= 18 && pos + 8 + 18 <= d_.size()) anchorAt = pos + 8;
            if (type == 0xF011) clientData = true;
            if (version == 0x0F) walk(pos + 8, std::min(to, pos + 8 + length));
            pos += 8 + length;
        }
        int objectType = -1;
        if (clientData) {
            if (next_ >= types_.size()) throw Damaged("a shape without its object record");
            objectType = types_[next_++];
        }
        if (anchorAt) anchor(anchorAt, objectType == 0x19);
    }

    // flags, then column and offset, row and offset of the top left and of the bottom right corner.
    // A note's box goes with its cell whatever its flags say.
    void anchor(std::size_t at, bool note) {
        const int flags = note ? 0 : get16(d_, at);
        const int left = get16(d_, at + 2), right = get16(d_, at + 10);
        if (right < ins_.at) return;
        if (flags & 0x01)
            unsupported("a shape that does not move with its cells", u"工作表中有固定位置的图形");
        if ((flags & 0x02) && left < ins_.at)
            unsupported("a shape that keeps its size across the insertion",
                        u"工作表中有不随单元格改变大小的图形");
        const int newLeft = ins_.shift(left), newRight = ins_.shift(right);
        if (newRight > kLastColumn + 1)
            unsupported("a shape pushed off the sheet", u"插入列会把图形推出工作表");
        put16(d_, at + 2, static_cast<unsigned>(newLeft));
        put16(d_, at + 10, static_cast<unsigned>(newRight));
        changed_ = true;
    }

    std::string& d_;
    const Insertion& ins_;
    const std::vector<int>& types_;
    std::size_t next_ = 0;
    bool changed_ = false;
};

// The drawing's data is split over the sheet's MSODRAWING records (and their CONTINUE records);
// joined, moved, and put back into the same records.
void shiftDrawing(std::vector<Record>& records, const std::vector<std::size_t>& parts,
                  const std::vector<int>& objectTypes, const Insertion& ins) {
    std::string drawing;
    for (const auto i : parts) drawing += records[i].data;
    if (!shiftAnchors(drawing, ins, objectTypes)) return;
    std::size_t at = 0;
    for (const auto i : parts) {
        records[i].data = drawing.substr(at, records[i].data.size());
        at += records[i].data.size();
    }
}

}  // namespace

bool shiftAnchors(std::string& drawing, const Insertion& insertion, const std::vector<int>& objectTypes) {
    return Anchors(drawing, insertion, objectTypes).run();
}

void shiftEditedSheet(Substream& sheet, const Insertion& insertion, const Globals& globals) {
    if (insertion.count == 0) return;
    LayoutPass pass(insertion, globals);
    auto& records = sheet.records;
    std::vector<Record> kept;
    std::vector<std::size_t> drawing;
    std::vector<int> objectTypes;
    kept.reserve(records.size());
    int depth = 0;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const auto type = records[i].type;
        if (i > 0 && type == rt::Bof) ++depth;
        if (depth > 0) {
            if (type == rt::Eof) --depth;
            kept.push_back(std::move(records[i]));
            continue;
        }
        std::size_t continues = 0;
        std::string data = joinedData(records, i, &continues);
        const auto before = data.size();
        if (type == rt::MsoDrawing)
            for (std::size_t k = 0; k <= continues; ++k) drawing.push_back(kept.size() + k);
        if (type == rt::Obj && data.size() >= 6) objectTypes.push_back(get16(data, 4));
        if (!pass.record(type, data)) {
            i += continues;
            continue;
        }
        if (data.size() != before && continues)
            unsupported("a resized record with continuations", u"工作表中有无法移动的内容");
        const std::size_t first = kept.size();
        for (std::size_t k = 0; k <= continues; ++k) kept.push_back(std::move(records[i + k]));
        if (data.size() == before) {
            splitData(kept, first, data);
        } else {
            kept[first].data = std::move(data);
        }
        i += continues;
    }
    records = std::move(kept);
    shiftDrawing(records, drawing, objectTypes, insertion);
}

}  // namespace sheets::xls
