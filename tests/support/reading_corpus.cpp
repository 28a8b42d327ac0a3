#include "reading_corpus.h"

#include <zip.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <stdexcept>

namespace reading_corpus {
namespace {

const std::string kMain =
    "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
    "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"";
const std::string kRel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";

std::string escaped(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else if (c == '"')
            out += "&quot;";
        else
            out += c;
    }
    return out;
}

// Custom number formats: common ones, Chinese ones, and what the office may read otherwise.
const std::vector<std::string> kCodes = {"yyyy-mm-dd",
                                         "yyyy/m/d",
                                         "yyyy/m/d h:mm",
                                         "yyyy/m/d\\ h:mm:ss",
                                         "m/d/yy",
                                         "d-mmm-yy",
                                         "dd/mm/yyyy",
                                         "mmm d, yyyy",
                                         "dddd, mmmm dd, yyyy",
                                         "yyyy\"年\"m\"月\"d\"日\"",
                                         "yyyy年m月d日",
                                         "[$-804]yyyy\"年\"m\"月\"d\"日\"",
                                         "[$-409]m/d/yy\\ h:mm\\ AM/PM;@",
                                         "[DBNum1][$-804]yyyy\"年\"m\"月\"d\"日\"",
                                         "h:mm",
                                         "hh:mm:ss",
                                         "h:mm AM/PM",
                                         "[h]:mm:ss",
                                         "[mm]:ss",
                                         "mm:ss.0",
                                         "0",
                                         "0.000",
                                         "#,##0.00_);[Red](#,##0.00)",
                                         "#,##0.00_);\\(#,##0.00\\)",
                                         "0.00%",
                                         "0.00E+00",
                                         "##0.0E+0",
                                         "# ?/?",
                                         "@",
                                         "General",
                                         "general",
                                         "\"$\"#,##0.00",
                                         "$#,##0.00",
                                         "¥#,##0.00",
                                         "[$¥-804]#,##0.00",
                                         "#,##0.00 [$¥-804]",
                                         "[$€-407]#,##0.00",
                                         "#,##0.00\\ \"元\"",
                                         "0.00\"元\"",
                                         "0_ ",
                                         "#,##0_ ;[Red]\\-#,##0\\ ",
                                         "_-* #,##0.00_-;\\-* #,##0.00_-;_-* \"-\"??_-;_-@_-",
                                         "_ * #,##0.00_ ;_ * \\-#,##0.00_ ;_ * \"-\"??_ ;_ @_ ",
                                         "[Red]0.00",
                                         "[Blue]0.00;[Red]-0.00",
                                         "[Color10]0.00",
                                         "[<100]0;[>=100]0.00",
                                         "[>=1000000]0.0,,\"M\";[>=1000]0.0,\"K\";0",
                                         "0.00;-0.00;\"zero\";@",
                                         "000000",
                                         "#",
                                         "0.0?",
                                         "#,###",
                                         "0,,",
                                         "\"text\"",
                                         "\\a\\b\\c",
                                         "0\"°C\"",
                                         "mm",
                                         "yyyy",
                                         "yy",
                                         "ddd",
                                         "mmmm",
                                         "AM/PM h:mm",
                                         "h\"时\"mm\"分\"",
                                         "上午/下午h\"时\"mm\"分\"",
                                         "yyyy/mm/dd hh:mm:ss.000",
                                         "e",
                                         "[DBNum2]0",
                                         "0.00;[Red]0.00",
                                         ";;;",
                                         "0;-0;;@",
                                         "[Green]General",
                                         "*-0",
                                         "0*x",
                                         "0\\-0",
                                         "0\\/0",
                                         "0\\.0",
                                         "0\\(0",
                                         "yyyy\\.mm",
                                         "yyyy\\/mm",
                                         "yyyy\\-mm",
                                         "0,0",
                                         "[$-F800]dddd\\,\\ mmmm\\ dd\\,\\ yyyy",
                                         "[$-404]yyyy/m/d",
                                         "[$-C04]yyyy/m/d",
                                         "A/P h:mm",
                                         "y",
                                         "yyy",
                                         "0.00 \"kg\";[Red]-0.00 \"kg\"",
                                         "[<0]\"neg\";[>0]\"pos\";\"zero\"",
                                         "[=1]\"one\";0"};

const std::vector<std::string> kFills = {
    "<fill><patternFill patternType=\"none\"/></fill>",
    "<fill><patternFill patternType=\"gray125\"/></fill>",
    "<fill><patternFill patternType=\"solid\"><fgColor rgb=\"FFFFFF00\"/><bgColor "
    "indexed=\"64\"/></patternFill></fill>",
    "<fill><patternFill patternType=\"solid\"><fgColor rgb=\"FFFFFFFF\"/></patternFill></fill>",
    "<fill><patternFill patternType=\"solid\"/></fill>",
    "<fill><patternFill patternType=\"lightGray\"><fgColor rgb=\"FF00FF00\"/></patternFill></fill>",
    "<fill><patternFill><fgColor rgb=\"FF00FF00\"/></patternFill></fill>",
    "<fill><gradientFill degree=\"90\"><stop position=\"0\"><color rgb=\"FFFF0000\"/></stop>"
    "<stop position=\"1\"><color rgb=\"FF0000FF\"/></stop></gradientFill></fill>"};
const std::vector<std::string> kBorders = {
    "<border><left/><right/><top/><bottom/><diagonal/></border>",
    "<border><left style=\"thin\"><color auto=\"1\"/></left><right/><top/><bottom/><diagonal/></border>",
    "<border diagonalUp=\"1\"><left/><right/><top/><bottom/><diagonal style=\"thin\"/></border>",
    "<border><left/><right/><top/><bottom/><diagonal style=\"thin\"/></border>",
    "<border><left/><right/><top/><bottom style=\"double\"/><diagonal/></border>"};

// The cell formats every book has: xf 0 plain; then one per built-in id 1..81; then one per custom
// code; then the looks (fills and borders), a cell style's fill taken over, and one with a date
// format and a fill.
struct Styles {
    int firstBuiltIn = 1, firstCode = 82, firstLook = 0, count = 0;
    std::string xml;

