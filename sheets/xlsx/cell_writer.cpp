#include "sheets/xlsx/cell_writer.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <map>
#include <optional>

#include "sheets/format_code.h"
#include "sheets/utf8.h"
#include "sheets/xlsx/reference_shift.h"
#include "sheets/xlsx/styles.h"
#include "sheets/xlsx/xlsx_writer.h"

namespace sheets::xlsx {

namespace {

// Text as an XML string allows it: characters XML cannot hold, and text that looks like such an
// escape, written as _xHHHH_.
std::string escapedText(std::u16string_view s) {
    std::string out;
    const auto escape = [&](unsigned v) {
        char buf[12];
        std::snprintf(buf, sizeof buf, "_x%04X_", v);
        out += buf;
    };
    for (std::size_t i = 0; i < s.size(); ++i) {
        char32_t cp = s[i];
        const auto hex = [&](std::size_t k) { return k < s.size() && s[k] < 0x80 && std::isxdigit(s[k]); };
        const bool looksEscaped = cp == u'_' && i + 6 < s.size() && s[i + 1] == u'x' && hex(i + 2) &&
                                  hex(i + 3) && hex(i + 4) && hex(i + 5) && s[i + 6] == u'_';
        if ((cp < 0x20 && cp != 0x09 && cp != 0x0A && cp != 0x0D) || cp == 0xFFFE || cp == 0xFFFF ||
            looksEscaped) {
            escape(cp);
            continue;
        }
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < s.size())
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[++i] - 0xDC00);
        appendUtf8(out, cp);
    }
    return out;
}

std::string numberText(double v) {
    if (!std::isfinite(v)) throw Unsupported("a result number that is not finite", u"结果中有无法写入的数字");
    char buf[32];
    const auto end = std::to_chars(buf, buf + sizeof buf, v).ptr;
    return std::string(buf, end);
}

// The format id a value is shown in; nothing: the cell keeps the format it has.
std::optional<int> formatIdOf(const CellValue& value, Styles& styles) {
    const NumberFormat* format = shownFormat(value);
    if (!format) return std::nullopt;
    if (const auto code = excelFormatCode(format->code)) return styles.formatId(*code);
    // A code without a certain equivalent here: the usual one of the value's kind, or the general one.
    CellValue plain = value;
    plain.setFormat(nullptr);
    const NumberFormat* usual = shownFormat(plain);
    const auto code = usual ? excelFormatCode(usual->code) : std::nullopt;
    return code ? styles.formatId(*code) : 0;
}

}  // namespace

CellWriter::CellWriter(XmlPart& frame, XmlPart* styles, std::function<XmlPart&()> createStyles,
                       const SheetEdit& edit, bool date1904)
    : sheet_(frame),
      styles_(std::make_unique<Styles>(styles, std::move(createStyles))),
      edit_(edit),
      date1904_(date1904) {
    const auto root = frame.root();
    prefix_ = prefixOf(root);
    for (auto col : children(child(root, "cols"), "col")) {
        if (col.attribute("style")) {
            columnStyles_.push_back({col.attribute("min").as_int(), col.attribute("max").as_int(),
                                     col.attribute("style").as_int()});
        }
    }
    const auto rows = edit_.cells.rowCount();
    if (rows == 0 || edit_.cells.width <= 0) return;
    if (rows > static_cast<std::size_t>(kMaxRow) || edit_.firstColumn + edit_.cells.width - 1 > kMaxColumn) {
        throw Unsupported("the cells reach past the sheet", u"结果超出工作表范围");
    }
    rowCount_ = static_cast<int>(rows);
}

CellWriter::~CellWriter() = default;

// An error value is written as an empty cell, as the office's block write does.
bool CellWriter::isBlank(const CellValue& value) {
    return value.kind() == CellValue::Kind::Empty || value.kind() == CellValue::Kind::Error;
}

