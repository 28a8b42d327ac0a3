#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

struct zip;

namespace sheets::xlsx {

// The parts of an .xlsx package, read from its file. Parts not replaced or removed are copied
// into the new file as they are, still compressed.
class Package {
public:
    // Throws Unsupported for an encrypted workbook or a file that is no zip package.
    explicit Package(const std::string& path);
    ~Package();
    Package(const Package&) = delete;
    Package& operator=(const Package&) = delete;

    bool has(const std::string& part) const;
    std::vector<std::string> parts() const;  // in the file's order
    std::string read(const std::string& part) const;

    void replace(const std::string& part, std::string content);
    void remove(const std::string& part);

    // Writes the package to a new file beside the original, syncs it and renames it over the
    // original with the original's permissions and owner. Throws Failure; the original is then untouched.
    void writeOver();

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