    Styles() {
        firstCode = 82;
        firstLook = firstCode + static_cast<int>(kCodes.size());
        std::string numFmts, xfs = "<xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/>";
        for (int id = 1; id <= 81; ++id)
            xfs += "<xf numFmtId=\"" + std::to_string(id) +
                   "\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyNumberFormat=\"1\"/>";
        for (std::size_t i = 0; i < kCodes.size(); ++i) {
            numFmts += "<numFmt numFmtId=\"" + std::to_string(164 + i) + "\" formatCode=\"" +
                       escaped(kCodes[i]) + "\"/>";
            xfs += "<xf numFmtId=\"" + std::to_string(164 + i) +
                   "\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyNumberFormat=\"1\"/>";
        }
        for (std::size_t f = 0; f < kFills.size(); ++f)
            xfs += "<xf numFmtId=\"0\" fontId=\"0\" fillId=\"" + std::to_string(f) +
                   "\" borderId=\"0\" xfId=\"0\" applyFill=\"1\"/>";
        for (std::size_t b = 0; b < kBorders.size(); ++b)
            xfs += "<xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"" + std::to_string(b) +
                   "\" xfId=\"0\" applyBorder=\"1\"/>";
        xfs += "<xf fontId=\"0\" xfId=\"1\"/>";  // fill, border and number format from its cell style
        xfs += "<xf numFmtId=\"14\" fontId=\"0\" fillId=\"2\" borderId=\"1\" xfId=\"0\"/>";
        count = firstLook + static_cast<int>(kFills.size() + kBorders.size()) + 2;
        xml = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><styleSheet " + kMain + ">";
        xml += "<numFmts count=\"" + std::to_string(kCodes.size()) + "\">" + numFmts + "</numFmts>";
        xml += "<fonts count=\"1\"><font><sz val=\"11\"/><name val=\"Calibri\"/></font></fonts>";
        xml += "<fills count=\"" + std::to_string(kFills.size()) + "\">";
        for (const auto& f : kFills) xml += f;
        xml += "</fills><borders count=\"" + std::to_string(kBorders.size()) + "\">";
        for (const auto& b : kBorders) xml += b;
        xml +=
            "</borders><cellStyleXfs count=\"2\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" "
            "borderId=\"0\"/>"
            "<xf numFmtId=\"10\" fontId=\"0\" fillId=\"2\" borderId=\"1\"/></cellStyleXfs>";
        xml += "<cellXfs count=\"" + std::to_string(count) + "\">" + xfs + "</cellXfs>";
        xml +=
            "<cellStyles count=\"2\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/>"
            "<cellStyle name=\"Filled\" xfId=\"1\"/></cellStyles></styleSheet>";
    }
    int fill(int f) const { return firstLook + f; }
    int border(int b) const { return firstLook + static_cast<int>(kFills.size()) + b; }
    int fromStyle() const { return count - 2; }
};

const Styles& styles() {
    static const Styles s;
    return s;
}

struct Sheet {
    std::string name, xml, kind = "worksheet";
    std::vector<std::string> comments = {};  // cell references
};

struct Book {
    std::vector<Sheet> sheets;
    std::vector<std::string> strings;  // <si> items
    std::string workbookPr;
};

std::string columnName(int c) {
    std::string s;
    for (; c > 0; c = (c - 1) / 26) s.insert(s.begin(), static_cast<char>('A' + (c - 1) % 26));
    return s;
}

std::string worksheet(const std::string& rows, const std::string& before = "",
                      const std::string& after = "") {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><worksheet " + kMain + ">" + before +
           "<sheetData>" + rows + "</sheetData>" + after + "</worksheet>";
}

// The part goes into the package, which frees its copy once written.
void add(zip_t* z, const std::string& name, const std::string& content) {
    void* copy = std::malloc(content.size() + 1);
    std::memcpy(copy, content.data(), content.size());
    zip_source_t* source = zip_source_buffer(z, copy, content.size(), 1);
    if (!source || zip_file_add(z, name.c_str(), source, ZIP_FL_ENC_UTF_8) < 0)
        throw std::runtime_error("cannot add " + name);
}

void writeBook(const std::string& path, const Book& book) {
    int error = 0;
    zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!z) throw std::runtime_error("cannot create " + path);
    std::string types =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><Types "
        "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
        "<Default Extension=\"rels\" "
        "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
        "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
        "<Override PartName=\"/xl/workbook.xml\" "
        "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
        "<Override PartName=\"/xl/styles.xml\" "
        "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/>"
        "<Override PartName=\"/xl/sharedStrings.xml\" "
        "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml\"/>";
    std::string rels, sheets;
    int n = 0;
    for (const Sheet& s : book.sheets) {
        ++n;
        const std::string folder =
            s.kind == "worksheet" || s.kind == "xlMacrosheet" ? "worksheets" : s.kind + "s";
        const std::string part = "xl/" + folder + "/sheet" + std::to_string(n) + ".xml";
        const std::string type =
            s.kind == "worksheet"
                ? "application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"
            : s.kind == "chartsheet"
                ? "application/vnd.openxmlformats-officedocument.spreadsheetml.chartsheet+xml"
            : s.kind == "dialogsheet"
                ? "application/vnd.openxmlformats-officedocument.spreadsheetml.dialogsheet+xml"
                : "application/vnd.ms-excel.macrosheet+xml";
        add(z, part, s.xml);
        types += "<Override PartName=\"/" + part + "\" ContentType=\"" + type + "\"/>";
        rels += "<Relationship Id=\"rId" + std::to_string(n) + "\" Type=\"" + kRel + s.kind + "\" Target=\"" +
                folder + "/sheet" + std::to_string(n) + ".xml\"/>";
        sheets += "<sheet name=\"" + escaped(s.name) + "\" sheetId=\"" + std::to_string(n) + "\" r:id=\"rId" +
                  std::to_string(n) + "\"/>";
        if (s.comments.empty()) continue;
        std::string comments = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><comments " +
                               kMain + "><authors><author>a</author></authors><commentList>";
        for (const auto& ref : s.comments)
            comments += "<comment ref=\"" + ref + "\" authorId=\"0\"><text><t>note</t></text></comment>";
        comments += "</commentList></comments>";
        const std::string commentsPart = "xl/comments" + std::to_string(n) + ".xml";
        add(z, commentsPart, comments);
        types +=
            "<Override PartName=\"/" + commentsPart +
            "\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.comments+xml\"/>";
        add(z, "xl/worksheets/_rels/sheet" + std::to_string(n) + ".xml.rels",
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><Relationships "
            "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
            "<Relationship Id=\"rId1\" Type=\"" +
                kRel + "comments\" Target=\"../comments" + std::to_string(n) + ".xml\"/></Relationships>");
    }
    rels += "<Relationship Id=\"rId" + std::to_string(n + 1) + "\" Type=\"" + kRel +
            "styles\" Target=\"styles.xml\"/>";
    rels += "<Relationship Id=\"rId" + std::to_string(n + 2) + "\" Type=\"" + kRel +
            "sharedStrings\" Target=\"sharedStrings.xml\"/>";
    add(z, "[Content_Types].xml", types + "</Types>");
    add(z, "_rels/.rels",
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><Relationships "
        "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
        "<Relationship Id=\"rId1\" Type=\"" +
            kRel + "officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>");
    add(z, "xl/workbook.xml",
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><workbook " + kMain + ">" +
            book.workbookPr + "<sheets>" + sheets + "</sheets></workbook>");
    add(z, "xl/_rels/workbook.xml.rels",
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><Relationships "
        "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">" +
            rels + "</Relationships>");
    add(z, "xl/styles.xml", styles().xml);
    std::string sst = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><sst " + kMain + ">";
    for (const auto& s : book.strings) sst += s;
    add(z, "xl/sharedStrings.xml", sst + "</sst>");
    if (zip_close(z) != 0) throw std::runtime_error("cannot write " + path);
}