bool CellWriter::hasValue(int number) const {
    if (number < 1 || number > rowCount_) return false;
    for (int j = 0; j < edit_.cells.width; ++j) {
        if (!isBlank(at(number, j))) return true;
    }
    return false;
}

const CellValue& CellWriter::at(int number, int j) const {
    return edit_.cells.at(static_cast<std::size_t>(number - 1), j);
}

void CellWriter::finish() {
    if (rowCount_ == 0) return;
    widenDimension();
    sheet_.changed = true;
}

void CellWriter::writeRow(pugi::xml_node row) {
    const int number = row.attribute("r").as_int();
    if (number < 1) throw Unsupported("a row without its number", u"行缺少行号");
    if (number > rowCount_) return;
    auto next = firstElement(row);
    const std::string rowText = std::to_string(number);
    for (int j = 0; j < edit_.cells.width; ++j) {
        const int column = edit_.firstColumn + j;
        while (next && localName(next) == "c" && columnOf(next) < column) next = nextElement(next);
        const bool exists = next && localName(next) == "c" && columnOf(next) == column;
        const auto& value = at(number, j);
        if (isBlank(value)) {
            if (exists) next = clear(next);
            continue;
        }
        pugi::xml_node cell = exists ? next : newCell(row, next, columnName(column) + rowText);
        fill(row, cell, column, value);
    }
    widenSpans(row);
}

pugi::xml_node CellWriter::firstElement(pugi::xml_node parent) {
    auto n = parent.first_child();
    while (n && n.type() != pugi::node_element) n = n.next_sibling();
    return n;
}

pugi::xml_node CellWriter::nextElement(pugi::xml_node n) {
    n = n.next_sibling();
    while (n && n.type() != pugi::node_element) n = n.next_sibling();
    return n;
}

int CellWriter::columnOf(pugi::xml_node cell) {
    int column = 0, row = 0;
    if (!parseCell(cell.attribute("r").value(), column, row)) {
        throw Unsupported("a cell without a readable address", u"单元格缺少地址");
    }
    return column;
}

pugi::xml_node CellWriter::newCell(pugi::xml_node row, pugi::xml_node before, const std::string& address) {
    const auto name = prefix_ + "c";
    auto cell = before ? row.insert_child_before(name.c_str(), before) : row.append_child(name.c_str());
    cell.append_attribute("r").set_value(address.c_str());
    return cell;
}

// An existing cell made empty: its format stays, its content goes. Returns the node after it.
pugi::xml_node CellWriter::clear(pugi::xml_node cell) {
    empty(cell);
    const auto after = nextElement(cell);
    // Without its cell, a row's style would cover the place.
    auto row = cell.parent();
    if (!cell.attribute("s") && !(row.attribute("customFormat").as_bool() && row.attribute("s")))
        row.remove_child(cell);
    return after;
}

void CellWriter::empty(pugi::xml_node cell) const {
    // An array formula goes as a whole, as in the office, which refuses to write over a part of one.
    if (auto f = child(cell, "f"); f && f.attribute("ref") && !written(f.attribute("ref").value())) {
        throw Unsupported(
            std::string("cell ") + cell.attribute("r").value() + " holds a part of an array formula",
            u"结果单元格中有数组公式的一部分");
    }
    while (cell.first_child()) cell.remove_child(cell.first_child());
    for (const char* a : {"t", "cm", "vm", "ph"}) cell.remove_attribute(a);
}

bool CellWriter::written(std::string_view range) const {
    const auto colon = range.find(':');
    int c1 = 0, r1 = 0, c2 = 0, r2 = 0;
    return parseCell(range.substr(0, colon), c1, r1) &&
           parseCell(colon == std::string_view::npos ? range : range.substr(colon + 1), c2, r2) &&
           edit_.firstColumn <= c1 && c2 < edit_.firstColumn + edit_.cells.width && r2 <= rowCount_;
}

