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
// given new content: it is written into the sectors it had, then into free ones, then into new ones
// at the end, and only its chain, its directory entry and the allocation tables change. Every other
// sector keeps its bytes, so other streams and storages, their class ids, times and state bits, stay
// exactly as they were.
class CompoundFile {
public:
    static bool hasSignature(std::string_view bytes);

    // Throws Damaged when the container's structure cannot be read.
    explicit CompoundFile(std::string bytes);

    // A stream directly in the root storage, by name (compared as the format does, without case);
    // nullopt when there is none.
    std::optional<std::string> rootStream(std::u16string_view name) const;

    // Whether the stream is small enough to be kept in the mini stream, where this class does not
    // write.
    bool isSmall(std::u16string_view name) const;
    std::uint32_t smallStreamLimit() const { return miniCutoff_; }

    // Gives a root stream, kept in regular sectors (isSmall() false), new content of at least
    // smallStreamLimit() bytes.
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

    std::uint32_t sectorCount() const;
    std::size_t offsetOf(std::uint32_t sector) const { return (std::size_t{sector} + 1) << shift_; }
    std::vector<std::uint32_t> chain(std::uint32_t start) const;
    void readAllocation();
    void readDirectory();
    std::size_t rootChild(std::u16string_view name) const;
    std::uint32_t allocate(std::vector<std::uint32_t>& freeSectors);
    std::uint32_t appendSector();
    void addFatSector();
    void addToDifat();
    void writeAllocation();

    std::string image_;
    std::size_t originalSize_ = 0, paddedSize_ = 0;
    int shift_ = 9;
    std::uint32_t miniCutoff_ = 4096;
    std::vector<std::uint32_t> fat_;
    std::vector<std::uint32_t> fatSectors_;    // in DIFAT order
    std::vector<std::uint32_t> difatSectors_;  // the chain of DIFAT sectors
    std::vector<Entry> entries_;
    std::vector<std::size_t> entryOffsets_;
};

}  // namespace sheets::xls