// The shared string items of the books: plain, rich, phonetic, escaped, with line breaks and tabs.
const std::vector<std::string> kStrings = {
    "<si><t>plain</t></si>",
    "<si><r><t>ri</t></r><r><rPr><b/></rPr><t>ch</t></r></si>",
    "<si><t>漢字</t><rPh sb=\"0\" eb=\"2\"><t>カンジ</t></rPh><phoneticPr fontId=\"1\"/></si>",
    "<si><t>  spaces  </t></si>",
    "<si><t xml:space=\"preserve\">  pre  </t></si>",
    "<si><t>a_x000D_b_x0009_c_x005F_x0041_d_x00E9_e_x0001_f</t></si>",
    "<si><t>line1\r\nline2\rline3&#13;x</t></si>",
    "<si><t>&amp;&lt;&gt;&quot;&apos;&#x41;&#66;</t></si>",
    "<si><r><t>x</t></r><rPh sb=\"0\" eb=\"1\"><t>y</t></rPh><r><t>z</t></r></si>",
    "<si><t>tab\there</t></si>",
    "<si><r><t>a&#9;b</t></r><r><t>c</t></r></si>",
    "<si><t>a&#9;b&#10;c</t></si>",
    "<si><t>_xD83D__xDE00_</t></si>",
    "<si/>",
    "<si><t></t></si>",
    "<si><r><rPr><b/></rPr><t></t></r></si>",
    "<si><t><![CDATA[<cdata>]]></t></si>",
    "<si><t>a&#10;&#13;b&#13;&#13;&#10;c</t></si>",
    "<si><t>123</t></si>",
    "<si><t>客户17</t></si>",
    "<si><r><t>single run</t></r></si>",
    "<si><t>phonetic props only</t><phoneticPr fontId=\"1\"/></si>",
    "<si><t>  </t></si>",
    "<si><t>_x0041_</t></si>",
    "<si><t>_x0041_x005F_ _x41_x005F_ _x5F_x0041_ _x004a__X0041_ _x12345_x005F_</t></si>",
    "<si><r><t>_x00e9_</t></r><r><t>_x0020__x1_</t></r></si>"};

