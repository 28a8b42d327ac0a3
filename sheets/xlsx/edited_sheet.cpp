// The layout pass: everything of the edited sheet that sits in a column.
#include <algorithm>
#include <cstring>
#include <set>

#include "sheets/utf8.h"
#include "sheets/xlsx/insertion.h"
#include "sheets/xlsx/xlsx_writer.h"

namespace sheets::xlsx {
namespace {

[[noreturn]] void unsupported(const std::string& detail, std::u16string reason) {
    throw Unsupported(detail, std::move(reason));
}

int firstColumn(std::string_view ref) {
    int c = 0, r = 0;
    const auto colon = ref.find(':');
    return parseCell(ref.substr(0, colon), c, r) ? c : 0;
}
int lastColumn(std::string_view ref) {
    int c = 0, r = 0;
    const auto colon = ref.find(':');
    return parseCell(colon == std::string_view::npos ? ref : ref.substr(colon + 1), c, r) ? c : 0;
}
bool cuts(const ColumnInsertion& ins, std::string_view ref) {
    return firstColumn(ref) < ins.at && ins.at <= lastColumn(ref);
}

constexpr std::string_view kConditionalFormats = "{78C0D931-6437-407d-A8EE-F0AAD7539E65}";
constexpr std::string_view kValidations = "{CCE6A557-97BC-4b89-ADB6-D9C93CAAB3DF}";

// Attributes of x14/x15 extensions this pass understands, by the extension's URI.
const std::set<std::string, std::less<>> kRangeExtensions = {
    std::string(kConditionalFormats),         std::string(kValidations),
    "{05C60535-1F16-4fd2-B633-F4F36F0B64E0}",  // sparklines
    "{01252117-D84E-4E92-8308-4BE1C098FCBB}",  // ignored errors
    "{876F7934-8845-4945-9796-88D515C7AA90}",  // protected ranges
};
const std::set<std::string, std::less<>> kExtensionsWithoutRanges = {
    "{A8765BA9-456A-4dab-B4F3-ACF838C121DE}",  // slicers
    "{3A4CF648-6AED-40f4-86FF-DC5316D8AED3}",  // table slicers
    "{7E03D99C-DC04-49d9-9315-930204A7B6E9}",  // timelines
    "{F7C9EE02-42E1-4005-9D12-6889AFFD525C}",  // web extensions
    "{64002731-A6B0-56B0-2670-7721B7C09600}",  // Excel for Mac page layout view
};

// Where the columns of a sheet lie on the page, in EMU, before and after the insertion, the sheet's
// column ranges already moved: widths as Excel lays them out in pixels of its default font's digit
// (Calibri 11, 7 pixels wide), 9525 EMU each; a default width of so many digits and some padding,
// rounded up to 8 pixels.
class ColumnGrid {
public:
    ColumnGrid(pugi::xml_node sheet, const ColumnInsertion& ins) : ins_(ins) {
        const auto format = child(sheet, "sheetFormatPr");
        defaultWidth_ = format.attribute("defaultColWidth")
                            ? pixels(format.attribute("defaultColWidth").as_double())
                            : (format.attribute("baseColWidth").as_int(8) * kDigit + 5 + 7) / 8 * 8;
        for (auto col : children(child(sheet, "cols"), "col")) {
            const bool hidden = col.attribute("hidden").as_bool();
            ranges_.push_back({col.attribute("min").as_int(), col.attribute("max").as_int(),
                               hidden                   ? 0
                               : col.attribute("width") ? pixels(col.attribute("width").as_double())
                                                        : defaultWidth_});
        }
    }

    // The left edge of a 0-based column before the insertion, plus nothing.
    long long before(int column) const {
        long long x = 0;
        for (int c = 1; c <= column; ++c) x += width(c < ins_.at ? c : c + ins_.count);
        return x;
    }
    // The 0-based column a position falls in after the insertion, and the position's offset in it.
    std::pair<int, long long> after(long long x) const {
        int c = 1;
        for (; c < kMaxColumn && x >= width(c); ++c) x -= width(c);
        return {c - 1, x};
    }

private:
    static constexpr int kDigit = 7;
    static constexpr long long kEmu = 9525;

    static int pixels(double width) {
        return static_cast<int>(((256 * width + 128 / kDigit) / 256) * kDigit);
    }
    // The width of a 1-based column after the insertion, in EMU.
    long long width(int column) const {
        for (const auto& r : ranges_)
            if (r.min <= column && column <= r.max) return r.pixels * kEmu;
        return defaultWidth_ * kEmu;
    }

