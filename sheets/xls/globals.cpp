#include "sheets/xls/globals.h"

#include <array>

#include "sheets/failure.h"
#include "sheets/format_code.h"
#include "sheets/utf8.h"
#include "sheets/xls/bytes.h"
#include "sheets/xls/compound_file.h"

namespace sheets::xls {
namespace {

constexpr std::size_t kMaxCellFormats = 4050;

// The checksum Office keeps of the XF records, so that an application unaware of their extensions
// (XFEXT) can be told apart: a CRC with the polynomial 0xAF, most significant bit first, from 0.
std::uint32_t checksum(const std::vector<std::string>& parts) {
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t v = i << 24;
            for (int bit = 0; bit < 8; ++bit) v = (v & 0x80000000u) ? (v << 1) ^ 0xAFu : v << 1;
            t[i] = v;
        }
        return t;
    }();
    std::uint32_t crc = 0;
    for (const auto& part : parts)
        for (const char c : part) crc = (crc << 8) ^ table[(crc >> 24) ^ static_cast<unsigned char>(c)];
    return crc;
}

}  // namespace

Globals::Globals(Substream& globals) : globals_(globals), strings_(globals.records) {
    const auto& bof = globals.records[0].data;
    if (bof.size() < 4 || get16(bof, 0) != 0x0600)
        throw Unsupported("not a BIFF8 workbook", u"文件是 Excel 5.0/95 或更早的格式");
    for (std::size_t i = 0; i < globals.records.size(); ++i) readRecord(i);
}

void Globals::readRecord(std::size_t i) {
    const Record& r = globals_.records[i];
    const auto need = [&](std::size_t n) {
        if (r.data.size() < n) throw Damaged("a short record in the workbook globals");
    };
    switch (r.type) {
        case rt::FilePass:
            throw Unsupported("the workbook is encrypted", u"文件已加密");
        case rt::WriteProt:
            throw Unsupported("the workbook has a password to modify it", u"工作簿设有修改权限密码");
        case rt::FileSharing:
            need(4);
            if (get16(r.data, 2) != 0)
                throw Unsupported("the workbook has a password to modify it", u"工作簿设有修改权限密码");
            break;
        case rt::BoundSheet: {
            need(8);
            const auto name = readString(r.data, 6, true);
            sheets_.push_back({i, name.text, static_cast<unsigned char>(r.data[5]), get32(r.data, 0)});
            break;
        }
        case rt::SupBook:
            need(4);
            selfBooks_.push_back(get16(r.data, 2) == 0x0401);
            break;
        case rt::ExternSheet:
            readLinks(i);
            break;
        case rt::Name:
            readFilterName(joinedData(globals_.records, i));
            break;
        case rt::DateMode:
            need(2);
            date1904_ = get16(r.data, 0) != 0;
            break;
        case rt::Format: {
            need(5);
            const int id = get16(r.data, 0);
            formats_.try_emplace(toUtf8(readString(r.data, 2).text), id);
            nextFormat_ = std::max(nextFormat_, id + 1);
            break;
        }
        case rt::Xf:
            need(20);
            xfIndex_.try_emplace(r.data, static_cast<int>(xfs_.size()));
            xfs_.push_back(r.data);
            break;
        case rt::XfExt:
            need(16);
            xfExtensions_[get16(r.data, 14)].push_back(r.data);
            break;
        default:
            break;
    }
}

void Globals::readLinks(std::size_t i) {
    const auto data = joinedData(globals_.records, i);
    if (data.size() < 2) throw Damaged("a short EXTERNSHEET record");
    const std::size_t count = get16(data, 0);
    if (data.size() < 2 + 6 * count) throw Damaged("a short EXTERNSHEET record");
    links_.clear();
    for (std::size_t k = 0; k < count; ++k) {
        const std::size_t at = 2 + 6 * k;
        links_.push_back({get16(data, at), get16(data, at + 2), get16(data, at + 4)});
    }
}

