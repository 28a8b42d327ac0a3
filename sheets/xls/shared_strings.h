#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "sheets/xls/biff.h"

namespace sheets::xls {

// The shared string table of the globals (SST with its CONTINUE records, and its index EXTSST).
// Strings are only added: those the file has keep their bytes and their places.
class SharedStrings {
public:
    // Reads the table from the globals' records; Damaged when it does not read.
    explicit SharedStrings(const std::vector<Record>& globals);

    // The index of a string: an existing plain one of the same text, or a new one.
    std::uint32_t indexOf(const std::u16string& text);
    // Cells that refer to a string: added (positive) or gone (negative).
    void countReferences(int delta) { referenceDelta_ += delta; }
    bool changed() const { return !added_.empty() || referenceDelta_ != 0; }

    // Writes the counts and the new strings into the globals (a table is made when there is none).
    void commit(std::vector<Record>& globals) const;
    // The index of the strings once the globals' records are at their final stream positions.
    void index(std::vector<Record>& globals, const std::vector<std::size_t>& positions) const;

private:
    struct Place {
        std::size_t record;  // counted from the SST record
        std::size_t offset;  // in that record's data
    };
    void read(const std::vector<Record>& parts);
    std::size_t readString(const std::vector<Record>& parts, std::size_t& record, std::size_t& offset,
                           std::u16string* text) const;
    void append(std::vector<Record>& parts, const std::u16string& text) const;
    std::size_t bucketSize() const;

    bool present_ = false;
    bool appendable_ = true;
    std::uint32_t total_ = 0, unique_ = 0;
    int referenceDelta_ = 0;
    std::vector<Place> places_;
    std::unordered_map<std::u16string, std::uint32_t> plain_;
    std::vector<std::u16string> added_;
    mutable std::vector<Place> addedPlaces_;
    std::uint16_t bucketSize_ = 8;
};

}  // namespace sheets::xls
