#include "sheets/xlsx/row_stream.h"

#include "sheets/xlsx/cell_writer.h"
#include "sheets/xlsx/insertion.h"
#include "sheets/xlsx/xlsx_writer.h"
#include "sheets/xlsx/xml.h"
#include "sheets/xlsx/xml_scanner.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <tuple>

namespace sheets::xlsx {
namespace {

// Well-formed, but not rows this writer can take apart.
[[noreturn]] void unreadable(const std::string& part, const std::string& why) {
    throw Unsupported("cannot split the rows of " + part + ": " + why, u"工作表无法读取");
}

[[noreturn]] void notWellFormed(const std::string& part, const std::string& why) {
    damaged("the rows of " + part + " are not well-formed: " + why);
}

// The end of the start tag beginning at `pos` (the position after its '>'), quotes respected.
std::size_t endOfTag(const std::string& s, std::size_t pos) {
    char quote = 0;
    for (; pos < s.size(); ++pos) {
        const char c = s[pos];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            return pos + 1;
        }
    }
    return std::string::npos;
}

bool isNameEnd(char c) {
    return c == ' ' || c == '>' || c == '/' || c == '\t' || c == '\r' || c == '\n';
}

// A row whose cells are copied as they are but for the addresses the insertion moves: one without
// formulas, markup other than elements, extensions or a namespace prefix, with cells and no style
// over its cells. What the edit does to it comes down to its start tag, its cells' addresses and the
// new cells.
class TextRow {
public:
    // Takes a row; false when it is not of that kind or its cells are not in order.
    bool read(std::string_view row) {
        cells_.clear();
        if (row.find("<f") != std::string_view::npos || row.find("<!") != std::string_view::npos ||
            row.find("<?") != std::string_view::npos || row.find("<ext") != std::string_view::npos ||
            !row.ends_with("</row>"))
            return false;
        const auto tagEnd = row.find('>');
        const auto tag = row.substr(0, tagEnd);
        if (row[tagEnd - 1] == '/' || !quotesBalanced(tag) ||
            tag.find("customFormat") != std::string_view::npos)
            return false;
        startTag_ = row.substr(0, tagEnd + 1);
        body_ = row.substr(tagEnd + 1, row.size() - tagEnd - 1 - 6);
        return findCells();
    }

    // The start tag as a row element without content, for a DOM to take.
    std::string emptyRow() const { return std::string(startTag_.substr(0, startTag_.size() - 1)) + "/>"; }

    // Appends the cells with their new addresses and `newCells` before the first cell after column
    // `newFrom`; false, having appended nothing, when a cell would leave the sheet or `written` says
    // the cell writer would write over or clear it.
    template <class Written>
    bool appendCells(std::string& out, const ColumnInsertion& ins, std::string_view newCells, int newFrom,
                     const Written& written) const {
        std::size_t insertAt = body_.size();
        for (const auto& c : cells_) {
            const int column = ins.shift(c.column);
            if (column > kMaxColumn || written(column)) return false;
            if (column > newFrom && insertAt == body_.size()) insertAt = c.start;
        }
        std::size_t pos = 0;
        const auto copyTo = [&](std::size_t to) {
            out.append(body_, pos, to - pos);
            pos = to;
        };
        bool inserted = false;
        for (const auto& c : cells_) {
            if (!inserted && c.start == insertAt) {
                copyTo(insertAt);
                out += newCells;
                inserted = true;
            }
            if (ins.shift(c.column) == c.column) continue;
            copyTo(c.addressBegin);
            out += columnName(ins.shift(c.column));
            pos += c.letters;
        }
        if (!inserted) {
            copyTo(insertAt);
            out += newCells;
        }
        copyTo(body_.size());
        return true;
    }

private:
    struct Cell {
        std::size_t start;         // of its start tag in the body
        std::size_t addressBegin;  // of its address in the body
        std::size_t letters;       // the length of the address's column letters
        int column;
    };

    // An odd quote, or a single one: a '>' found may be quoted, so the tag's end is not certain.
    static bool quotesBalanced(std::string_view tag) {
        return std::count(tag.begin(), tag.end(), '"') % 2 == 0 && tag.find('\'') == std::string_view::npos;
    }

    static bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

    // Character data with nothing but known references in it, as a parser would take it.
    bool charactersWellFormed(std::string_view text) {
        if (text.find('&') == std::string_view::npos) return true;
        decoded_.clear();
        return appendCharacters(text, decoded_);
    }

    // ` name="value"` pairs, then perhaps spaces and the '/' of an empty element.
    bool attributesWellFormed(std::string_view s) {
        std::size_t i = 0;
        for (;;) {
            const auto start = i;
            while (i < s.size() && isSpace(s[i])) ++i;
            if (i == s.size() || s.substr(i) == "/") return true;
            const auto eq = s.find('=', i);
            if (i == start || eq == std::string_view::npos || eq + 1 >= s.size() || s[eq + 1] != '"')
                return false;
            const auto name = s.substr(i, eq - i);
            const auto close = s.find('"', eq + 2);
            if (name.find_first_of(" \t\r\n\"/<") != std::string_view::npos ||
                close == std::string_view::npos || !charactersWellFormed(s.substr(eq + 2, close - eq - 2)))
                return false;
            i = close + 1;
        }
    }

