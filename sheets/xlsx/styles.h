#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "sheets/xlsx/parts.h"

namespace sheets::xlsx {

// The cell formats of the package's styles part: found, or added with the number format a cell
// needs. A package without a styles part gets one from `create` when a cell first needs a format.
class Styles {
public:
    Styles(XmlPart* part, std::function<XmlPart&()> create);

    // The id of a format code, added to the part when it is new.
    int formatId(const std::string& code);
    // A cell format like `base` but showing numbers in the format `formatId`; an equal one is reused.
    int withFormat(int base, int formatId);

private:
    XmlPart& part();
    void addCellFormat(pugi::xml_node xf, int& index);

    XmlPart* part_;
    std::function<XmlPart&()> create_;
    pugi::xml_node cellXfs_, numFmts_;
    std::vector<pugi::xml_node> xfs_;
    std::map<std::string, int> codes_;
    std::map<std::pair<int, int>, int> made_;
    int nextId_ = 164;
};

// Adds a styles part holding the one default cell format: the part, its relationship from the
// workbook and its content type.
XmlPart& addStyles(Parts& parts, const std::string& workbookPart);

}  // namespace sheets::xlsx
