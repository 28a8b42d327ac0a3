#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sheets/xlsx/package.h"
#include "sheets/xlsx/xml.h"

namespace sheets::xlsx {

// The package's XML parts, each parsed when first asked for and put back when changed.
class Parts {
public:
    explicit Parts(Package& package) : package_(package) {}
    Package& package() { return package_; }
    bool has(const std::string& part) const { return package_.has(part); }
    XmlPart& get(const std::string& part);
    // Takes `text` as the part's XML from now on, instead of what the package holds.
    XmlPart& adopt(const std::string& part, std::string text);
    // Puts every changed part back into the package.
    void store();

private:
    Package& package_;
    std::map<std::string, std::unique_ptr<XmlPart>> parsed_;
};

struct Relationship {
    std::string id;
    std::string type;  // the last segment of the type URI: "worksheet", "drawing", "table"
    std::string part;  // the target part's name, or the target itself when external
    bool external = false;
};

// The relationships of a part (none when it has no relationships part).
std::vector<Relationship> relationshipsOf(Parts& parts, const std::string& part);

}  // namespace sheets::xlsx