    // The cells' start tags and columns, in order; false when the body holds anything but cells in
    // order, whitespace between them, or markup that does not nest as XML's must.
    bool findCells() {
        open_.clear();
        std::size_t pos = 0;
        for (;;) {
            const auto lt = body_.find('<', pos);
            const auto text =
                body_.substr(pos, lt == std::string_view::npos ? std::string_view::npos : lt - pos);
            if (open_.empty() ? !std::all_of(text.begin(), text.end(), isSpace) : !charactersWellFormed(text))
                return false;
            if (lt == std::string_view::npos) return open_.empty() && !cells_.empty();
            const auto gt = body_.find('>', lt);
            if (gt == std::string_view::npos || !tag(lt, body_.substr(lt + 1, gt - lt - 1))) return false;
            pos = gt + 1;
        }
    }

    // The markup "<" + tag + ">" at `at`.
    bool tag(std::size_t at, std::string_view tag) {
        if (!quotesBalanced(tag) || tag.find('<') != std::string_view::npos) return false;
        if (tag.starts_with('/')) {
            if (open_.empty() || open_.back() != tag.substr(1)) return false;
            open_.pop_back();
            return true;
        }
        const auto name = tag.substr(0, std::min(tag.find_first_of(" \t\r\n/"), tag.size()));
        if (name.empty() || !attributesWellFormed(tag.substr(name.size())) ||
            (open_.empty() && !cell(at, tag)))
            return false;
        if (!tag.ends_with('/')) open_.push_back(name);
        return true;
    }

    bool cell(std::size_t at, std::string_view tag) {
        const auto r = tag.find(" r=\"");
        if (!tag.starts_with("c") || r == std::string_view::npos || !isNameEnd(tag[1])) return false;
        const auto address = tag.substr(r + 4, tag.find('"', r + 4) - r - 4);
        int column = 0, row = 0;
        if (!parseCell(address, column, row) || (!cells_.empty() && column <= cells_.back().column))
            return false;
        cells_.push_back({at, at + 1 + r + 4, address.find_first_of("0123456789"), column});
        return true;
    }

    std::string_view startTag_, body_;
    std::vector<Cell> cells_;
    std::vector<std::string_view> open_;  // the elements open in a cell
    std::string decoded_;
};

// Prints rows in order, each with its cells: the sheet's own, and those the cells need that the sheet
// lacks.
class RowPrinter {
public:
    RowPrinter(std::string& out, CellWriter& cells, std::string rowName)
        : text_(out), output_(out), cells_(cells), rowName_(std::move(rowName)) {}
    // Rows up to this number are printed or need none.
    int done() const { return done_; }

    void makeRowsBefore(int number) {
        for (int n = done_ + 1; n < number && n <= cells_.rowCount(); ++n) {
            if (!cells_.hasValue(n)) continue;
            made_.reset();
            auto row = made_.append_child(rowName_.c_str());
            row.append_attribute("r").set_value(n);
            print(row, n);
        }
        done_ = std::max(done_, number - 1);
    }

    void print(pugi::xml_node row, int number) {
        cells_.writeRow(row);
        row.print(output_, "", pugi::format_raw);
        done_ = number;
    }

    // A row TextRow took, its start tag and new cells made as print() makes them; false, having printed
    // nothing, when it has to go through print() after all.
    bool printText(const TextRow& row, const ColumnInsertion& ins) {
        startTag_.reset();
        const auto emptyRow = row.emptyRow();
        if (!startTag_.load_buffer(emptyRow.data(), emptyRow.size(), kParseOptions, pugi::encoding_utf8))
            return false;
        const auto node = startTag_.first_child();
        const int number = node.attribute("r").as_int();
        if (number <= done_) return false;
        if (ins.count > 0) shiftRowLayout(node, ins);
        cells_.writeRow(node);
        int newFrom = 0, newRow = 0;
        if (const auto first = node.first_child()) parseCell(first.attribute("r").value(), newFrom, newRow);
        const auto newCells = startAndNewCells(node);
        const auto written = [&](int column) { return cells_.writes(number, column); };
        if (!row.appendCells(rowText_, ins, newCells, newFrom, written)) return false;
        makeRowsBefore(number);
        text_ += rowText_;
        text_ += "</row>";
        done_ = number;
        return true;
    }

private:
    // Puts the printed start tag of a row element into rowText_; its cells, printed.
    std::string_view startAndNewCells(pugi::xml_node row) {
        printed_.clear();
        XmlOutput printed(printed_);
        row.print(printed, "", pugi::format_raw);
        // "<row .../>" without new cells, else "<row ...>cells</row>".
        const std::string_view text = printed_;
        const auto tagEnd = endOfTag(printed_, 0);
        const bool empty = text.substr(0, tagEnd).ends_with("/>");
        rowText_.assign(text.substr(0, empty ? tagEnd - 2 : tagEnd));
        if (empty) rowText_ += '>';
        return empty ? std::string_view() : text.substr(tagEnd, text.size() - tagEnd - 6);
    }