    struct Range {
        int min, max, pixels;
    };
    const ColumnInsertion& ins_;
    int defaultWidth_ = 64;
    std::vector<Range> ranges_;
};

class LayoutPass {
public:
    LayoutPass(const ColumnInsertion& ins, bool& changed) : ins_(ins), changed_(changed) {}

    void attribute(pugi::xml_node node, const char* name, bool isRange,
                   Spanning spanning = Spanning::Covers) {
        auto a = node.attribute(name);
        if (!a || !*a.value()) return;
        auto value = isRange ? shiftSqref(a.value(), ins_, spanning) : shiftCellAddress(a.value(), ins_);
        if (value.empty())
            unsupported(std::string("the range ") + a.value() + " is pushed off the sheet",
                        u"插入列会把区域推出工作表");
        changed_ |= setAttribute(node, name, value);
    }
    void text(pugi::xml_node node, Spanning spanning) {
        auto value = shiftSqref(node.text().get(), ins_, spanning);
        if (value.empty())
            unsupported(std::string("the range ") + node.text().get() + " is pushed off the sheet",
                        u"插入列会把区域推出工作表");
        changed_ |= setText(node, value);
    }

    void sheet(pugi::xml_node root) {
        for (auto node : root.children()) {
            if (node.type() == pugi::node_element) element(node);
        }
    }

    // One row: its spans, its cells' addresses, and the inserted cells taking the style of the
    // cell to their left.
    void row(pugi::xml_node row) {
        if (auto spans = row.attribute("spans")) {
            const std::string_view s = spans.value();
            const auto colon = s.find(':');
            if (colon != std::string_view::npos) {
                const int a = std::atoi(spans.value()), b = std::atoi(spans.value() + colon + 1);
                const int na = ins_.shift(a), nb = std::min(ins_.shift(b), kMaxColumn);
                if (na != a || nb != b) {
                    spans.set_value((std::to_string(std::min(na, nb)) + ":" + std::to_string(nb)).c_str());
                }
            }
        }
        pugi::xml_node firstMoved;
        for (auto c : row.children()) {
            if (c.type() != pugi::node_element) continue;
            const char* r = c.attribute("r").value();
            int column = 0, number = 0;
            if (!*r) unsupported("a cell without its address", u"单元格缺少地址");
            if (!parseCell(r, column, number))
                unsupported(std::string("the cell address ") + r, u"单元格地址无法识别");
            if (column < ins_.at) continue;
            if (!firstMoved) firstMoved = c;
            c.attribute("r").set_value(shiftCellAddress(r, ins_).c_str());
        }
        if (row.attribute("customFormat").as_bool() && row.attribute("s")) unstyledCells(row, firstMoved);
    }

    // A row's style covers the cells it does not hold; the inserted ones are given the default style.
    void unstyledCells(pugi::xml_node row, pugi::xml_node before) {
        const auto name = prefixOf(row) + "c";
        const std::string number = row.attribute("r").value();
        for (int column = ins_.at; column < ins_.at + ins_.count; ++column) {
            auto cell =
                before ? row.insert_child_before(name.c_str(), before) : row.append_child(name.c_str());
            cell.append_attribute("r").set_value((columnName(column) + number).c_str());
            // The office gives a cell without a style its row's.
            cell.append_attribute("s").set_value("0");
        }
    }

    // The anchors below `top`: drawings', controls' and embedded objects'. One anchored absolutely
    // stays where it is on the page, its corners found again among the moved columns of `sheet`; one
    // that moves without resizing keeps its width when the insertion falls inside it; the others move
    // and size with their cells.
    void anchors(pugi::xml_node top, pugi::xml_node sheet) {
        for (const char* kind : {"twoCellAnchor", "oneCellAnchor", "anchor"}) {
            for (auto anchor : descendants(top, kind)) {
                const std::string_view editAs = anchor.attribute("editAs").value();
                const bool objectAnchor = localName(anchor) == "anchor";
                const bool moves =
                    objectAnchor ? anchor.attribute("moveWithCells").as_bool() : editAs != "absolute";
                const bool sizes =
                    objectAnchor ? anchor.attribute("sizeWithCells").as_bool() : editAs != "oneCell";
                if (!moves) {
                    const ColumnGrid grid(sheet, ins_);
                    for (const char* end : {"from", "to"}) stayPut(child(anchor, end), grid);
                    continue;
                }
                const bool fromMoved = corner(child(anchor, "from"));
                if (sizes || fromMoved) corner(child(anchor, "to"));
            }
        }
    }

private:
    void stayPut(pugi::xml_node corner, const ColumnGrid& grid) {
        auto col = child(corner, "col"), offset = child(corner, "colOff");
        if (!col) return;
        const auto [column, emu] = grid.after(grid.before(col.text().as_int()) + offset.text().as_llong());
        changed_ |= setText(col, std::to_string(column));
        if (offset) changed_ |= setText(offset, std::to_string(emu));
    }

