#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace sheets::xls {

// A structure of the file that cannot be read: the file is damaged.
class Damaged : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A compound file (the container of an .xls) held in memory. One stream of the root storage can be
// given new content: it goes into the sectors it had, then into free ones, then into new ones at the
// end (small streams likewise in the mini stream), and only its chain, its directory entry and the
// allocation tables change. Every other sector keeps its bytes, so other streams and storages, their
// class ids, times and state bits, stay exactly as they were.
class CompoundFile {
public:
    static bool hasSignature(std::string_view bytes);

    // Throws Damaged when the container's structure cannot be read.
    explicit CompoundFile(std::string bytes);

    // A stream directly in the root storage, by name (compared as the format does, without case);
    // nullopt when there is none.
    std::optional<std::string> rootStream(std::u16string_view name) const;
    // Gives an existing root stream new content.
    void replaceRootStream(std::u16string_view name, std::string_view content);

    // The file: a last sector that the file had cut short and that stayed as it was is cut again.
    std::string bytes() const;

private:
    struct Entry {
        std::u16string name;
        int type = 0;
        std::uint32_t left = 0, right = 0, child = 0, start = 0;
        std::uint64_t size = 0;
    };
    // Sectors of one size in one table: the regular ones in the FAT, the small ones in the mini FAT.
    struct Table {
        std::vector<std::uint32_t> next;
        std::vector<std::uint32_t> sectors;  // where the table itself is kept
    };

    std::uint32_t sectorCount() const;
    std::size_t sectorSize() const { return std::size_t{1} << shift_; }
    std::size_t offsetOf(std::uint32_t sector) const { return (std::size_t{sector} + 1) << shift_; }
    std::size_t miniOffsetOf(std::uint32_t sector) const;
    std::vector<std::uint32_t> chain(const Table& table, std::uint32_t start, std::size_t limit) const;
    void readAllocation();
    void readMiniAllocation();
    void readDirectory();
    std::size_t rootChild(std::u16string_view name) const;
    std::uint32_t appendSector();
    std::uint32_t appendMiniSector();
    void addFatSector();
    void addToDifat();
    std::vector<std::uint32_t> place(bool mini, std::vector<std::uint32_t> reused, std::size_t needed);
    void release(bool mini, const std::vector<std::uint32_t>& sectors);
    void writeTables();

    std::string image_;
    std::size_t originalSize_ = 0, paddedSize_ = 0;
    int shift_ = 9;
    std::uint32_t miniCutoff_ = 4096;
    Table fat_, miniFat_;
    std::vector<std::uint32_t> difatSectors_;  // the chain of DIFAT sectors
    std::vector<std::uint32_t> miniStream_;    // the root entry's sectors, which hold the small ones
    std::size_t originalFatSectors_ = 0;
    std::vector<Entry> entries_;
    std::vector<std::size_t> entryOffsets_;
};

}  // namespace sheets::xls
