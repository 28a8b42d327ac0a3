#include "sheets/xlsx/xlsx_writer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "sheets/format_code.h"

namespace sheets::xlsx {
namespace {

using Parts = std::map<std::string, std::string>;

const char* kNs =
    R"( xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships")";

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
           "><dimension ref=\"A1:D3\"/><sheetViews><sheetView workbookViewId=\"0\"><pane xSplit=\"2\" "
           "topLeftCell=\"C1\" "
           "state=\"frozen\"/><selection activeCell=\"C2\" sqref=\"C2:D3\"/></sheetView></sheetViews>"
           "<cols><col min=\"1\" max=\"1\" width=\"20\" customWidth=\"1\"/><col min=\"3\" max=\"4\" "
           "width=\"9\" "
           "customWidth=\"1\"/></cols><sheetData>" +
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
        R"(<row r="2" spans="1:4"><c r="A2" s="1"/><c r="C2"><f t="shared" si="0"/></c><c r="D2" t="inlineStr"><is><t>x</t></is></c></row>)"
        R"(<row r="4"><c r="A4"><v>4</v></c></row>)",
        R"(<mergeCells count="1"><mergeCell ref="B3:D3"/></mergeCells><conditionalFormatting sqref="A1:A3 C1:C3"><cfRule type="expression" priority="1"><formula>$C1&gt;0</formula></cfRule></conditionalFormatting><dataValidations count="1"><dataValidation type="list" sqref="D1:D3"><formula1>$A$1:$A$3</formula1></dataValidation></dataValidations><hyperlinks><hyperlink ref="D2" location="Other!A1"/></hyperlinks>)");
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
                       CellValue::boolean(true), formatted(CellValue::text(u"=1+1"), u"@")}));

    auto parts = book.read();
    const std::string sheet = "xl/worksheets/sheet1.xml", styles = "xl/styles.xml", names = "xl/workbook.xml";
    const std::pair<std::string, const char*> written[] = {
        {sheet, R"(<c r="B1" t="inlineStr"><is><t>00123</t></is></c>)"},  // no style of A1; text stays text
        {sheet, R"(<c r="B2" s="2"><v>45000.5</v></c>)"},
        {sheet, R"(</row><row r="3"><c r="B3" t="b"><v>1</v></c></row>)"},
        {sheet,
         R"(<row r="4"><c r="A4"><v>4</v></c><c r="B4" s="3" t="inlineStr"><is><t>=1+1</t></is></c></row>)"},
        {sheet, R"(<c r="C1"><f>A1*2+SUM(C2:E2)</f>)"},
        {sheet, R"(<f t="shared" ref="D1:D3" si="0">C1+1</f>)"},
        {sheet, R"(<row r="1" spans="1:5">)"},
        {sheet, R"(<dimension ref="A1:E4"/>)"},
        {sheet, R"(<pane xSplit="3" topLeftCell="D1" state="frozen"/>)"},
        {sheet, R"(<selection activeCell="D2" sqref="D2:E3"/>)"},
        {sheet, R"(<col min="4" max="5" width="9")"},
        {sheet, R"(<mergeCell ref="C3:E3"/>)"},
        {sheet,
         R"(<conditionalFormatting sqref="A1:A3 D1:D3"><cfRule type="expression" priority="1"><formula>$D1&gt;0</formula>)"},
        {sheet, R"(<dataValidation type="list" sqref="E1:E3"><formula1>$A$1:$A$3</formula1>)"},
        {sheet, R"(<hyperlink ref="E2")"},
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
    auto withLinkedControl = withSheet("");
    withLinkedControl["xl/worksheets/_rels/sheet2.xml.rels"] =
        relationships({{"vmlDrawing", "../drawings/vmlDrawing1.vml"}});
    withLinkedControl["xl/drawings/vmlDrawing1.vml"] =
        "<xml><v:shape><x:ClientData ObjectType=\"Checkbox\"><x:FmlaLink>Data!$C$1</x:FmlaLink>"
        "<x:FmlaMacro>[0]!Clicked</x:FmlaMacro></x:ClientData></v:shape></xml>";
    struct Case {
        const char* what;
        Parts parts;  // empty: the file is not a zip package but a compound (encrypted) file
        std::u16string reason;
    };
    const Case cases[] = {
        {"a table cut by the insertion", withTable, u"插入列会穿过表格“表1”"},
        {"a protected sheet", withSheet(R"(<sheetProtection sheet="1" objects="1"/>)"), u"工作表受保护"},
        {"an unknown part of the sheet", withSheet(R"(<scenarios><scenario name="s"/></scenarios>)"),
         u"工作表中有无法移动的内容（scenarios）"},
        {"a form control of another sheet linked to a moved cell", withLinkedControl,
         u"其他工作表中有链接到该工作表的表单控件"},
        {"an encrypted workbook", {}, u"文件已加密"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Workbook book;
        if (c.parts.empty()) {
            book.writeBytes(std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(504, '\0'));
        } else {
            book.write(c.parts);
        }
        const auto before = book.bytes();
        try {
            applyInPlace(book.path, insertBeforeB({CellValue::number(1)}));
            ADD_FAILURE() << "written";
        } catch (const Unsupported& e) {
            EXPECT_EQ(e.reason(), c.reason) << e.what();
        }
        EXPECT_EQ(book.bytes(), before);
        EXPECT_EQ(
            std::distance(std::filesystem::directory_iterator(std::filesystem::path(book.path).parent_path()),
                          std::filesystem::directory_iterator()),
            1);
    }
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