    // A from/to corner (0-based column); whether it moved.
    bool corner(pugi::xml_node node) {
        auto col = child(node, "col");
        if (!col) return false;
        const int zeroBased = col.text().as_int();
        if (zeroBased + 1 < ins_.at) return false;
        if (zeroBased + ins_.count >= kMaxColumn)
            unsupported("an anchor pushed off the sheet", u"插入列会把图形推出工作表");
        changed_ |= setText(col, std::to_string(zeroBased + ins_.count));
        return true;
    }

    void element(pugi::xml_node node) {
        const auto name = localName(node);
        static const std::set<std::string, std::less<>> kWithoutColumns = {
            "sheetPr",          "sheetFormatPr",   "sheetCalcPr",    "phoneticPr", "printOptions",
            "pageMargins",      "pageSetup",       "headerFooter",   "rowBreaks",  "drawing",
            "legacyDrawing",    "legacyDrawingHF", "drawingHF",      "picture",    "tableParts",
            "customProperties", "sheetProtection", "dataConsolidate"};
        if (kWithoutColumns.count(name)) return;
        if (name == "dimension") return attribute(node, "ref", true);
        if (name == "sheetViews" || name == "customSheetViews") return views(node);
        if (name == "cols") return cols(node);
        if (name == "sheetData") return;  // its rows go through row() one at a time
        if (name == "mergeCells") return each(node, "mergeCell", "ref");
        if (name == "conditionalFormatting") return attribute(node, "sqref", true, Spanning::LeavesOut);
        if (name == "dataValidations") return each(node, "dataValidation", "sqref", Spanning::LeavesOut);
        if (name == "hyperlinks") return each(node, "hyperlink", "ref");
        if (name == "ignoredErrors") return each(node, "ignoredError", "sqref");
        if (name == "protectedRanges") return each(node, "protectedRange", "sqref");
        if (name == "autoFilter") return autoFilter(node);
        if (name == "sortState") return sortState(node);
        if (name == "colBreaks") return colBreaks(node);
        if (name == "cellWatches") return cellAttributes(node, "cellWatch", "r");
        if (name == "scenarios") return scenarios(node);
        if (name == "webPublishItems") return each(node, "webPublishItem", "sourceRef");
        if (name == "smartTags") return cellAttributes(node, "cellSmartTags", "r");
        if (name == "oleObjects" || name == "controls") return anchors(node, node.parent());
        if (name == "extLst") return extensions(node);
        if (name == "AlternateContent") {
            for (auto choice : node.children()) sheet(choice);
            return;
        }
        unsupported("the sheet holds <" + std::string(node.name()) + ">, which this writer does not move",
                    u"工作表中有无法移动的内容（" + fromUtf8(node.name()) + u"）");
    }

    // What-if scenarios: the cells they change, and the selection they were made with.
    void scenarios(pugi::xml_node node) {
        attribute(node, "sqref", true);
        cellAttributes(node, "inputCells", "r");
    }

    void each(pugi::xml_node parent, std::string_view child, const char* attr,
              Spanning spanning = Spanning::Covers) {
        for (auto n : children(parent, child)) attribute(n, attr, true, spanning);
    }
    void cellAttributes(pugi::xml_node parent, std::string_view child, const char* attr) {
        for (auto n : descendants(parent, child)) attribute(n, attr, false);
    }

    // The view keeps showing the same columns (its top-left cell stays), frozen columns stay frozen
    // with the columns inserted among them, and the selection follows its cells.
    void views(pugi::xml_node views) {
        for (auto view : views.children()) {
            if (view.type() != pugi::node_element) continue;
            const int left =
                view.attribute("topLeftCell") ? firstColumn(view.attribute("topLeftCell").value()) : 1;
            if (auto pane = child(view, "pane")) {
                const std::string_view state = pane.attribute("state").value();
                const int split = pane.attribute("xSplit").as_int();
                if ((state == "frozen" || state == "frozenSplit") && split > 0 && ins_.at < left + split) {
                    changed_ |= setAttribute(pane, "xSplit", std::to_string(split + ins_.count));
                    attribute(pane, "topLeftCell", false);
                }
            }
            for (auto selection : children(view, "selection")) {
                attribute(selection, "activeCell", false);
                attribute(selection, "sqref", true);
            }
        }
    }