// The built-in name _FilterDatabase (code 0x0D) of a sheet: one area on that sheet.
void Globals::readFilterName(const std::string& data) {
    if (data.size() < 16 || !(get16(data, 0) & 0x0020) || data[3] != 1 || data[15] != 0x0D) return;
    const std::size_t at = 15 + ((data[14] & 1) ? 2 : 1);
    if (get16(data, 4) != 11 || data.size() < at + 11 || (data[at] & 0x1F) != 0x1B) return;
    filters_[get16(data, 8) - 1] = {get16(data, at + 7) & 0xFF, get16(data, at + 9) & 0xFF};
}

std::optional<std::pair<int, int>> Globals::filterColumns(int sheet) const {
    const auto it = filters_.find(sheet);
    return it == filters_.end() ? std::nullopt : std::optional<std::pair<int, int>>(it->second);
}

bool Globals::reachable(int sheet) const {
    for (const auto& link : links_) {
        const bool self = link.book < static_cast<int>(selfBooks_.size()) &&
                          selfBooks_[static_cast<std::size_t>(link.book)];
        if (self && (link.first == 0xFFFE ||
                     (std::min(link.first, link.last) <= sheet && sheet <= std::max(link.first, link.last))))
            return true;
    }
    return false;
}

SheetSpan Globals::span(int ixti, int editedSheet) const {
    if (ixti < 0 || ixti >= static_cast<int>(links_.size())) throw Damaged("a reference to a missing link");
    const Link& link = links_[static_cast<std::size_t>(ixti)];
    if (link.book >= static_cast<int>(selfBooks_.size()) || !selfBooks_[static_cast<std::size_t>(link.book)])
        return SheetSpan::Other;
    if (link.first == 0xFFFE) return SheetSpan::Unknown;
    if (link.first == 0xFFFF || link.last == 0xFFFF) return SheetSpan::Other;
    if (link.first == editedSheet && link.last == editedSheet) return SheetSpan::Edited;
    const bool within =
        std::min(link.first, link.last) <= editedSheet && editedSheet <= std::max(link.first, link.last);
    return within ? SheetSpan::Across : SheetSpan::Other;
}

void Globals::shiftReferences(const Insertion& insertion) {
    if (insertion.count == 0) return;
    for (std::size_t i = 0; i < globals_.records.size(); ++i) {
        const Record& r = globals_.records[i];
        if (r.type == rt::Name) shiftName(i, insertion);
        if (r.type == rt::DConRef || r.type == rt::DConName || r.type == rt::DConBin)
            checkPivotSource(r, insertion);
    }
}

// A defined name: flags, shortcut, name length, formula length, ..., the name, the formula.
void Globals::shiftName(std::size_t i, const Insertion& insertion) {
    auto data = joinedData(globals_.records, i);
    if (data.size() < 15) throw Damaged("a short NAME record");
    const std::size_t nameLength = static_cast<unsigned char>(data[3]);
    const std::size_t cce = get16(data, 4);
    const std::size_t start = 15 + nameLength * ((data[14] & 1) ? 2 : 1);
    if (start + cce > data.size()) throw Damaged("a NAME formula runs past its record");
    std::string formula = data.substr(start);
    FormulaPlace place;
    place.kind = FormulaPlace::Kind::Name;
    place.span = [&](int ixti) { return span(ixti, insertion.sheet); };
    if (!shiftFormula(formula, cce, insertion, place)) return;
    data.replace(start, formula.size(), formula);
    splitData(globals_.records, i, data);
}

// A pivot table's source range: on the edited sheet, it moves or grows.
void Globals::checkPivotSource(const Record& r, const Insertion& insertion) const {
    if (r.type != rt::DConRef || r.data.size() < 9)
        throw Unsupported("a pivot table with a named source", u"数据透视表的数据源无法确定");
    const int lastColumn = static_cast<unsigned char>(r.data[5]);
    const StringField field = readString(r.data, 6);
    std::u16string_view sheet = field.text;
    if (sheet.find_first_of(u"\x01\x02\x03") == 0) sheet.remove_prefix(1);
    const bool edited = sheet == sheets_.at(static_cast<std::size_t>(insertion.sheet)).name;
    if (sheet.empty() || (edited && lastColumn >= insertion.at))
        throw Unsupported("a pivot table's source moves", u"插入列会移动数据透视表的数据源");
}

void Globals::markForRecalculation() {
    for (auto& r : globals_.records)
        if (r.type == rt::RecalcId && r.data.size() >= 8) put32(r.data, 4, 0);
}

