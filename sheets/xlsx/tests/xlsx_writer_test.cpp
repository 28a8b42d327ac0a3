#include "sheets/xlsx/xlsx_writer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <pugixml.hpp>
#include <sstream>
#include <string>

#include "sheets/format_code.h"

namespace sheets::xlsx {
namespace {

using Parts = std::map<std::string, std::string>;

const char* kNs =
    R"( xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships")";

const char* kX14 =
    R"( xmlns:x14="http://schemas.microsoft.com/office/spreadsheetml/2009/9/main" xmlns:xm="http://schemas.microsoft.com/office/excel/2006/main")";

// A relationships part: rId1, rId2, ... of the given types, to the given targets.
std::string relationships(const std::vector<std::pair<std::string, std::string>>& typesAndTargets) {
    std::string xml =
        R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)";
    int id = 0;
    for (const auto& [type, target] : typesAndTargets)
        xml += "<Relationship Id=\"rId" + std::to_string(++id) +
               "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/" + type +
               "\" Target=\"" + target + "\"/>";
    return xml + "</Relationships>";
}

std::string sheetXml(const std::string& data, const std::string& after = "") {
    return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<worksheet") + kNs +
           kX14 +
           "><dimension ref=\"A1:D3\"/><sheetViews><sheetView workbookViewId=\"0\"><pane xSplit=\"2\" "
           "topLeftCell=\"C1\" "
           "state=\"frozen\"/><selection activeCell=\"C2\" sqref=\"C2:D3\"/></sheetView></sheetViews>"
           "<cols><col min=\"1\" max=\"3\" width=\"20\" customWidth=\"1\" style=\"1\"/><col min=\"4\" "
           "max=\"4\" width=\"9\" customWidth=\"1\"/></cols><sheetData>" +
           data + "</sheetData>" + after + "</worksheet>";
}