// Every kind of value a cell can hold, one per row of column A, the same in B with a date format
// and in C with a text format.
std::string valueRows() {
    const std::vector<std::string> values = {"t=\"s\"><v>0</v>",
                                             "t=\"s\"><v>1</v>",
                                             "t=\"s\"><v>2</v>",
                                             "t=\"s\"><v>3</v>",
                                             "t=\"s\"><v>4</v>",
                                             "t=\"s\"><v>5</v>",
                                             "t=\"s\"><v>6</v>",
                                             "t=\"s\"><v>7</v>",
                                             "t=\"s\"><v>8</v>",
                                             "t=\"s\"><v>9</v>",
                                             "t=\"s\"><v>10</v>",
                                             "t=\"s\"><v>11</v>",
                                             "t=\"s\"><v>12</v>",
                                             "t=\"s\"><v>13</v>",
                                             "t=\"s\"><v>14</v>",
                                             "t=\"s\"><v>15</v>",
                                             "t=\"s\"><v>16</v>",
                                             "t=\"s\"><v>17</v>",
                                             "t=\"s\"><v>18</v>",
                                             "t=\"s\"><v>19</v>",
                                             "t=\"s\"><v>20</v>",
                                             "t=\"s\"><v>21</v>",
                                             "t=\"s\"><v>22</v>",
                                             "t=\"s\"><v>23</v>",
                                             "t=\"s\"><v>99</v>",
                                             "t=\"s\"><v>1.5</v>",
                                             "t=\"inlineStr\"><is><t>inl_x000D_ine</t></is>",
                                             "t=\"inlineStr\"><is><r><t>in</t></r><r><t>rich</t></r></is>",
                                             "t=\"inlineStr\"><is><t>a&#10;b&#9;c</t></is>",
                                             "t=\"str\"><v>str value</v>",
                                             "t=\"str\"><v>s_x000D_t&#10;r&#9;x</v>",
                                             "t=\"str\"><f>\"a\"&amp;\"b\"</f><v>ab</v>",
                                             "t=\"str\"><f>\"\"</f><v></v>",
                                             "t=\"b\"><v>1</v>",
                                             "t=\"b\"><v>0</v>",
                                             "t=\"b\"><v>TRUE</v>",
                                             "t=\"b\"><f>1=1</f><v>1</v>",
                                             "t=\"b\"><f>TRUE()</f><v>1</v>",
                                             "t=\"e\"><v>#DIV/0!</v>",
                                             "t=\"e\"><v>#N/A</v>",
                                             "t=\"e\"><f>1/0</f><v>#DIV/0!</v>",
                                             "t=\"e\"><v>#NAME?</v>",
                                             "t=\"e\"><v>#NULL!</v>",
                                             "t=\"e\"><v>#NUM!</v>",
                                             "t=\"e\"><v>#REF!</v>",
                                             "t=\"e\"><v>#VALUE!</v>",
                                             "t=\"e\"><v> #n/a </v>",
                                             "t=\"e\"><v>#GETTING_DATA</v>",
                                             "t=\"d\"><v>2024-03-15T12:30:00</v>",
                                             "t=\"d\"><v>2024-03-15</v>",
                                             "t=\"d\"><v>garbage</v>",
                                             "><v>1.5</v>",
                                             "><v>1E+300</v>",
                                             "><v>123456789012345678</v>",
                                             "><v>0.1</v>",
                                             "><v>-0</v>",
                                             "><v> 12 </v>",
                                             "><v>12abc</v>",
                                             "><v>+5</v>",
                                             "><v>.5</v>",
                                             "><v>INF</v>",
                                             "><v>1e400</v>",
                                             "><v>4.9e-324</v>",
                                             "><v></v>",
                                             "><f>1+1</f><v>5</v>",
                                             "><f>SUM(A1:A2)</f><v>9</v>",
                                             "><f>TRUE()</f><v>1</v>",
                                             "><f>A2&gt;1</f><v>0</v>",
                                             "><v>45366.75</v>",
                                             "><v>-1</v>",
                                             "><v>0.000001</v>",
                                             "t=\"n\"><v>7</v><is><t>both</t></is>",
                                             "t=\"x\"><v>5</v>",
                                             "t=\"inlineStr\"><v>v only</v>",
                                             "t=\"s\"><v>24</v>",
                                             "t=\"s\"><v>25</v>",
                                             "t=\"b\"><v>tRuE</v>",
                                             "t=\"b\"><v> true</v>",
                                             "t=\"b\"><v>NaN</v>",
                                             "><v>-1.#INF</v>",
                                             "><v> NaN</v>",
                                             "><v>1.#NAN</v>",
                                             "t=\"inlineStr\"><is><t>_x0041_x005F_ _x5F_</t></is>"};
    std::string rows;
    int r = 0;
    for (const auto& v : values) {
        ++r;
        const std::string n = std::to_string(r);
        rows += "<row r=\"" + n + "\"><c r=\"A" + n + "\" " + v + "</c><c r=\"B" + n + "\" s=\"14\" " + v +
                "</c><c r=\"C" + n + "\" s=\"49\" " + v + "</c><c r=\"D" + n + "\" s=\"" +
                std::to_string(styles().firstCode) + "\" " + v + "</c></row>";
    }
    return rows;
}