    // Column ranges move right. The inserted columns take the widths and visibility that their
    // places had before, but no style, as in the office: a range that spans the insertion point is
    // split around them.
    void cols(pugi::xml_node cols) {
        const int last = ins_.at + ins_.count - 1;
        for (auto col : children(cols, "col")) {
            const int min = col.attribute("min").as_int(), max = col.attribute("max").as_int();
            if (std::max(min, ins_.at) <= std::min(max, last))
                insertedColumns(cols, col, std::max(min, ins_.at), std::min(max, last));
            pugi::xml_node moved = col;
            if (min < ins_.at && ins_.at <= max) {
                moved = cols.insert_copy_after(col, col);
                changed_ |= setAttribute(moved, "min", std::to_string(ins_.at));
                changed_ |= setAttribute(col, "max", std::to_string(ins_.at - 1));
            }
            if (moved.attribute("min").as_int() >= ins_.at) moveColumns(cols, moved);
        }
        inOrder(cols);
        if (!child(cols, "col"))
            unsupported("every column width is pushed off the sheet", u"插入列会把列宽推出工作表");
    }

    void insertedColumns(pugi::xml_node cols, pugi::xml_node like, int min, int max) {
        auto made = cols.append_copy(like);
        made.remove_attribute("style");
        setAttribute(made, "min", std::to_string(min));
        setAttribute(made, "max", std::to_string(max));
        changed_ = true;
    }

    static void inOrder(pugi::xml_node cols) {
        auto all = children(cols, "col");
        std::stable_sort(all.begin(), all.end(), [](pugi::xml_node a, pugi::xml_node b) {
            return a.attribute("min").as_int() < b.attribute("min").as_int();
        });
        for (auto col : all) cols.append_move(col);
    }

    void moveColumns(pugi::xml_node cols, pugi::xml_node col) {
        const int min = col.attribute("min").as_int(), max = col.attribute("max").as_int();
        const int newMin = ins_.shift(min);
        if (newMin > kMaxColumn) {
            cols.remove_child(col);
            changed_ = true;
            return;
        }
        const int newMax = max == kMaxColumn ? max : std::min(ins_.shift(max), kMaxColumn);
        changed_ |= setAttribute(col, "min", std::to_string(newMin));
        changed_ |= setAttribute(col, "max", std::to_string(newMax));
    }

    void autoFilter(pugi::xml_node filter) {
        const std::string ref = filter.attribute("ref").value();
        if (cuts(ins_, ref)) {
            const int from = ins_.at - firstColumn(ref);
            for (auto column : children(filter, "filterColumn")) {
                const int id = column.attribute("colId").as_int();
                if (id >= from) changed_ |= setAttribute(column, "colId", std::to_string(id + ins_.count));
            }
        }
        attribute(filter, "ref", true);
        for (auto sort : children(filter, "sortState")) sortState(sort);
    }

    void sortState(pugi::xml_node sort) {
        attribute(sort, "ref", true);
        for (auto condition : children(sort, "sortCondition")) attribute(condition, "ref", true);
    }

    void colBreaks(pugi::xml_node breaks) {
        for (auto brk : children(breaks, "brk")) {
            const int id = brk.attribute("id").as_int();
            if (id >= ins_.at)
                changed_ |= setAttribute(brk, "id", std::to_string(std::min(id + ins_.count, kMaxColumn)));
        }
    }

    void extensions(pugi::xml_node list) {
        for (auto ext : children(list, "ext")) {
            const std::string_view uri = ext.attribute("uri").value();
            if (kExtensionsWithoutRanges.count(uri)) continue;
            if (!kRangeExtensions.count(uri)) {
                unsupported("the sheet has the unknown extension " + std::string(uri),
                            u"工作表中有无法移动的扩展内容");
            }
            const bool formats = uri == kConditionalFormats || uri == kValidations;
            for (auto sqref : descendants(ext, "sqref"))
                text(sqref, formats ? Spanning::LeavesOut : Spanning::Covers);
        }
    }

