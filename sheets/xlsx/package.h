#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "sheets/file_identity.h"
#include "sheets/xlsx/part_deflater.h"

struct zip;
struct zip_file;

namespace sheets::xlsx {

// The parts of an .xlsx package, read from its file. Parts not replaced or removed are copied
// into the new file as they are, still compressed.
class Package {
public:
    // Throws Unsupported for an encrypted workbook, Failure (Damaged) for a file that is no zip
    // package or one whose parts cannot be read.
    explicit Package(const std::string& path);
    ~Package();
    Package(const Package&) = delete;
    Package& operator=(const Package&) = delete;

    bool has(const std::string& part) const;
    // The part's uncompressed size as the package states it.
    std::uint64_t sizeOf(const std::string& part) const;
    std::vector<std::string> parts() const;  // in the file's order
    std::string read(const std::string& part) const;

    // A part's new content; a part the package does not have yet is added after the others.
    void replace(const std::string& part, std::string content);
    // The same, deflated already (a large part: see PartDeflater); the part can no longer be read.
    void replace(const std::string& part, DeflatedPart content);
    void remove(const std::string& part);

    // Writes the package over its file through replaceFile (file_replace.h), refusing when the file
    // is no longer `expected`. Throws Failure; the original is then untouched.
    void writeOver(const std::optional<FileIdentity>& expected);

private:
    friend class PartStream;
    std::string path_;
    zip* archive_ = nullptr;
    std::vector<std::string> names_;
    std::map<std::string, std::string> replaced_;
    std::map<std::string, DeflatedPart> deflated_;
    std::set<std::string> removed_;
};

// A part read as it inflates, piece by piece, for parts too large to hold at once. One at a time per
// package; it may be read on another thread than the one that opened it.
class PartStream {
public:
    // Throws Failure when the package has no such part.
    PartStream(const Package& package, const std::string& part);
    ~PartStream();
    PartStream(const PartStream&) = delete;
    PartStream& operator=(const PartStream&) = delete;

    // Up to max bytes of the part into out; 0 at its end. Throws Failure when the part's data is
    // damaged.
    std::size_t read(char* out, std::size_t max);
    std::uint64_t size() const { return size_; }

private:
    std::string part_;
    ::zip_file* file_ = nullptr;
    std::uint64_t size_ = 0;
};

// "xl/worksheets/sheet1.xml" relative to "xl/workbook.xml": target "worksheets/sheet1.xml".
std::string resolvePartName(const std::string& sourcePart, const std::string& target);
// "xl/worksheets/_rels/sheet1.xml.rels" for "xl/worksheets/sheet1.xml".
std::string relationshipsPartOf(const std::string& part);

}  // namespace sheets::xlsx