// Two sheets, Data and Other, styles, a calculation chain and a part no edit touches.
Parts workbook() {
    Parts p;
    p["[Content_Types].xml"] =
        R"(<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"><Default Extension="xml" ContentType="application/xml"/><Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/><Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/><Override PartName="/xl/calcChain.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.calcChain+xml"/></Types>)";
    p["_rels/.rels"] = relationships({{"officeDocument", "xl/workbook.xml"}});
    p["xl/workbook.xml"] =
        std::string("<workbook") + kNs +
        R"(><sheets><sheet name="Data" sheetId="1" r:id="rId1"/><sheet name="Other" sheetId="2" r:id="rId2"/></sheets><definedNames><definedName name="Keys">Data!$A$1:$C$3</definedName><definedName name="_xlnm.Print_Titles" localSheetId="0">Data!$B:$C</definedName></definedNames><calcPr calcId="191029"/></workbook>)";
    p["xl/_rels/workbook.xml.rels"] = relationships({{"worksheet", "worksheets/sheet1.xml"},
                                                     {"worksheet", "worksheets/sheet2.xml"},
                                                     {"styles", "styles.xml"},
                                                     {"calcChain", "calcChain.xml"}});
    p["xl/styles.xml"] =
        std::string("<styleSheet") + kNs +
        R"(><fonts count="1"><font/></fonts><cellXfs count="2"><xf numFmtId="0" fontId="0"/><xf numFmtId="0" fontId="0" fillId="1"/></cellXfs></styleSheet>)";
    p["xl/calcChain.xml"] = std::string("<calcChain") + kNs + "><c r=\"C1\" i=\"1\"/></calcChain>";
    p["xl/worksheets/sheet1.xml"] = sheetXml(
        R"(<row r="1" spans="1:4"><c r="A1" s="1"><v>1</v></c><c r="B1"><f>A1*2+SUM(B2:D2)</f><v>2</v></c><c r="C1"><f t="shared" ref="C1:C3" si="0">B1+1</f></c></row>)"
        R"(<row r="2" spans="1:4"><c r="A2" s="1"/><c r="C2"><f t="shared" si="0"/></c><c r="D2" t="inlineStr"><is><t>x&#13;)"
        "\n"
        R"(y</t></is></c></row><row r="4"><c r="A4"><v>4</v></c><c r="E4"><f t="dataTable" ref="E4:E5" dt2D="0" dtr="0" r1="C1"/></c></row>)"
        R"(<row r="5" s="1" customFormat="1"><c r="A5" s="1"/></row>)"
        R"(<row r="6"><c r="A6"><f t="shared" ref="A6:C6" si="1">A1*2</f></c><c r="B6"><f t="shared" si="1"/></c><c r="C6"><f t="shared" si="1"/></c></row>)",
        R"(<scenarios sqref="C1"><scenario name="s" count="1"><inputCells r="C2" val="1"/></scenario></scenarios><dataConsolidate><dataRefs count="1"><dataRef ref="A1:C2" sheet="Data"/></dataRefs></dataConsolidate>)"
        R"(<mergeCells count="1"><mergeCell ref="B3:D3"/></mergeCells><conditionalFormatting sqref="A1:A3 C1:C3"><cfRule type="expression" priority="1"><formula>$C1&gt;0</formula></cfRule></conditionalFormatting>)"
        R"(<conditionalFormatting sqref="A7:C7"><cfRule type="colorScale" priority="2"><colorScale><cfvo type="min"/><cfvo type="num" val="$C$1"/><cfvo type="max"/><color rgb="FF000000"/><color rgb="FF000000"/><color rgb="FF000000"/></colorScale></cfRule></conditionalFormatting>)"
        R"(<dataValidations count="1"><dataValidation type="list" sqref="D1:D3" prompt="a&#13;&#10;b"><formula1>$A$1:$A$3</formula1></dataValidation></dataValidations><hyperlinks><hyperlink ref="D2" location="Other!A1"/></hyperlinks>)"
        R"(<drawing r:id="rId1"/><extLst><ext uri="{78C0D931-6437-407d-A8EE-F0AAD7539E65}"><x14:conditionalFormattings><x14:conditionalFormatting><x14:cfRule type="dataBar"><x14:dataBar><x14:cfvo type="num"><xm:f>$C$2</xm:f></x14:cfvo></x14:dataBar></x14:cfRule><xm:sqref>A1:C3</xm:sqref></x14:conditionalFormatting></x14:conditionalFormattings></ext></extLst>)");
    p["xl/worksheets/_rels/sheet1.xml.rels"] =
        relationships({{"drawing", "../drawings/drawing1.xml"}, {"ctrlProp", "../ctrlProps/ctrlProp1.xml"}});
    // Form controls linked to cells: one of this sheet, one of the other sheet.
    p["xl/ctrlProps/ctrlProp1.xml"] =
        R"(<formControlPr xmlns="http://schemas.microsoft.com/office/spreadsheetml/2009/9/main" objectType="CheckBox" fmlaLink="$C$2"/>)";
    p["xl/worksheets/_rels/sheet2.xml.rels"] = relationships({{"vmlDrawing", "../drawings/vmlDrawing1.vml"}});
    p["xl/drawings/vmlDrawing1.vml"] =
        "<xml><v:shape><x:ClientData ObjectType=\"Checkbox\"><x:FmlaLink>Data!$C$1</x:FmlaLink>"
        "<x:FmlaMacro>[0]!Clicked</x:FmlaMacro></x:ClientData></v:shape></xml>";
    // Anchored absolutely, moving without resizing, and moving and resizing with its cells.
    p["xl/drawings/drawing1.xml"] =
        R"(<xdr:wsDr xmlns:xdr="d"><xdr:twoCellAnchor editAs="absolute"><xdr:from><xdr:col>3</xdr:col><xdr:colOff>0</xdr:colOff></xdr:from><xdr:to><xdr:col>5</xdr:col><xdr:colOff>0</xdr:colOff></xdr:to></xdr:twoCellAnchor>)"
        R"(<xdr:twoCellAnchor editAs="oneCell"><xdr:from><xdr:col>0</xdr:col></xdr:from><xdr:to><xdr:col>3</xdr:col></xdr:to></xdr:twoCellAnchor>)"
        R"(<xdr:twoCellAnchor><xdr:from><xdr:col>0</xdr:col></xdr:from><xdr:to><xdr:col>3</xdr:col></xdr:to></xdr:twoCellAnchor></xdr:wsDr>)";
    p["xl/worksheets/sheet2.xml"] = sheetXml(R"(<row r="1"><c r="A1"><f>Data!B1+Data!$A$1+B1</f></c></row>)");
    p["docProps/app.xml"] = "<Properties><Application>test</Application></Properties>";
    return p;
}

class Workbook {
public:
    Workbook() {
        std::string pattern = (std::filesystem::temp_directory_path() / "pellucor-xlsx-XXXXXX").string();
        folder_ = ::mkdtemp(pattern.data());
        path = folder_ + "/book.xlsx";
    }
    ~Workbook() { std::filesystem::remove_all(folder_); }