// Every cell format, a row each: a date-time, a negative number and a fraction.
std::string formatRows() {
    std::string rows;
    for (int xf = 0; xf < styles().count; ++xf) {
        const std::string n = std::to_string(xf + 1);
        rows += "<row r=\"" + n + "\"><c r=\"A" + n + "\" s=\"" + std::to_string(xf) +
                "\"><v>45366.25</v></c><c r=\"B" + n + "\" s=\"" + std::to_string(xf) +
                "\"><v>-3.5</v></c><c r=\"C" + n + "\" s=\"" + std::to_string(xf) +
                "\"><v>0.5</v></c><c r=\"D" + n + "\" s=\"" + std::to_string(xf) +
                "\" t=\"b\"><v>1</v></c></row>";
    }
    return rows;
}

std::string dataRows(int n, int from = 1, const std::string& column = "A") {
    std::string rows;
    for (int r = from; r < from + n; ++r)
        rows += "<row r=\"" + std::to_string(r) + "\"><c r=\"" + column + std::to_string(r) + "\"><v>" +
                std::to_string(r) + "</v></c></row>";
    return rows;
}

std::string styled(int row, const std::string& column, int xf) {
    return "<row r=\"" + std::to_string(row) + "\"><c r=\"" + column + std::to_string(row) + "\" s=\"" +
           std::to_string(xf) + "\"/></row>";
}

