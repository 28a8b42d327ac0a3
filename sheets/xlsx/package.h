#pragma once

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "sheets/file_identity.h"

struct zip;

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
    std::vector<std::string> parts() const;  // in the file's order
    std::string read(const std::string& part) const;

    // A part's new content; a part the package does not have yet is added after the others.
    void replace(const std::string& part, std::string content);
    void remove(const std::string& part);

    // Writes the package over its file through replaceFile (file_replace.h), refusing when the file
    // is no longer `expected`. Throws Failure; the original is then untouched.
    void writeOver(const std::optional<FileIdentity>& expected);

private:
    std::string path_;
    zip* archive_ = nullptr;
    std::vector<std::string> names_;
    std::map<std::string, std::string> replaced_;
    std::set<std::string> removed_;
};

// "xl/worksheets/sheet1.xml" relative to "xl/workbook.xml": target "worksheets/sheet1.xml".
std::string resolvePartName(const std::string& sourcePart, const std::string& target);
// "xl/worksheets/_rels/sheet1.xml.rels" for "xl/worksheets/sheet1.xml".
std::string relationshipsPartOf(const std::string& part);

}  // namespace sheets::xlsx