    const ColumnInsertion& ins_;
    bool& changed_;
};

void drawing(XmlPart& part, pugi::xml_node sheet, const ColumnInsertion& ins) {
    LayoutPass(ins, part.changed).anchors(part.root(), sheet);
}

void comments(XmlPart& part, const ColumnInsertion& ins) {
    LayoutPass pass(ins, part.changed);
    for (const char* kind : {"comment", "threadedComment"}) {
        for (auto c : descendants(part.root(), kind)) pass.attribute(c, "ref", false);
    }
}

void table(XmlPart& part, const ColumnInsertion& ins) {
    auto root = part.root();
    if (cuts(ins, root.attribute("ref").value())) {
        const std::string name = root.attribute("displayName").value();
        unsupported("the insertion cuts through the table " + name,
                    u"插入列会穿过表格“" + fromUtf8(name) + u"”");
    }
    LayoutPass pass(ins, part.changed);
    pass.attribute(root, "ref", true);
    for (auto filter : descendants(root, "autoFilter")) pass.attribute(filter, "ref", true);
    for (auto sort : descendants(root, "sortState")) pass.attribute(sort, "ref", true);
    for (auto condition : descendants(root, "sortCondition")) pass.attribute(condition, "ref", true);
}

void pivotTable(XmlPart& part, const ColumnInsertion& ins) {
    auto location = child(part.root(), "location");
    if (cuts(ins, location.attribute("ref").value())) {
        unsupported("the insertion cuts through a pivot table", u"插入列会穿过数据透视表");
    }
    LayoutPass(ins, part.changed).attribute(location, "ref", true);
}

// Legacy VML: each note's x:Anchor ("LeftColumn, LeftOffset, TopRow, TopOffset, RightColumn, ...")
// and x:Column count columns from 0. VML is often not well-formed XML, so it is edited as text.
std::string shiftVml(std::string vml, const ColumnInsertion& ins) {
    const auto shiftNumber = [&](std::string& s, std::size_t begin, std::size_t end) {
        const auto start = s.find_first_not_of(" \r\n\t", begin);
        const int value = std::atoi(s.c_str() + start);
        if (value + 1 < ins.at) return;
        const auto stop = s.find_first_not_of("0123456789", start);
        s.replace(start, std::min(stop, end) - start, std::to_string(value + ins.count));
    };
    for (const std::string tag : {"x:Anchor", "x:Column"}) {
        std::size_t pos = 0;
        while ((pos = vml.find("<" + tag + ">", pos)) != std::string::npos) {
            const auto begin = pos + tag.size() + 2;
            const auto end = vml.find("</" + tag + ">", begin);
            if (end == std::string::npos) unsupported("unreadable VML anchor", u"批注位置无法识别");
            if (tag == "x:Column") {
                shiftNumber(vml, begin, end);
            } else {
                const auto comma1 = vml.find(',', begin);
                const auto comma4 = [&] {
                    auto p = begin;
                    for (int i = 0; i < 4; ++i) p = vml.find(',', p) + 1;
                    return p;
                }();
                shiftNumber(vml, comma4, vml.find(',', comma4));
                shiftNumber(vml, begin, comma1);
            }
            pos = begin;
        }
    }
    return vml;
}

}  // namespace

void shiftRowLayout(pugi::xml_node row, const ColumnInsertion& insertion) {
    bool changed = false;
    LayoutPass(insertion, changed).row(row);
}

void shiftEditedSheet(Parts& parts, const std::string& sheetPart, const ColumnInsertion& insertion) {
    auto& sheet = parts.get(sheetPart);
    LayoutPass(insertion, sheet.changed).sheet(sheet.root());
    for (const auto& rel : relationshipsOf(parts, sheetPart)) {
        if (rel.external) continue;
        static const std::set<std::string, std::less<>>
            kWithoutColumns = {"printerSettings", "image",          "hyperlink",    "slicer",
                               "timeline",        "customProperty", "webextension", "package",
                               "oleObject",       "vmlDrawingHF",   "ctrlProp"};  // a control's anchor is in
                                                                                  // the sheet, its links
                                                                                  // moved with the formulas
        if (kWithoutColumns.count(rel.type)) continue;
        if (rel.type == "drawing") {
            drawing(parts.get(rel.part), sheet.root(), insertion);
        } else if (rel.type == "comments" || rel.type == "threadedComment") {
            comments(parts.get(rel.part), insertion);
        } else if (rel.type == "table") {
            table(parts.get(rel.part), insertion);
        } else if (rel.type == "pivotTable") {
            pivotTable(parts.get(rel.part), insertion);
        } else if (rel.type == "vmlDrawing") {
            auto& package = parts.package();
            auto shifted = shiftVml(package.read(rel.part), insertion);
            package.replace(rel.part, std::move(shifted));
        } else {
            unsupported("the sheet has a " + rel.type + " part (" + rel.part + ") this writer does not move",
                        u"工作表中有无法移动的内容（" + fromUtf8(rel.type) + u"）");
        }
    }
}

}  // namespace sheets::xlsx
