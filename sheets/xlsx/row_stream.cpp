#include "sheets/xlsx/row_stream.h"

#include "sheets/xlsx/cell_writer.h"
#include "sheets/xlsx/xlsx_writer.h"
#include "sheets/xlsx/xml.h"

#include <algorithm>
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

// Prints rows in order, each with its cells: the sheet's own, and those the cells need that the sheet
// lacks.
class RowPrinter {
public:
    RowPrinter(std::string& out, CellWriter& cells, std::string rowName)
        : output_(out), cells_(cells), rowName_(std::move(rowName)) {}
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

private:
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

std::string SheetRows::join(const std::string& frame, const std::function<void(pugi::xml_node)>& edit,
                            CellWriter& cells) const {
    const auto marker = frame.find(kMarker);
    if (marker == std::string::npos) unreadable(part_, "the marker went missing");
    std::string out = frame.substr(0, marker);
    out.reserve(text_.size() + frame.size() + static_cast<std::size_t>(cells.rowCount()) * 64);
    RowPrinter printer(out, cells, prefix_ + "row");
    pugi::xml_document doc;
    std::size_t pos = bodyBegin_;
    for (auto [start, end] = nextRow(pos); start != std::string::npos; std::tie(start, end) = nextRow(pos)) {
        out.append(text_, pos, start - pos);
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
        edit(row);
        printer.print(row, number);
        pos = end;
    }
    out.append(text_, pos, bodyEnd_ - pos);
    printer.makeRowsBefore(cells.rowCount() + 1);
    out.append(frame, marker + std::char_traits<char>::length(kMarker), std::string::npos);
    return out;
}

}  // namespace sheets::xlsx