int CellWriter::baseStyle(pugi::xml_node row, pugi::xml_node cell, int column) const {
    if (cell.attribute("s")) return cell.attribute("s").as_int();
    // Inserted columns take no format of their neighbours, as in the office.
    if (edit_.insertAt <= column && column < edit_.insertAt + edit_.insertCount) return 0;
    if (row.attribute("s") && row.attribute("customFormat").as_bool()) return row.attribute("s").as_int();
    for (const auto& c : columnStyles_) {
        if (c.min <= column && column <= c.max) return c.style;
    }
    return 0;
}

void CellWriter::fill(pugi::xml_node row, pugi::xml_node cell, int column, const CellValue& value) {
    const int base = baseStyle(row, cell, column);
    empty(cell);
    const auto formatId = formatIdOf(value);
    const int style = formatId ? styles_->withFormat(base, *formatId) : base;
    if (style != 0 || cell.attribute("s")) setAttribute(cell, "s", std::to_string(style));
    switch (value.kind()) {
        case CellValue::Kind::Number:
            return setValue(cell, numberText(value.numberValue()));
        case CellValue::Kind::Date:
            return setValue(cell,
                            numberText(date1904_ && value.numberValue() >= 1 ? value.numberValue() - 1462
                                                                             : value.numberValue()));
        case CellValue::Kind::Boolean:
            setAttribute(cell, "t", "b");
            return setValue(cell, value.numberValue() != 0 ? "1" : "0");
        case CellValue::Kind::Text:
            return inlineText(cell, value.textValue());
        case CellValue::Kind::Error:
        case CellValue::Kind::Empty:
            break;
    }
}

std::optional<int> CellWriter::formatIdOf(const CellValue& value) {
    const auto key = std::pair(shownFormat(value), value.kind());
    if (const auto known = formatIds_.find(key); known != formatIds_.end()) return known->second;
    return formatIds_[key] = sheets::xlsx::formatIdOf(value, *styles_);
}

void CellWriter::setValue(pugi::xml_node cell, const std::string& text) {
    cell.append_child((prefix_ + "v").c_str()).text().set(text.c_str());
}

void CellWriter::inlineText(pugi::xml_node cell, const std::u16string& text) {
    setAttribute(cell, "t", "inlineStr");
    auto t = cell.append_child((prefix_ + "is").c_str()).append_child((prefix_ + "t").c_str());
    const auto escaped = escapedText(text);
    const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    if (!escaped.empty() &&
        (isSpace(escaped.front()) || isSpace(escaped.back()) || escaped.find('\n') != std::string::npos)) {
        t.append_attribute("xml:space").set_value("preserve");
    }
    t.text().set(escaped.c_str());
}

void CellWriter::widenSpans(pugi::xml_node row) const {
    auto spans = row.attribute("spans");
    if (!spans) return;
    const std::string s = spans.value();
    const auto colon = s.find(':');
    if (colon == std::string::npos) return;
    const int a = std::min(std::atoi(s.c_str()), edit_.firstColumn);
    const int b = std::max(std::atoi(s.c_str() + colon + 1), edit_.firstColumn + edit_.cells.width - 1);
    spans.set_value((std::to_string(a) + ":" + std::to_string(b)).c_str());
}

void CellWriter::widenDimension() {
    auto dimension = child(sheet_.root(), "dimension");
    if (!dimension) return;
    const std::string ref = dimension.attribute("ref").value();
    const auto colon = ref.find(':');
    int c1 = 0, r1 = 0, c2 = 0, r2 = 0;
    if (!parseCell(ref.substr(0, colon), c1, r1) ||
        !parseCell(colon == std::string::npos ? ref : ref.substr(colon + 1), c2, r2)) {
        return;
    }
    c1 = std::min(c1, edit_.firstColumn);
    c2 = std::max(c2, edit_.firstColumn + edit_.cells.width - 1);
    r2 = std::max(r2, rowCount_);
    setAttribute(dimension, "ref", columnName(c1) + "1:" + columnName(c2) + std::to_string(r2));
}

}  // namespace sheets::xlsx
