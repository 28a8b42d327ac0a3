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
    const std::size_t sector = std::size_t{1} << shift_;
    if (image_.size() < sector) throw Damaged("compound file shorter than its header");
    image_.resize((image_.size() + sector - 1) / sector * sector, '\0');
    paddedSize_ = image_.size();
    readAllocation();
    readDirectory();
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
    const std::size_t perSector = (std::size_t{1} << shift_) / 4;
    for (std::size_t i = 0; i < kHeaderDifat && fatSectors_.size() < count; ++i)
        fatSectors_.push_back(get32(image_, 76 + 4 * i));
    std::uint32_t next = get32(image_, 68);
    while (fatSectors_.size() < count) {
        if (next >= sectorCount() || difatSectors_.size() > sectorCount())
            throw Damaged("broken DIFAT chain in the compound file");
        difatSectors_.push_back(next);
        const std::size_t at = offsetOf(next);
        for (std::size_t i = 0; i + 1 < perSector && fatSectors_.size() < count; ++i)
            fatSectors_.push_back(get32(image_, at + 4 * i));
        next = get32(image_, at + 4 * (perSector - 1));
    }
    for (const auto s : fatSectors_) {
        if (s >= sectorCount()) throw Damaged("a FAT sector outside the compound file");
        for (std::size_t i = 0; i < perSector; ++i) fat_.push_back(get32(image_, offsetOf(s) + 4 * i));
    }
    if (fat_.size() < sectorCount()) throw Damaged("the FAT does not cover the compound file");
}

std::vector<std::uint32_t> CompoundFile::chain(std::uint32_t start) const {
    std::vector<std::uint32_t> out;
    for (std::uint32_t s = start; s != kEndOfChain; s = fat_[s]) {
        if (s >= sectorCount() || out.size() > sectorCount())
            throw Damaged("broken sector chain in the compound file");
        out.push_back(s);
    }
    return out;
}