    std::string& text_;
    pugi::xml_document startTag_;
    std::string printed_, rowText_;
    XmlOutput output_;
    CellWriter& cells_;
    std::string rowName_;
    pugi::xml_document made_;
    int done_ = 0;
};

}  // namespace

SheetRows::SheetRows(const std::string& part, std::string text) : part_(part), text_(std::move(text)) {
    std::size_t open = 0;
    for (open = text_.find("sheetData"); open != std::string::npos;
         open = text_.find("sheetData", open + 1)) {
        auto lt = open;
        while (lt > 0 && text_[lt - 1] != '<' && text_[lt - 1] != '/' && text_[lt - 1] != ' ') --lt;
        if (lt > 0 && text_[lt - 1] == '<' && open + 9 < text_.size() && isNameEnd(text_[open + 9])) {
            prefix_ = text_.substr(lt, open - lt);
            open = lt - 1;
            break;
        }
    }
    if (open == std::string::npos) unreadable(part_, "no sheetData");
    const auto tagEnd = endOfTag(text_, open);
    if (tagEnd == std::string::npos) notWellFormed(part_, "unterminated sheetData");
    const std::string name = prefix_ + "sheetData";
    if (text_[tagEnd - 2] == '/') {
        bodyBegin_ = bodyEnd_ = tagEnd;
        frame_ = text_.substr(0, tagEnd - 2) + ">" + kMarker + "</" + name + ">" + text_.substr(tagEnd);
        return;
    }
    bodyBegin_ = tagEnd;
    bodyEnd_ = text_.find("</" + name + ">", bodyBegin_);
    if (bodyEnd_ == std::string::npos) notWellFormed(part_, "unterminated sheetData");
    frame_ = text_.substr(0, bodyBegin_) + kMarker + text_.substr(bodyEnd_);
}

std::pair<std::size_t, std::size_t> SheetRows::nextRow(std::size_t pos) const {
    const std::string open = "<" + prefix_ + "row", close = "</" + prefix_ + "row>";
    const auto start = text_.find(open, pos);
    if (start == std::string::npos || start >= bodyEnd_) return {std::string::npos, std::string::npos};
    if (!isNameEnd(text_[start + open.size()])) unreadable(part_, "an element other than a row");
    const auto tagEnd = endOfTag(text_, start);
    if (tagEnd == std::string::npos) notWellFormed(part_, "an unterminated row");
    if (text_[tagEnd - 2] == '/') return {start, tagEnd};
    const auto end = text_.find(close, tagEnd);
    if (end == std::string::npos || end > bodyEnd_) notWellFormed(part_, "an unterminated row");
    return {start, end + close.size()};
}

std::string SheetRows::join(const std::string& frame, RowFormulas& formulas, const ColumnInsertion& insertion,
                            CellWriter& cells) const {
    const auto marker = frame.find(kMarker);
    if (marker == std::string::npos) unreadable(part_, "the marker went missing");
    std::string out = frame.substr(0, marker);
    out.reserve(text_.size() + frame.size() + static_cast<std::size_t>(cells.rowCount()) * 64);
    RowPrinter printer(out, cells, prefix_ + "row");
    pugi::xml_document doc;
    TextRow textRow;
    std::size_t pos = bodyBegin_;
    for (auto [start, end] = nextRow(pos); start != std::string::npos; std::tie(start, end) = nextRow(pos)) {
        out.append(text_, pos, start - pos);
        pos = end;
        if (prefix_.empty() && textRow.read(std::string_view(text_).substr(start, end - start)) &&
            printer.printText(textRow, insertion))
            continue;
        doc.reset();
        if (const auto parsed =
                doc.load_buffer(text_.data() + start, end - start, kParseOptions, pugi::encoding_utf8);
            !parsed)
            notWellFormed(part_,
                          std::string(parsed.description()) + " in the row at " + std::to_string(start));
        const auto row = doc.first_child();
        const int number = row.attribute("r").as_int();
        if (number <= printer.done()) unreadable(part_, "rows without numbers or out of order");
        printer.makeRowsBefore(number);
        formulas.shift(row);
        if (insertion.count > 0) shiftRowLayout(row, insertion);
        printer.print(row, number);
    }
    out.append(text_, pos, bodyEnd_ - pos);
    printer.makeRowsBefore(cells.rowCount() + 1);
    out.append(frame, marker + std::char_traits<char>::length(kMarker), std::string::npos);
    return out;
}

}  // namespace sheets::xlsx