std::string block(int first, int last, const std::string& column, int xf, int step = 1) {
    std::string rows;
    for (int r = first; r <= last; r += step) rows += styled(r, column, xf);
    return rows;
}

// Sheets whose used rows depend on formats that show below or above the cells, on row and column
// formats, and on comments.
std::vector<Sheet> usedRowSheets() {
    const Styles& s = styles();
    const int yellow = s.fill(2);
    std::vector<Sheet> out = {
        {"plain", worksheet(dataRows(3))},
        {"B3 to C6", worksheet(dataRows(4, 3, "C"))},
        {"fill A10", worksheet(dataRows(3) + styled(10, "A", yellow))},
        {"number format A10", worksheet(dataRows(3) + styled(10, "A", 14))},
        {"fill C10", worksheet(dataRows(3) + styled(10, "C", yellow))},
        {"row format 10",
         worksheet(dataRows(3) + "<row r=\"10\" s=\"" + std::to_string(yellow) + "\" customFormat=\"1\"/>")},
        {"row format without custom",
         worksheet(dataRows(3) + "<row r=\"10\" s=\"" + std::to_string(yellow) + "\"/>")},
        {"fill 5-88", worksheet(dataRows(3) + block(5, 88, "A", yellow))},
        {"fill 5-87", worksheet(dataRows(3) + block(5, 87, "A", yellow))},
        {"fill 4-87", worksheet(dataRows(3) + block(4, 87, "A", yellow))},
        {"zebra", worksheet(dataRows(3) + block(4, 400, "A", yellow, 2))},
        {"empty", worksheet("")},
        {"fill A1 only", worksheet(styled(1, "A", yellow))},
        {"fill A1 data 5", worksheet(styled(1, "A", yellow) + dataRows(2, 5))},
        {"fill A1 and A2 data 5",
         worksheet(styled(1, "A", yellow) + styled(2, "A", yellow) + dataRows(2, 5))},
        {"column style C", worksheet(dataRows(3), "<cols><col min=\"3\" max=\"3\" width=\"9\" style=\"" +
                                                      std::to_string(yellow) + "\"/></cols>")},
        {"column style C, C10 plain",
         worksheet(dataRows(3) + styled(10, "C", 0), "<cols><col min=\"3\" max=\"3\" width=\"9\" style=\"" +
                                                         std::to_string(yellow) + "\"/></cols>")},
        {"column style all",
         worksheet(dataRows(3), "<cols><col min=\"1\" max=\"16384\" width=\"9\" style=\"" +
                                    std::to_string(yellow) + "\"/></cols>")},
        {"border", worksheet(dataRows(3) + styled(12, "B", s.border(1)))},
        {"diagonal", worksheet(dataRows(3) + styled(12, "B", s.border(2)) + styled(14, "B", s.border(3)))},
        {"cell style fill", worksheet(dataRows(3) + styled(15, "B", s.fromStyle()))},
        {"fills of each kind", worksheet(dataRows(2) + styled(4, "A", s.fill(1)) + styled(6, "A", s.fill(3)) +
                                         styled(8, "A", s.fill(4)) + styled(20, "B", s.fill(5)) +
                                         styled(22, "B", s.fill(6)) + styled(24, "B", s.fill(7)))},
        {"formula empty text",
         worksheet(dataRows(3) + "<row r=\"10\"><c r=\"A10\" t=\"str\"><f>\"\"</f><v></v></c></row>")},
        {"empty strings",
         worksheet(dataRows(3) + "<row r=\"10\"><c r=\"A10\" t=\"s\"><v>13</v></c></row><row r=\"11\"><c "
                                 "r=\"A11\" t=\"s\"><v>15</v></c></row>"
                                 "<row r=\"12\"><c r=\"A12\" t=\"inlineStr\"><is><t></t></is></c></row>")},
        {"comment", worksheet(dataRows(3)), "worksheet", {"B20"}},
        {"comment above", worksheet(dataRows(3, 5)), "worksheet", {"C2"}},
        {"hidden last row",
         worksheet(dataRows(4) + "<row r=\"5\" hidden=\"1\"><c r=\"A5\"><v>5</v></c></row>")},
        {"mixed", worksheet(styled(2, "B", yellow) + styled(3, "B", yellow) + dataRows(3, 6) +
                            block(10, 30, "D", s.border(4)) + "<row r=\"40\" s=\"" + std::to_string(yellow) +
                            "\" customFormat=\"1\"><c r=\"A40\" s=\"0\"/></row>")},
    };
    return out;
}

