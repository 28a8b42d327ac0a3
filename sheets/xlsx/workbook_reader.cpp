#include "sheets/xlsx/workbook_reader.h"

#include <cstring>
#include <fstream>
#include <set>

#include <pugixml.hpp>

#include "sheets/application.h"
#include "sheets/failure.h"
#include "sheets/xlsx/xlsx_writer.h"
#include "sheets/xlsx/xml.h"

namespace sheets::xlsx {
namespace {

// Whether the file is a compound file holding an encrypted package ("EncryptedPackage", as its
// directory names it in UTF-16).
bool isEncryptedPackage(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string head(1 << 16, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
    if (head.size() < 8 || std::memcmp(head.data(), "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) != 0) return false;
    std::string name;
    for (char c : std::string("EncryptedPackage")) name += std::string{c, '\0'};
    return head.find(name) != std::string::npos;
}

// The package, or the cause the office gives for a file it does not load as an .xlsx.
std::unique_ptr<Package> openPackage(const std::string& path) {
    try {
        return std::make_unique<Package>(path);
    } catch (const Unsupported& u) {
        if (isEncryptedPackage(path))
            throw Failure("cannot open " + path + ": the workbook is encrypted",
                          causeAbout(FailureCause::Kind::Unknown, path));
        throw Failure("cannot open " + path + ": " + u.what(),
                      causeAbout(FailureCause::Kind::NotAWorkbook, path));
    } catch (const Failure& f) {
        // What is no zip package at all the office does not load as a workbook either.
        if (f.cause().kind != FailureCause::Kind::Damaged) throw;
        throw Failure("cannot open " + path + ": " + f.what(),
                      causeAbout(FailureCause::Kind::NotAWorkbook, path));
    }
}

pugi::xml_document parsed(const Package& package, const std::string& part, std::string& text) {
    text = package.read(part);
    pugi::xml_document doc;
    if (!doc.load_buffer_inplace(text.data(), text.size()))
        throw NeedsOffice{"cannot parse " + part, u"文件中有无法读取的部分"};
    return doc;
}

struct Link {
    std::string type, part;
};

// The relationships of a part: their ids, types (the last segment) and target parts.
std::vector<std::pair<std::string, Link>> linksOf(const Package& package, const std::string& part) {
    std::vector<std::pair<std::string, Link>> out;
    const auto rels = relationshipsPartOf(part);
    if (!package.has(rels)) return out;
    std::string text;
    const auto doc = parsed(package, rels, text);
    for (auto rel : children(doc.document_element(), "Relationship")) {
        const std::string type = rel.attribute("Type").value();
        if (std::string_view(rel.attribute("TargetMode").value()) == "External") continue;
        out.push_back(
            {rel.attribute("Id").value(),
             {type.substr(type.rfind('/') + 1), resolvePartName(part, rel.attribute("Target").value())}});
    }
    return out;
}

std::string linkedPart(const std::vector<std::pair<std::string, Link>>& links, std::string_view type) {
    for (const auto& [id, link] : links)
        if (link.type == type) return link.part;
    return {};
}

// Whether the office takes a sheet of that name: none of []*?:/\ in it, no apostrophe at either end.
bool officeTakesName(const std::string& name) {
    return !name.empty() && name.find_first_of("[]*?:/\\") == std::string::npos && name.front() != '\'' &&
           name.back() != '\'';
}

std::string upperAscii(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

}  // namespace

WorkbookReader::WorkbookReader(const std::string& path, NumberLocale locale)
    : path_(path), package_(openPackage(path)) {
    workbookPart_ = linkedPart(linksOf(*package_, ""), "officeDocument");
    if (workbookPart_.empty() || !package_->has(workbookPart_))
        throw Failure("cannot open " + path + ": the package holds no workbook",
                      causeAbout(FailureCause::Kind::NotAWorkbook, path));
    const auto links = linksOf(*package_, workbookPart_);
    std::string text;
    const auto doc = parsed(*package_, workbookPart_, text);
    const auto root = doc.document_element();
    if (localName(root) != "workbook")
        throw Failure("cannot open " + path + ": no workbook",
                      causeAbout(FailureCause::Kind::NotAWorkbook, path));
    const auto pr = child(root, "workbookPr");
    if (pr.attribute("date1904").as_bool()) dateOffset_ = 1462;
    std::set<std::string> names;
    for (auto sheet : children(child(root, "sheets"), "sheet")) {
        Sheet s{sheet.attribute("name").value(), {}, {}};
        // The office leaves out a sheet whose name it does not take: the positions would differ.
        if (!officeTakesName(s.name) || !names.insert(upperAscii(s.name)).second)
            throw NeedsOffice{"the sheet name \"" + s.name + "\" of " + path, u"工作表名称不规范"};
        const std::string id = sheet.attribute("r:id").value();
        for (const auto& [linkId, link] : links)
            if (linkId == id) s.part = link.part, s.type = link.type;
        sheets_.push_back(std::move(s));
    }
    formats_ = std::make_unique<CellFormats>(*package_, linkedPart(links, "styles"), locale);
    stringsPart_ = linkedPart(links, "sharedStrings");
}

const SharedStrings& WorkbookReader::strings(const ReadProgress& progress) {
    if (!strings_) {
        if (stringsPart_.empty() || !package_->has(stringsPart_)) {
            strings_.emplace();
        } else {
            strings_.emplace(*package_, stringsPart_, installedOfficeRelease(), [&](std::uint64_t) {
                if (progress) progress(0, 0);
            });
        }
    }
    return *strings_;
}

std::vector<std::pair<int, int>> WorkbookReader::commentsOf(const std::string& sheetPart) const {
    std::vector<std::pair<int, int>> out;
    const std::string part = linkedPart(linksOf(*package_, sheetPart), "comments");
    if (part.empty() || !package_->has(part)) return out;
    std::string text;
    const auto doc = parsed(*package_, part, text);
    for (auto comment : descendants(doc.document_element(), "comment")) {
        const std::string ref = comment.attribute("ref").value();
        int column = 0, row = 0;
        std::size_t i = 0;
        while (i < ref.size() && ref[i] >= 'A' && ref[i] <= 'Z') column = column * 26 + (ref[i++] - 'A' + 1);
        row = std::atoi(ref.c_str() + i);
        if (column > 0 && row > 0) out.emplace_back(row - 1, column - 1);
    }
    return out;
}

std::unique_ptr<SheetReader> WorkbookReader::read(int position, std::vector<int> columns,
                                                  const ReadProgress& progress) {
    const Sheet& sheet = sheets_.at(static_cast<std::size_t>(position - 1));
    const bool cells = sheet.type == "worksheet" && !sheet.part.empty() && package_->has(sheet.part);
    const SheetContext context{*package_, *formats_, strings(progress), dateOffset_,
                               cells ? commentsOf(sheet.part) : std::vector<std::pair<int, int>>{}};
    if (!cells) {
        if (sheet.type != "worksheet" && sheet.type != "chartsheet" && sheet.type != "dialogsheet" &&
            sheet.type != "xlMacrosheet" && sheet.type != "xlIntlMacrosheet")
            throw NeedsOffice{"sheet " + sheet.name + " is a " + sheet.type, u"工作簿中有未知类型的工作表"};
        return std::make_unique<SheetReader>(context, std::string(), std::move(columns), progress);
    }
    // The office builds the cells of a pivot table anew, in its own words.
    for (const auto& [id, link] : linksOf(*package_, sheet.part))
        if (link.type == "pivotTable")
            throw NeedsOffice{"sheet " + sheet.name + " holds a pivot table",
                              u"工作表中有数据透视表，LibreOffice 会重建其单元格"};
    return std::make_unique<SheetReader>(context, sheet.part, std::move(columns), progress);
}

}  // namespace sheets::xlsx