int Globals::formatId(const std::string& code) {
    if (const int id = builtInFormatId(code); id >= 0) return id;
    if (const auto it = formats_.find(code); it != formats_.end()) return it->second;
    const int id = nextFormat_++;
    formats_.emplace(code, id);
    addedFormats_.emplace_back(id, code);
    return id;
}

int Globals::cellFormat(int base, int formatId) {
    if (base < 0 || base >= static_cast<int>(xfs_.size()) ||
        (get16(xfs_[static_cast<std::size_t>(base)], 4) & 0x04))
        throw Unsupported("no cell format " + std::to_string(base), u"单元格格式无法读取");
    std::string xf = xfs_[static_cast<std::size_t>(base)];
    if (get16(xf, 2) == formatId) return base;
    put16(xf, 2, static_cast<unsigned>(formatId));
    xf[9] = static_cast<char>(xf[9] | 0x04);  // the number format is the cell's own
    if (const auto it = xfIndex_.find(xf); it != xfIndex_.end()) return it->second;
    if (xfs_.size() >= kMaxCellFormats)
        throw Unsupported("no room for another cell format", u"单元格格式已达上限");
    const int index = static_cast<int>(xfs_.size());
    for (auto extension : xfExtensions_[base]) {
        put16(extension, 14, static_cast<unsigned>(index));
        addedExtensions_.push_back(std::move(extension));
    }
    xfs_.push_back(xf);
    addedXfs_.push_back(xf);
    xfIndex_.emplace(std::move(xf), index);
    return index;
}

std::size_t Globals::lastOf(std::uint16_t type) const {
    std::size_t last = globals_.records.size();
    for (std::size_t i = 0; i < globals_.records.size(); ++i)
        if (globals_.records[i].type == type) last = i;
    return last;
}

// A checksum that matched the XF records before is made to match them again; one that did not
// already tells the readers to ignore the extensions, and stays.
void Globals::updateChecksum() {
    const auto crc = lastOf(rt::XfCrc);
    if (crc == globals_.records.size() || globals_.records[crc].data.size() < 20) return;
    auto& data = globals_.records[crc].data;
    const std::vector<std::string> before(xfs_.begin(),
                                          xfs_.end() - static_cast<std::ptrdiff_t>(addedXfs_.size()));
    if (get16(data, 14) != before.size() || get32(data, 16) != checksum(before)) return;
    put16(data, 14, static_cast<unsigned>(xfs_.size()));
    put32(data, 16, checksum(xfs_));
}

void Globals::commit() {
    auto& records = globals_.records;
    const auto insertAfter = [&](std::size_t last, std::uint16_t type,
                                 const std::vector<std::string>& datas) {
        if (datas.empty()) return;
        if (last == records.size())
            throw Unsupported("the globals have no place for new formats", u"单元格格式无法读取");
        std::vector<Record> added;
        for (const auto& d : datas) added.push_back({type, d});
        records.insert(records.begin() + static_cast<std::ptrdiff_t>(last + 1), added.begin(), added.end());
    };
    std::vector<std::string> formats;
    for (const auto& [id, code] : addedFormats_) {
        std::string d;
        append16(d, static_cast<unsigned>(id));
        formats.push_back(d + stringBytes(fromUtf8(code)));
    }
    const auto lastFormat = lastOf(rt::Format);
    insertAfter(lastFormat != records.size() ? lastFormat : lastOf(0x0031) /* the last FONT */, rt::Format,
                formats);
    insertAfter(lastOf(rt::Xf), rt::Xf, addedXfs_);
    if (!addedExtensions_.empty()) insertAfter(lastOf(rt::XfExt), rt::XfExt, addedExtensions_);
    updateChecksum();
    strings_.commit(records);
}

void Globals::place(const std::vector<std::size_t>& recordPositions,
                    const std::vector<std::size_t>& sheetPositions) {
    std::size_t sheet = 0;
    for (auto& r : globals_.records)
        if (r.type == rt::BoundSheet)
            put32(r.data, 0, static_cast<std::uint32_t>(sheetPositions.at(sheet++)));
    strings_.index(globals_.records, recordPositions);
}

}  // namespace sheets::xls