// A random sheet: cells of every kind in random places with random formats, row and column formats
// and comments.
Sheet randomSheet(std::mt19937& rng, int index) {
    const Styles& s = styles();
    const auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    const std::vector<std::string> contents = {"><v>%N</v>",
                                               "t=\"s\"><v>%S</v>",
                                               "t=\"inlineStr\"><is><t>w%N</t></is>",
                                               "t=\"b\"><v>%B</v>",
                                               "t=\"e\"><v>#N/A</v>",
                                               "><f>1+%N</f><v>%N</v>",
                                               "t=\"str\"><f>\"x%N\"</f><v>x%N</v>",
                                               "t=\"d\"><v>2020-01-%D</v>",
                                               "",
                                               "t=\"s\"><v>13</v>"};
    std::string rows, before;
    if (pick(3) == 0)
        before = "<cols><col min=\"" + std::to_string(1 + pick(6)) + "\" max=\"" +
                 std::to_string(6 + pick(4)) + "\" width=\"9\" style=\"" + std::to_string(pick(s.count)) +
                 "\"/></cols>";
    int row = pick(4);
    const int rowCount = 1 + pick(120);
    for (int k = 0; k < rowCount; ++k) {
        row += 1 + (pick(5) == 0 ? pick(60) : 0);
        std::string cells;
        int column = 0;
        const int n = pick(5);
        for (int c = 0; c < n; ++c) {
            column += 1 + pick(3);
            std::string content = contents[static_cast<std::size_t>(pick(static_cast<int>(contents.size())))];
            // One value for each kind of placeholder, so that a formula's saved result is its own.
            std::map<char, std::string> values;
            for (auto at = content.find('%'); at != std::string::npos; at = content.find('%')) {
                const char kind = content[at + 1];
                if (!values.count(kind))
                    values[kind] = kind == 'N'   ? std::to_string(pick(100000) - 500) + (pick(2) ? ".25" : "")
                                   : kind == 'S' ? std::to_string(pick(static_cast<int>(kStrings.size())))
                                   : kind == 'B' ? std::to_string(pick(2))
                                                 : std::to_string(10 + pick(19));
                content.replace(at, 2, values[kind]);
            }
            const std::string ref = columnName(column) + std::to_string(row);
            const std::string style = pick(2) ? " s=\"" + std::to_string(pick(s.count)) + "\"" : "";
            cells += content.empty() ? "<c r=\"" + ref + "\"" + style + "/>"
                                     : "<c r=\"" + ref + "\"" + style + " " + content + "</c>";
        }
        const std::string rowFormat =
            pick(12) == 0 ? " s=\"" + std::to_string(pick(s.count)) + "\" customFormat=\"1\"" : "";
        rows += "<row r=\"" + std::to_string(row) + "\"" + rowFormat + ">" + cells + "</row>";
    }
    Sheet sheet{"random " + std::to_string(index), worksheet(rows, before)};
    if (pick(4) == 0) sheet.comments.push_back(columnName(1 + pick(8)) + std::to_string(1 + pick(row + 20)));
    return sheet;
}

}  // namespace