void CompoundFile::readDirectory() {
    for (const auto s : chain(get32(image_, 48))) {
        for (std::size_t at = offsetOf(s), end = at + (std::size_t{1} << shift_); at < end;
             at += kEntrySize) {
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

bool CompoundFile::isSmall(std::u16string_view name) const {
    const auto i = rootChild(name);
    return i != std::u16string::npos && entries_[i].size < miniCutoff_;
}

std::optional<std::string> CompoundFile::rootStream(std::u16string_view name) const {
    const auto i = rootChild(name);
    if (i == std::u16string::npos || entries_[i].type != 2) return std::nullopt;
    const auto& e = entries_[i];
    if (e.size < miniCutoff_) throw std::logic_error("small streams are not read here");
    const auto sectors = chain(e.start);
    if ((std::uint64_t{sectors.size()} << shift_) < e.size) throw Damaged("a stream longer than its chain");
    std::string out;
    out.reserve(e.size);
    for (const auto s : sectors) out.append(image_, offsetOf(s), std::size_t{1} << shift_);
    out.resize(e.size);
    return out;
}

std::uint32_t CompoundFile::appendSector() {
    while (fat_.size() <= sectorCount()) addFatSector();
    const auto s = sectorCount();
    image_.append(std::size_t{1} << shift_, '\0');
    fat_[s] = kEndOfChain;
    return s;
}

// A FAT sector appended at the end, counting itself among the sectors it covers.
void CompoundFile::addFatSector() {
    const auto f = sectorCount();
    image_.append(std::size_t{1} << shift_, '\0');
    fat_.resize(fat_.size() + ((std::size_t{1} << shift_) / 4), kFree);
    fat_[f] = kFatSector;
    fatSectors_.push_back(f);
    addToDifat();
}

void CompoundFile::addToDifat() {
    const std::size_t perDifat = (std::size_t{1} << shift_) / 4 - 1;
    if (fatSectors_.size() <= kHeaderDifat + difatSectors_.size() * perDifat) return;
    const auto d = sectorCount();
    image_.append(std::size_t{1} << shift_, '\0');
    if (fat_.size() <= d) throw Damaged("no room in the FAT for a DIFAT sector");
    fat_[d] = kDifatSector;
    difatSectors_.push_back(d);
}

std::uint32_t CompoundFile::allocate(std::vector<std::uint32_t>& freeSectors) {
    if (freeSectors.empty()) return appendSector();
    const auto s = freeSectors.back();
    freeSectors.pop_back();
    return s;
}

void CompoundFile::writeAllocation() {
    const std::size_t perSector = (std::size_t{1} << shift_) / 4;
    for (std::size_t k = 0; k < fatSectors_.size(); ++k)
        for (std::size_t i = 0; i < perSector; ++i)
            put32(image_, offsetOf(fatSectors_[k]) + 4 * i, fat_[k * perSector + i]);
    if (fatSectors_.size() == get32(image_, 44)) return;  // the DIFAT is as it was
    put32(image_, 44, static_cast<std::uint32_t>(fatSectors_.size()));
    for (std::size_t i = 0; i < kHeaderDifat; ++i)
        put32(image_, 76 + 4 * i, i < fatSectors_.size() ? fatSectors_[i] : kFree);
    const std::size_t perDifat = perSector - 1;
    for (std::size_t d = 0; d < difatSectors_.size(); ++d) {
        const std::size_t at = offsetOf(difatSectors_[d]);
        for (std::size_t i = 0; i < perDifat; ++i) {
            const std::size_t k = kHeaderDifat + d * perDifat + i;
            put32(image_, at + 4 * i, k < fatSectors_.size() ? fatSectors_[k] : kFree);
        }
        put32(image_, at + 4 * perDifat, d + 1 < difatSectors_.size() ? difatSectors_[d + 1] : kEndOfChain);
    }
    put32(image_, 68, difatSectors_.empty() ? kEndOfChain : difatSectors_[0]);
    put32(image_, 72, static_cast<std::uint32_t>(difatSectors_.size()));
}

void CompoundFile::replaceRootStream(std::u16string_view name, std::string_view content) {
    const auto index = rootChild(name);
    if (index == std::u16string::npos || entries_[index].type != 2) throw std::logic_error("no such stream");
    auto& entry = entries_[index];
    if (entry.size < miniCutoff_ || content.size() < miniCutoff_) throw std::logic_error("a small stream");
    const auto old = chain(entry.start);
    const std::size_t sector = std::size_t{1} << shift_;
    const std::size_t needed = (content.size() + sector - 1) / sector;
    std::vector<std::uint32_t> freeSectors;
    for (std::uint32_t s = sectorCount(); s-- > 0;)
        if (fat_[s] == kFree) freeSectors.push_back(s);  // taken from the lowest
    std::vector<std::uint32_t> sectors(old.begin(), old.begin() + std::min(needed, old.size()));
    while (sectors.size() < needed) sectors.push_back(allocate(freeSectors));
    for (std::size_t i = old.size(); i-- > needed;) {
        fat_[old[i]] = kFree;
        std::fill_n(image_.begin() + static_cast<std::ptrdiff_t>(offsetOf(old[i])), sector, '\0');
    }
    for (std::size_t i = 0; i < sectors.size(); ++i) {
        const auto part = content.substr(i * sector, sector);
        auto out = image_.begin() + static_cast<std::ptrdiff_t>(offsetOf(sectors[i]));
        std::fill(std::copy(part.begin(), part.end(), out), out + static_cast<std::ptrdiff_t>(sector), '\0');
        fat_[sectors[i]] = i + 1 < sectors.size() ? sectors[i + 1] : kEndOfChain;
    }
    entry.start = sectors.front();
    entry.size = content.size();
    put32(image_, entryOffsets_[index] + 116, entry.start);
    put64(image_, entryOffsets_[index] + 120, entry.size);
    writeAllocation();
}

}  // namespace sheets::xls