    void write(const Parts& parts) const {
        int error = 0;
        zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
        for (const auto& [name, text] : parts) {
            zip_file_add(z, name.c_str(), zip_source_buffer(z, text.data(), text.size(), 0), 0);
        }
        zip_close(z);
    }
    void writeBytes(const std::string& bytes) const { std::ofstream(path, std::ios::binary) << bytes; }
    std::string bytes() const {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    // The parts as they are now: name -> text.
    Parts read() const {
        Parts out;
        int error = 0;
        zip_t* z = zip_open(path.c_str(), ZIP_RDONLY, &error);
        for (zip_int64_t i = 0; i < zip_get_num_entries(z, 0); ++i) {
            zip_stat_t st;
            zip_stat_index(z, i, 0, &st);
            std::string text(st.size, '\0');
            zip_file_t* f = zip_fopen_index(z, i, 0);
            zip_fread(f, text.data(), st.size);
            zip_fclose(f);
            out[st.name] = text;
        }
        zip_close(z);
        return out;
    }

    std::string path;

private:
    std::string folder_;
};

// One column inserted before B of the first sheet and cells written from B1 down.
WorkbookEdit insertBeforeB(std::vector<CellValue> cells) {
    WorkbookEdit edit;
    edit.edit.insertAt = 2;
    edit.edit.insertCount = 1;
    edit.edit.firstColumn = 2;
    edit.edit.cells.cells = std::move(cells);
    return edit;
}

CellValue formatted(CellValue v, const char16_t* code) {
    v.setFormat(std::make_shared<NumberFormat>(NumberFormat{code, u"zh-CN"}));
    return v;
}

TEST(XlsxWriter, InsertsColumnsAndWritesTypedCells) {
    Workbook book;
    book.write(workbook());
    ::chmod(book.path.c_str(), 0640);
    applyInPlace(
        book.path,
        insertBeforeB({CellValue::text(u"00123"), formatted(CellValue::date(45000.5), u"YYYY/M/D H:MM:SS"),
                       CellValue::boolean(true), formatted(CellValue::text(u"=1+1"), u"@"),
                       CellValue::error(u"#N/A"), CellValue::text(u"a\rb"), CellValue::number(42)}));

    auto parts = book.read();
    const std::string sheet = "xl/worksheets/sheet1.xml", styles = "xl/styles.xml", names = "xl/workbook.xml";
    const std::string drawing = "xl/drawings/drawing1.xml";
    const std::pair<std::string, const char*> written[] = {
        {sheet, R"(<c r="B1" t="inlineStr"><is><t>00123</t></is></c>)"},  // no style of A1; text stays text
        {sheet, R"(<c r="B2" s="2"><v>45000.5</v></c>)"},
        {sheet, R"(</row><row r="3"><c r="B3" t="b"><v>1</v></c></row>)"},
        {sheet,
         R"(<row r="4"><c r="A4"><v>4</v></c><c r="B4" s="3" t="inlineStr"><is><t>=1+1</t></is></c><c r="F4"><f t="dataTable" ref="F4:F5" dt2D="0" dtr="0" r1="D1"/></c></row>)"},
        {sheet, R"(<scenarios sqref="D1"><scenario name="s" count="1"><inputCells r="D2" val="1"/>)"},
        {sheet, R"(<dataRef ref="A1:D2" sheet="Data"/>)"},
        {"xl/ctrlProps/ctrlProp1.xml", R"(fmlaLink="$D$2")"},
        {"xl/drawings/vmlDrawing1.vml",
         "<x:FmlaLink>Data!$D$1</x:FmlaLink><x:FmlaMacro>[0]!Clicked</x:FmlaMacro>"},
        {sheet, R"(<c r="B5" s="0"/></row>)"},  // an error value is left out; the row's style is not taken
        {sheet, R"(<row r="7"><c r="B7"><v>42</v></c></row>)"},  // not shown as the range's date
        {sheet, R"(<c r="E2" t="inlineStr"><is><t>x&#13;)"
                "\n"
                "y</t>"},
        {sheet, R"(prompt="a&#13;&#10;b")"},
        {sheet, R"(<c r="C1"><f>A1*2+SUM(C2:E2)</f>)"},
        {sheet, R"(<f t="shared" ref="D1:D3" si="0">C1+1</f>)"},
        // A shared formula the insertion cuts through: each cell its own formula.
        {sheet,
         R"(<c r="A6"><f>A1*2</f></c><c r="B6" t="inlineStr"><is><t>a&#13;b</t></is></c><c r="C6"><f>C1*2</f></c><c r="D6"><f>D1*2</f></c>)"},
        {sheet, R"(<row r="1" spans="1:5">)"},
        {sheet, R"(<dimension ref="A1:E7"/>)"},
        {sheet, R"(<pane xSplit="3" topLeftCell="D1" state="frozen"/>)"},
        {sheet, R"(<selection activeCell="D2" sqref="D2:E3"/>)"},
        {sheet,
         R"(<cols><col min="1" max="1" width="20" customWidth="1" style="1"/><col min="2" max="2" width="20" customWidth="1"/><col min="3" max="4" width="20" customWidth="1" style="1"/><col min="5" max="5" width="9")"},
        {sheet, R"(<mergeCell ref="C3:E3"/>)"},
        {sheet,
         R"(<conditionalFormatting sqref="A1:A3 D1:D3"><cfRule type="expression" priority="1"><formula>$D1&gt;0</formula>)"},
        {sheet, R"(<conditionalFormatting sqref="A7 C7:D7">)"},
        {sheet, R"(<cfvo type="num" val="$D$1"/>)"},
        {sheet, R"(<xm:f>$D$2</xm:f>)"},
        {sheet, R"(<xm:sqref>A1:A3 C1:D3</xm:sqref>)"},
        {sheet, R"(<dataValidation type="list" sqref="E1:E3")"},
        {sheet, R"(<formula1>$A$1:$A$3</formula1>)"},
        {sheet, R"(<hyperlink ref="E2")"},
        {drawing,
         R"(editAs="absolute"><xdr:from><xdr:col>3</xdr:col><xdr:colOff>0</xdr:colOff></xdr:from><xdr:to><xdr:col>3</xdr:col><xdr:colOff>1209675</xdr:colOff>)"},
        {drawing,
         R"(editAs="oneCell"><xdr:from><xdr:col>0</xdr:col></xdr:from><xdr:to><xdr:col>3</xdr:col>)"},
        {drawing,
         R"(<xdr:twoCellAnchor><xdr:from><xdr:col>0</xdr:col></xdr:from><xdr:to><xdr:col>4</xdr:col>)"},
        {"xl/worksheets/sheet2.xml", "<f>Data!C1+Data!$A$1+B1</f>"},
        {names, "Data!$A$1:$D$3</definedName>"},
        {names, "Data!$C:$D</definedName>"},
        {names, R"(<calcPr calcId="191029" fullCalcOnLoad="1"/>)"},
        {styles, R"(<numFmt numFmtId="164" formatCode="yyyy/m/d h:mm:ss"/>)"},
        {styles,
         R"(<xf numFmtId="164" fontId="0" applyNumberFormat="1"/><xf numFmtId="49" fontId="0" applyNumberFormat="1"/></cellXfs>)"},
    };
    for (const auto& [part, expected] : written)
        EXPECT_NE(parts[part].find(expected), std::string::npos) << expected << "\nin " << parts[part];
    EXPECT_EQ(parts.count("xl/calcChain.xml"), 0u);
    EXPECT_EQ(parts["[Content_Types].xml"].find("calcChain"), std::string::npos);
    EXPECT_EQ(parts["xl/_rels/workbook.xml.rels"].find("calcChain"), std::string::npos);
    EXPECT_EQ(parts["docProps/app.xml"], workbook()["docProps/app.xml"]);
    struct stat st {};
    ::stat(book.path.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(XlsxWriter, LeavesTheFileAsItWasWhenItCannotBeSure) {
    const auto withSheet = [](const std::string& after) {
        auto p = workbook();
        p["xl/worksheets/sheet1.xml"] = sheetXml(R"(<row r="1"><c r="A1"><v>1</v></c></row>)", after);
        return p;
    };
    auto withTable = withSheet(R"(<tableParts count="1"><tablePart r:id="rId1"/></tableParts>)");
    withTable["xl/worksheets/_rels/sheet1.xml.rels"] = relationships({{"table", "../tables/table1.xml"}});
    withTable["xl/tables/table1.xml"] =
        std::string("<table") + kNs +
        R"( id="1" name="表1" displayName="表1" ref="A1:C3"><tableColumns count="3"/></table>)";
    const auto withRows = [](const std::string& rows) {
        auto p = workbook();
        p["xl/worksheets/sheet1.xml"] = sheetXml(rows);
        return p;
    };
    auto damagedBook = workbook();
    damagedBook["xl/workbook.xml"].erase(damagedBook["xl/workbook.xml"].find("</sheets>"), 9);
    auto sheetMissing = workbook();
    sheetMissing.erase("xl/worksheets/sheet2.xml");
    struct Case {
        const char* what;
        Parts parts;
        std::u16string reason;   // empty: refused as a damaged file
        std::string bytes = {};  // the file, when it is no package at all
    };
    const Case cases[] = {
        {"a table cut by the insertion", withTable, u"插入列会穿过表格“表1”"},
        {"a protected sheet", withSheet(R"(<sheetProtection sheet="1" objects="1"/>)"), u"工作表受保护"},
        {"an unknown part of the sheet", withSheet(R"(<futureThing ref="C1"/>)"),
         u"工作表中有无法移动的内容（futureThing）"},
        {"rows out of order", withRows(R"(<row r="3"/><row r="2"/>)"), u"工作表无法读取"},
        {"an encrypted workbook",
         {},
         u"文件已加密",
         std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(504, '\0')},
        {"a row that is not well-formed", withRows(R"(<row r="2"><c r="A2"><v>2</v></x></c></row>)"), u""},
        {"a workbook part that is not well-formed", damagedBook, u""},
        {"a sheet without its part", sheetMissing, u""},
        {"no zip package", {}, u"", "PK\x03\x04 cut short"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Workbook book;
        if (c.parts.empty()) {
            book.writeBytes(c.bytes);
        } else {
            book.write(c.parts);
        }
        const auto before = book.bytes();
        try {
            applyInPlace(book.path, insertBeforeB({CellValue::number(1)}));
            ADD_FAILURE() << "written";
        } catch (const Unsupported& e) {
            EXPECT_EQ(e.reason(), c.reason) << e.what();
        } catch (const Failure& e) {
            EXPECT_TRUE(c.reason.empty()) << e.what();
            EXPECT_EQ(e.cause().kind, FailureCause::Kind::Damaged) << e.what();
            EXPECT_EQ(e.cause().file, u"book.xlsx");
        }
        EXPECT_EQ(book.bytes(), before);
        EXPECT_EQ(
            std::distance(std::filesystem::directory_iterator(std::filesystem::path(book.path).parent_path()),
                          std::filesystem::directory_iterator()),
            1);
    }
}

// Cells written over a shared formula's first cell, with no column inserted, into a package without
// styles: the formula's other cells get their own, and a styles part is made for the date.
TEST(XlsxWriter, WritesOverWhatItMustTakeApart) {
    auto parts = workbook();
    parts.erase("xl/styles.xml");
    parts["xl/worksheets/sheet1.xml"] =
        std::string("<worksheet") + kNs +
        R"(><sheetData><row r="1"><c r="C1"><f t="shared" ref="C1:C2" si="0">B1+1</f></c></row><row r="2"><c r="C2"><f t="shared" si="0"/></c></row></sheetData></worksheet>)";
    parts["xl/_rels/workbook.xml.rels"] = relationships({{"worksheet", "worksheets/sheet1.xml"},
                                                         {"worksheet", "worksheets/sheet2.xml"},
                                                         {"calcChain", "calcChain.xml"}});
    Workbook book;
    book.write(parts);
    WorkbookEdit edit;
    edit.edit.firstColumn = 3;
    edit.edit.cells.cells = {CellValue::date(45000)};
    applyInPlace(book.path, edit);
    auto written = book.read();
    const std::pair<std::string, const char*> expected[] = {
        {"xl/worksheets/sheet1.xml", R"(<c r="C1" s="1"><v>45000</v></c>)"},
        {"xl/worksheets/sheet1.xml", R"(<c r="C2"><f>B2+1</f></c>)"},
        {"xl/styles.xml", R"(<numFmt numFmtId="164" formatCode="yyyy/m/d"/>)"},
        {"xl/styles.xml",
         R"(<xf numFmtId="164" fontId="0" fillId="0" borderId="0" xfId="0" applyNumberFormat="1"/>)"},
        {"xl/_rels/workbook.xml.rels",
         R"(Id="rId4" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles" Target="styles.xml")"},
        {"[Content_Types].xml",
         R"(<Override PartName="/xl/styles.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml"/>)"},
    };
    for (const auto& [part, text] : expected)
        EXPECT_NE(written[part].find(text), std::string::npos) << text << "\nin " << written[part];
}

// Rows of every form come out alike whether the writer copies their cells as text or takes them
// apart (which a comment in a row makes it do), with and without an insertion.
TEST(XlsxWriter, RowsCopiedAsTextComeOutAsFromTheDom) {
    const std::vector<std::string> rows = {
        R"(<row r="1"><c r="A1"><v>1</v></c><c r="B1" t="s"><v>0</v></c><c r="C1"/></row>)",
        R"(<row r="2" spans="1:3" x14ac:dyDescent="0.25"><c r="A2" t="inlineStr"><is><t xml:space="preserve"> a&amp;b&#13;</t></is></c></row>)",
        "<row r=\"4\"><c r=\"a4\"><v>4</v></c>\n <c r=\"c4\" s=\"1\"><v>5</v></c></row>",
        R"(<row r="5" ht="20" customHeight="1"><c r="B5" t="inlineStr"><is><r><t>x</t></r><r><t>y</t></r></is></c><c r="D5"><v>1</v></c></row>)",
        R"(<row r="7" spans="2:2"><c r="B7" s="1"/></row>)",
        R"(<row r="9"><c r="C9" t="e"><v>#N/A</v></c><c r="XFC9"><v>1</v></c></row>)",
    };
    const std::vector<CellValue> values = {CellValue::text(u"t"),
                                           CellValue::number(2),
                                           CellValue{},
                                           formatted(CellValue::date(45000), u"YYYY-MM-DD"),
                                           CellValue::boolean(false),
                                           CellValue{},
                                           CellValue::text(u" 子 ")};
    // The sheet's rows as a parser reads them, comments left out; or why the edit was refused.
    const auto edited = [&](const WorkbookEdit& edit, const std::string& inRow) -> std::string {
        std::string data;
        for (const auto& row : rows)
            data += row.substr(0, row.find('>') + 1) + inRow + row.substr(row.find('>') + 1);
        auto parts = workbook();
        parts["xl/worksheets/sheet1.xml"] = sheetXml(data);
        Workbook book;
        book.write(parts);
        try {
            applyInPlace(book.path, edit);
        } catch (const Unsupported& u) {
            return u.what();
        }
        pugi::xml_document doc;
        doc.load_string(book.read()["xl/worksheets/sheet1.xml"].c_str(),
                        (pugi::parse_default | pugi::parse_ws_pcdata) & ~pugi::parse_eol);
        std::ostringstream out;
        doc.child("worksheet").child("sheetData").print(out, "", pugi::format_raw);
        return out.str();
    };
    auto intoB = insertBeforeB(values);
    intoB.edit.insertCount = 0;
    for (const auto& edit : {insertBeforeB(values), intoB}) {
        const auto asText = edited(edit, "");
        EXPECT_EQ(asText, edited(edit, "<!---->"));
        EXPECT_NE(
            asText.find(edit.edit.insertCount ? R"(<c r="C1" t="s">)" : R"(<c r="B1" s="1" t="inlineStr">)"),
            std::string::npos)
            << asText;
    }
    auto offTheSheet = insertBeforeB(values);
    offTheSheet.edit.insertCount = 2;
    EXPECT_EQ(edited(offTheSheet, ""), edited(offTheSheet, "<!---->"));
}

TEST(XlsxWriter, NumberFormatsInThePackagesNotation) {
    const std::pair<const char16_t*, const char*> cases[] = {
        {u"YYYY-MM-DD", "yyyy-mm-dd"},
        {u"YYYY/M/D H:MM:SS", "yyyy/m/d h:mm:ss"},
        {u"0.00%", "0.00%"},
        {u"#,##0.00 [$¥-804];[RED]-#,##0.00 [$¥-804]", "#,##0.00 [$¥-804];[Red]-#,##0.00 [$¥-804]"},
        {u"[$-804]YYYY\"年\"M\"月\"D\"日\"", "[$-804]yyyy\"年\"m\"月\"d\"日\""},
        {u"[HH]:MM AM/PM", "[hh]:mm AM/PM"},
        {u"NN, D. MMMM", "ddd, d. mmmm"},
        {u"0.00E+00", "0.00E+00"},
        {u"BOOLEAN", "General"},
        {u"General", "General"},
        {u"QQ YY", nullptr},       // quarters
        {u"[NatNum1]0", nullptr},  // native numerals
        {u"[~buddhist]YYYY", nullptr},
        {u"EE", nullptr},  // era years
    };
    for (const auto& [office, expected] : cases) {
        const auto converted = excelFormatCode(office);
        if (expected) {
            EXPECT_EQ(converted.value_or("(none)"), expected);
        } else {
            EXPECT_FALSE(converted) << *converted;
        }
    }
}

}  // namespace
}  // namespace sheets::xlsx