void writeSheet(const std::string& path, const std::string& rows) {
    Book b{{{"S", worksheet(rows)}}, kStrings, ""};
    writeBook(path, b);
}

std::vector<std::string> write(const std::string& folder, std::uint32_t seed, int random) {
    std::filesystem::create_directories(folder);
    std::vector<std::string> paths;
    const auto book = [&](const std::string& name, Book b) {
        b.strings = kStrings;
        paths.push_back(folder + "/" + name);
        writeBook(paths.back(), b);
    };
    book("values.xlsx", {{{"values", worksheet(valueRows())}}, {}, ""});
    book("values-1904.xlsm", {{{"values", worksheet(valueRows())}}, {}, "<workbookPr date1904=\"1\"/>"});
    book("formats.xlsx", {{{"formats", worksheet(formatRows())}}, {}, ""});
    book("used-rows.xlsx", {usedRowSheets(), {}, ""});
    const std::string chart = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><chartsheet " +
                              kMain +
                              "><sheetViews><sheetView workbookViewId=\"0\"/></sheetViews></chartsheet>";
    const std::string dialog =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><dialogsheet " + kMain + "/>";
    book("kinds-of-sheets.xlsx", {{{"first", worksheet(dataRows(2))},
                                   {"chart", chart, "chartsheet"},
                                   {"dialog", dialog, "dialogsheet"},
                                   {"macro", worksheet(dataRows(5)), "xlMacrosheet"},
                                   {"last", worksheet(dataRows(7))}},
                                  {},
                                  ""});
    std::mt19937 rng(seed);
    for (int i = 0; i < random; i += 4) {
        Book b;
        for (int k = i; k < std::min(random, i + 4); ++k) b.sheets.push_back(randomSheet(rng, k));
        book("random-" + std::to_string(i / 4) + ".xlsx", std::move(b));
    }
    return paths;
}

}  // namespace reading_corpus
