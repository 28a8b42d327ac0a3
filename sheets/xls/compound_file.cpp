#include "sheets/xls/compound_file.h"

#include <algorithm>
#include <set>

#include "sheets/xls/bytes.h"

namespace sheets::xls {
namespace {

constexpr std::uint32_t kDifatSector = 0xFFFFFFFC;
constexpr std::uint32_t kFatSector = 0xFFFFFFFD;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kFree = 0xFFFFFFFF;
constexpr std::size_t kHeaderDifat = 109;
constexpr std::size_t kEntrySize = 128;
constexpr std::size_t kMiniSector = 64;
constexpr char kSignature[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";

std::u16string upper(std::u16string_view s) {
    std::u16string out(s);
    for (auto& c : out)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    return out;
}

}  // namespace

bool CompoundFile::hasSignature(std::string_view bytes) {
    return bytes.size() >= 512 && bytes.substr(0, 8) == std::string_view(kSignature, 8);
}

CompoundFile::CompoundFile(std::string bytes) : image_(std::move(bytes)), originalSize_(image_.size()) {
    if (!hasSignature(image_) || get16(image_, 28) != 0xFFFE) throw Damaged("no compound file header");
    shift_ = get16(image_, 30);
    if ((shift_ != 9 && shift_ != 12) || get16(image_, 32) != 6)
        throw Damaged("unknown sector sizes in the compound file");
    miniCutoff_ = get32(image_, 56);
    // A last sector cut short reads as if it had its zeros.
    if (image_.size() < sectorSize()) throw Damaged("compound file shorter than its header");
    image_.resize((image_.size() + sectorSize() - 1) / sectorSize() * sectorSize(), '\0');
    paddedSize_ = image_.size();
    readAllocation();
    readDirectory();
    readMiniAllocation();
}

std::string CompoundFile::bytes() const {
    const bool cut =
        image_.size() == paddedSize_ && image_.find_first_not_of('\0', originalSize_) == std::string::npos;
    return cut ? image_.substr(0, originalSize_) : image_;
}

std::uint32_t CompoundFile::sectorCount() const {
    return static_cast<std::uint32_t>((image_.size() >> shift_) - 1);
}

void CompoundFile::readAllocation() {
    const std::uint32_t count = get32(image_, 44);
    const std::size_t perSector = sectorSize() / 4;
    auto& sectors = fat_.sectors;
    for (std::size_t i = 0; i < kHeaderDifat && sectors.size() < count; ++i)
        sectors.push_back(get32(image_, 76 + 4 * i));
    std::uint32_t next = get32(image_, 68);
    while (sectors.size() < count) {
        if (next >= sectorCount() || difatSectors_.size() > sectorCount())
            throw Damaged("broken DIFAT chain in the compound file");
        difatSectors_.push_back(next);
        const std::size_t at = offsetOf(next);
        for (std::size_t i = 0; i + 1 < perSector && sectors.size() < count; ++i)
            sectors.push_back(get32(image_, at + 4 * i));
        next = get32(image_, at + 4 * (perSector - 1));
    }
    for (const auto s : sectors) {
        if (s >= sectorCount()) throw Damaged("a FAT sector outside the compound file");
        for (std::size_t i = 0; i < perSector; ++i) fat_.next.push_back(get32(image_, offsetOf(s) + 4 * i));
    }
    if (fat_.next.size() < sectorCount()) throw Damaged("the FAT does not cover the compound file");
    originalFatSectors_ = sectors.size();
}

void CompoundFile::readMiniAllocation() {
    if (get32(image_, 64) > 0) miniFat_.sectors = chain(fat_, get32(image_, 60), sectorCount());
    for (const auto s : miniFat_.sectors)
        for (std::size_t i = 0; i < sectorSize() / 4; ++i)
            miniFat_.next.push_back(get32(image_, offsetOf(s) + 4 * i));
    const auto& root = entries_[0];
    if (root.start != kEndOfChain) miniStream_ = chain(fat_, root.start, sectorCount());
    if (miniStream_.size() * sectorSize() < root.size || miniFat_.next.size() < root.size / kMiniSector)
        throw Damaged("a mini stream longer than its chain or its table");
}

std::vector<std::uint32_t> CompoundFile::chain(const Table& table, std::uint32_t start,
                                               std::size_t limit) const {
    std::vector<std::uint32_t> out;
    for (std::uint32_t s = start; s != kEndOfChain; s = table.next[s]) {
        if (s >= table.next.size() || s >= limit || out.size() > limit)
            throw Damaged("broken sector chain in the compound file");
        out.push_back(s);
    }
    return out;
}

std::size_t CompoundFile::miniOffsetOf(std::uint32_t sector) const {
    const std::size_t at = std::size_t{sector} * kMiniSector;
    if (at / sectorSize() >= miniStream_.size()) throw Damaged("a small stream outside the mini stream");
    return offsetOf(miniStream_[at / sectorSize()]) + at % sectorSize();
}

void CompoundFile::readDirectory() {
    for (const auto s : chain(fat_, get32(image_, 48), sectorCount())) {
        for (std::size_t at = offsetOf(s), end = at + sectorSize(); at < end; at += kEntrySize) {
            Entry e;
            const std::size_t length = std::min<std::size_t>(get16(image_, at + 64) / 2, 32);
            for (std::size_t i = 0; i + 1 < length; ++i)
                e.name += static_cast<char16_t>(get16(image_, at + 2 * i));
            e.type = static_cast<unsigned char>(image_[at + 66]);
            e.left = get32(image_, at + 68);
            e.right = get32(image_, at + 72);
            e.child = get32(image_, at + 76);
            e.start = get32(image_, at + 116);
            // Version 3 files may leave garbage in the high half of the size.
            e.size = shift_ == 9 ? get32(image_, at + 120) : get64(image_, at + 120);
            entries_.push_back(std::move(e));
            entryOffsets_.push_back(at);
        }
    }
    if (entries_.empty() || entries_[0].type != 5) throw Damaged("compound file without its root entry");
}

std::size_t CompoundFile::rootChild(std::u16string_view name) const {
    const auto wanted = upper(name);
    std::vector<std::uint32_t> pending{entries_[0].child};
    std::set<std::uint32_t> seen;
    while (!pending.empty()) {
        const auto i = pending.back();
        pending.pop_back();
        if (i >= entries_.size() || !seen.insert(i).second) continue;
        const auto& e = entries_[i];
        if (e.type != 0 && upper(e.name) == wanted) return i;
        pending.push_back(e.left);
        pending.push_back(e.right);
    }
    return std::u16string::npos;
}

std::optional<std::string> CompoundFile::rootStream(std::u16string_view name) const {
    const auto i = rootChild(name);
    if (i == std::u16string::npos || entries_[i].type != 2) return std::nullopt;
    const auto& e = entries_[i];
    const bool mini = e.size < miniCutoff_;
    const std::size_t unit = mini ? kMiniSector : sectorSize();
    const auto sectors =
        mini ? chain(miniFat_, e.start, entries_[0].size / kMiniSector) : chain(fat_, e.start, sectorCount());
    if (sectors.size() * unit < e.size) throw Damaged("a stream longer than its chain");
    std::string out;
    out.reserve(sectors.size() * unit);
    for (const auto s : sectors) out.append(image_, mini ? miniOffsetOf(s) : offsetOf(s), unit);
    out.resize(e.size);
    return out;
}

std::uint32_t CompoundFile::appendSector() {
    while (fat_.next.size() <= sectorCount()) addFatSector();
    const auto s = sectorCount();
    image_.append(sectorSize(), '\0');
    fat_.next[s] = kEndOfChain;
    return s;
}

// A FAT sector appended at the end, counting itself among the sectors it covers.
void CompoundFile::addFatSector() {
    const auto f = sectorCount();
    image_.append(sectorSize(), '\0');
    fat_.next.resize(fat_.next.size() + sectorSize() / 4, kFree);
    fat_.next[f] = kFatSector;
    fat_.sectors.push_back(f);
    addToDifat();
}

void CompoundFile::addToDifat() {
    const std::size_t perDifat = sectorSize() / 4 - 1;
    if (fat_.sectors.size() <= kHeaderDifat + difatSectors_.size() * perDifat) return;
    const auto d = sectorCount();
    image_.append(sectorSize(), '\0');
    if (fat_.next.size() <= d) throw Damaged("no room in the FAT for a DIFAT sector");
    fat_.next[d] = kDifatSector;
    difatSectors_.push_back(d);
}

// One more small sector: the mini stream grows by one, in a new regular sector when full, and the
// mini FAT by a sector when it has no entry for it.
std::uint32_t CompoundFile::appendMiniSector() {
    auto& root = entries_[0];
    const auto k = static_cast<std::uint32_t>(root.size / kMiniSector);
    root.size = (std::uint64_t{k} + 1) * kMiniSector;
    const auto link = [&](std::vector<std::uint32_t>& chainOf, std::uint32_t& first) {
        const auto s = appendSector();
        if (chainOf.empty()) {
            first = s;
        } else {
            fat_.next[chainOf.back()] = s;
        }
        chainOf.push_back(s);
    };
    if (root.size > miniStream_.size() * sectorSize()) link(miniStream_, root.start);
    if (miniFat_.next.size() <= k) {
        std::uint32_t first = miniFat_.sectors.empty() ? kEndOfChain : miniFat_.sectors.front();
        link(miniFat_.sectors, first);
        miniFat_.next.resize(miniFat_.next.size() + sectorSize() / 4, kFree);
    }
    miniFat_.next[k] = kEndOfChain;
    return k;
}

// The sectors a stream of `needed` sectors takes: those it keeps, then free ones from the lowest,
// then new ones at the end.
std::vector<std::uint32_t> CompoundFile::place(bool mini, std::vector<std::uint32_t> sectors,
                                               std::size_t needed) {
    Table& table = mini ? miniFat_ : fat_;
    const std::size_t backed = mini ? entries_[0].size / kMiniSector : sectorCount();
    std::vector<std::uint32_t> freeOnes;
    for (std::size_t s = std::min(backed, table.next.size()); s-- > 0;)
        if (table.next[s] == kFree) freeOnes.push_back(static_cast<std::uint32_t>(s));
    while (sectors.size() < needed) {
        if (!freeOnes.empty()) {
            sectors.push_back(freeOnes.back());
            freeOnes.pop_back();
        } else {
            sectors.push_back(mini ? appendMiniSector() : appendSector());
        }
    }
    return sectors;
}

void CompoundFile::release(bool mini, const std::vector<std::uint32_t>& sectors) {
    for (const auto s : sectors) {
        (mini ? miniFat_ : fat_).next[s] = kFree;
        const std::size_t at = mini ? miniOffsetOf(s) : offsetOf(s);
        std::fill_n(image_.begin() + static_cast<std::ptrdiff_t>(at), mini ? kMiniSector : sectorSize(),
                    '\0');
    }
}

void CompoundFile::replaceRootStream(std::u16string_view name, std::string_view content) {
    const auto index = rootChild(name);
    if (index == std::u16string::npos || entries_[index].type != 2) throw std::logic_error("no such stream");
    auto& entry = entries_[index];
    const bool wasMini = entry.size < miniCutoff_, mini = content.size() < miniCutoff_;
    const auto old = wasMini ? chain(miniFat_, entry.start, entries_[0].size / kMiniSector)
                             : chain(fat_, entry.start, sectorCount());
    const std::size_t unit = mini ? kMiniSector : sectorSize();
    const std::size_t needed = (content.size() + unit - 1) / unit;
    const std::size_t kept = wasMini == mini ? std::min(needed, old.size()) : 0;
    release(wasMini, std::vector<std::uint32_t>(old.begin() + static_cast<std::ptrdiff_t>(kept), old.end()));
    const auto sectors =
        place(mini, std::vector<std::uint32_t>(old.begin(), old.begin() + static_cast<std::ptrdiff_t>(kept)),
              needed);
    Table& table = mini ? miniFat_ : fat_;
    for (std::size_t i = 0; i < sectors.size(); ++i) {
        const auto part = content.substr(i * unit, unit);
        auto out = image_.begin() +
                   static_cast<std::ptrdiff_t>(mini ? miniOffsetOf(sectors[i]) : offsetOf(sectors[i]));
        std::fill(std::copy(part.begin(), part.end(), out), out + static_cast<std::ptrdiff_t>(unit), '\0');
        table.next[sectors[i]] = i + 1 < sectors.size() ? sectors[i + 1] : kEndOfChain;
    }
    entry.start = sectors.empty() ? kEndOfChain : sectors.front();
    entry.size = content.size();
    put32(image_, entryOffsets_[index] + 116, entry.start);
    put64(image_, entryOffsets_[index] + 120, entry.size);
    writeTables();
}

// The allocation tables into their sectors; the header and the root entry where they changed.
void CompoundFile::writeTables() {
    const std::size_t perSector = sectorSize() / 4;
    for (const Table* table : {&fat_, &miniFat_})
        for (std::size_t k = 0; k < table->sectors.size(); ++k)
            for (std::size_t i = 0; i < perSector; ++i)
                put32(image_, offsetOf(table->sectors[k]) + 4 * i, table->next[k * perSector + i]);
    if (get32(image_, 64) != miniFat_.sectors.size()) {
        put32(image_, 60, miniFat_.sectors.empty() ? kEndOfChain : miniFat_.sectors.front());
        put32(image_, 64, static_cast<std::uint32_t>(miniFat_.sectors.size()));
    }
    const auto& root = entries_[0];
    put32(image_, entryOffsets_[0] + 116, root.start);
    if (get32(image_, entryOffsets_[0] + 120) != root.size) put64(image_, entryOffsets_[0] + 120, root.size);
    if (fat_.sectors.size() == originalFatSectors_) return;  // the DIFAT is as it was
    put32(image_, 44, static_cast<std::uint32_t>(fat_.sectors.size()));
    for (std::size_t i = 0; i < kHeaderDifat; ++i)
        put32(image_, 76 + 4 * i, i < fat_.sectors.size() ? fat_.sectors[i] : kFree);
    const std::size_t perDifat = perSector - 1;
    for (std::size_t d = 0; d < difatSectors_.size(); ++d) {
        const std::size_t at = offsetOf(difatSectors_[d]);
        for (std::size_t i = 0; i < perDifat; ++i) {
            const std::size_t k = kHeaderDifat + d * perDifat + i;
            put32(image_, at + 4 * i, k < fat_.sectors.size() ? fat_.sectors[k] : kFree);
        }
        put32(image_, at + 4 * perDifat, d + 1 < difatSectors_.size() ? difatSectors_[d + 1] : kEndOfChain);
    }
    put32(image_, 68, difatSectors_.empty() ? kEndOfChain : difatSectors_[0]);
    put32(image_, 72, static_cast<std::uint32_t>(difatSectors_.size()));
}

}  // namespace sheets::xls
