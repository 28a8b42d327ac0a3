#include "sheets/xls/xls_writer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "sheets/xls/biff.h"
#include "sheets/xls/bytes.h"
#include "sheets/xls/compound_file.h"
#include "sheets/xls/shared_strings.h"
#include "workbook_builder.h"

namespace sheets::xls {
namespace {

using namespace testing;

// Cell records: row, column, format.
std::string at(int row, int column, int xf = 15) {
    return u16(row) + u16(column) + u16(xf);
}
std::string number(double v) {
    std::string out(8, '\0');
    std::memcpy(out.data(), &v, 8);
    return out;
}
Rec row(int r, int first, int end) {
    return {0x0208, u16(r) + u16(first) + u16(end) + u16(255) + u32(0) + u32(0x000F0100)};
}
// A formula cell: its value, flags, and tokens.
Rec formula(int r, int c, const std::string& tokens) {
    return {0x0006,
            at(r, c) + number(0) + u16(0) + u32(0) + u16(static_cast<unsigned>(tokens.size())) + tokens};
}

// Globals: 15 style formats and the default cell format, a number format, two sheets' links, a name,
// three shared strings; "Data" holds numbers, strings, a formula, a run of numbers, a column width
// and a merged range; "Other" refers to Data. `change` adds or replaces records before they are laid out.
struct Spec {
    std::vector<Rec> globals, data, other;
};

Spec spec() {
    Spec s;
    std::string xfs;
    for (int i = 0; i < 16; ++i)
        s.globals.push_back(
            {0x00E0, u16(0) + u16(0) + u16(i < 15 ? 0xFFF5 : 0x0001) + std::string(14, '\0')});
    s.globals.insert(s.globals.begin(), {0x041E, u16(164) + text("0.0")});
    s.globals.push_back({0x00EB, std::string(4200, '\x11')});  // a drawing group: the stream is no small one
    s.globals.push_back({0x01C1, u16(0x01C1) + u16(0) + u32(0x0001BE22)});
    s.data = {{0x020B, u32(0) + u32(0) + u32(3) + u32(0)},
              {0x0055, u16(8)},
              {0x007D, u16(1) + u16(1) + u16(4000) + u16(15) + u16(0) + u16(0)},
              {0x0200, u32(0) + u32(3) + u16(0) + u16(3) + u16(0)},
              row(0, 0, 3),
              row(1, 0, 3),
              {0x0203, at(0, 0) + number(1)},
              {0x00FD, at(0, 1) + u32(0)},
              formula(0, 2, "\x24" + u16(0) + u16(0xC001) + "\x1E" + u16(2) + "\x05"),  // B1*2
              {0x00BD, u16(1) + u16(0) + u16(15) + u32(0x3FF00000) + u16(15) + u32(0x40000000) + u16(15) +
                           u32(0x40080000) + u16(2)},  // 1, 2, 3 in A2:C2
              {0x023E, u16(0x06B6) + u16(0) + u16(0) + std::string(12, '\0')},
              {0x00E5, u16(1) + u16(2) + u16(2) + u16(1) + u16(2)}};  // B3:C3
    s.other = {{0x020B, u32(0) + u32(0) + u32(1) + u32(0)},
               {0x0200, u32(0) + u32(1) + u16(0) + u16(1) + u16(0)},
               row(0, 0, 1),
               formula(0, 0, "\x3A" + u16(0) + u16(0) + u16(0xC001))};  // Data!B1
    return s;
}

std::string streamOf(const Spec& s) {
    const std::vector<Rec> links = {
        {0x01AE, u16(2) + u16(0x0401)},
        {0x0017, u16(1) + u16(0) + u16(0) + u16(0)},
        {0x0018, u16(0) + '\0' + '\x04' + u16(11) + u16(0) + u16(0) + u32(0) + '\0' + "Keys" + "\x3B" +
                     u16(0) + u16(0) + u16(2) + u16(0) + u16(2)},  // Data!$A$1:$C$3
        {0x00FC, u32(3) + u32(3) + text("a") + text("b") + text("00123")},
        {0x00FF, u16(1) + std::string(24, '\0')},  // one string a bucket, as the file has it
    };
    return workbookStream(s.globals, links, {{"Data", s.data}, {"Other", s.other}});
}

std::string fileOf(const Spec& s) {
    return compoundFile({{u"Workbook", streamOf(s)},
                         {u"\x05SummaryInformation", std::string(4608, '\x22')},
                         {u"_VBA_PROJECT_CUR", {}, {{u"dir", std::string(5000, '\x44')}}, true}});
}

class File {
public:
    File() {
        std::string pattern = (std::filesystem::temp_directory_path() / "pellucor-xls-XXXXXX").string();
        folder_ = ::mkdtemp(pattern.data());
        path = folder_ + "/book.xls";
    }
    ~File() { std::filesystem::remove_all(folder_); }
    void write(const std::string& bytes) const { std::ofstream(path, std::ios::binary) << bytes; }
    std::string bytes() const {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::size_t filesBeside() const {
        return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder_),
                                                      std::filesystem::directory_iterator()));
    }
    std::string path;

private:
    std::string folder_;
};

WorkbookEdit insertBeforeB(std::vector<CellValue> cells) {
    WorkbookEdit edit;
    edit.sheetName = u"Data";
    edit.edit = {2, 1, 2, {1, std::move(cells)}};
    return edit;
}

CellValue formatted(CellValue v, const char16_t* code) {
    v.setFormat(std::make_shared<NumberFormat>(NumberFormat{code, u"zh-CN"}));
    return v;
}

// The records of the written file's Workbook stream, by substream; the record of a type at a cell.
struct Written {
    explicit Written(const std::string& file)
        : stream(readStream(*CompoundFile(file).rootStream(u"Workbook"))) {}
    const Record* find(std::size_t substream, std::uint16_t type, int row = -1, int column = -1) const {
        for (const auto& r : stream.substreams[substream].records)
            if (r.type == type && (row < 0 || (get16(r.data, 0) == row && get16(r.data, 2) == column)))
                return &r;
        return nullptr;
    }
    WorkbookStream stream;
};

TEST(XlsWriter, InsertsColumnsAndWritesTypedCells) {
    File book;
    book.write(fileOf(spec()));
    ::chmod(book.path.c_str(), 0640);
    applyInPlace(
        book.path,
        insertBeforeB({CellValue::text(u"00123"), formatted(CellValue::date(45000.5), u"YYYY/M/D H:MM:SS"),
                       CellValue::boolean(true), formatted(CellValue::number(3.5), u"0.00%"),
                       CellValue::text(u"新的"), CellValue::text(std::u16string(9000, u'字'))}));
    const auto file = book.bytes();
    const Written w(file);
    const auto xfFormat = [&](const Record* cell) {
        int k = 0;
        for (const auto& r : w.stream.substreams[0].records)
            if (r.type == 0x00E0 && k++ == get16(cell->data, 4)) return static_cast<int>(get16(r.data, 2));
        return -1;
    };
    // The result: the existing "00123" reused, the new text appended, typed numbers in their formats.
    ASSERT_TRUE(w.find(1, 0x00FD, 0, 1));
    EXPECT_EQ(get32(w.find(1, 0x00FD, 0, 1)->data, 6), 2u);
    EXPECT_EQ(get32(w.find(1, 0x00FD, 4, 1)->data, 6), 3u);
    EXPECT_EQ(xfFormat(w.find(1, 0x0203, 1, 1)), 165);  // yyyy/m/d h:mm:ss added after "0.0" (164)
    EXPECT_EQ(w.find(1, 0x0205, 2, 1)->data.substr(6), std::string("\x01\x00", 2));
    EXPECT_EQ(xfFormat(w.find(1, 0x0203, 3, 1)), 10);
    const auto& sst = *w.find(0, 0x00FC);
    EXPECT_EQ(sst.data.substr(0, 8), u32(6) + u32(5));     // references and unique strings
    SharedStrings reread(w.stream.substreams[0].records);  // the long one split over CONTINUE records
    EXPECT_EQ(reread.indexOf(std::u16string(9000, u'字')), 4u);
    EXPECT_FALSE(reread.changed());
    EXPECT_EQ(w.find(0, 0x00FF)->data.size(), 2u + 8 * 5);
    // What was there moved right, its references with it; what is left of B stayed.
    EXPECT_TRUE(w.find(1, 0x0203, 0, 0));
    EXPECT_EQ(get32(w.find(1, 0x00FD, 0, 2)->data, 6), 0u);
    EXPECT_EQ(w.find(1, 0x0006, 0, 3)->data.substr(22, 5), "\x24" + u16(0) + u16(0xC002));
    EXPECT_EQ(w.find(2, 0x0006, 0, 0)->data.substr(22, 7), "\x3A" + u16(0) + u16(0) + u16(0xC002));
    EXPECT_TRUE(w.find(1, 0x027E, 1, 0));                    // A2 split out of the run
    EXPECT_EQ(get16(w.find(1, 0x00BD, 1, 2)->data, 16), 3);  // C2:D2
    EXPECT_EQ(w.find(1, 0x007D)->data.substr(0, 4), u16(2) + u16(2));
    EXPECT_EQ(w.find(1, 0x00E5)->data.substr(2), u16(2) + u16(2) + u16(2) + u16(3));
    EXPECT_EQ(w.find(1, 0x0200)->data.substr(0, 12), u32(0) + u32(6) + u16(0) + u16(4));
    EXPECT_NE(w.find(0, 0x0018)->data.find("\x3B" + u16(0) + u16(0) + u16(2) + u16(0) + u16(3)),
              std::string::npos);
    EXPECT_EQ(get32(w.find(0, 0x01C1)->data, 4), 0u);  // results computed anew on opening
    // Positions: each sheet's BOF, and the row blocks' index.
    const auto stream = *CompoundFile(file).rootStream(u"Workbook");
    for (const auto& r : w.stream.substreams[0].records) {
        if (r.type != 0x0085) continue;
        EXPECT_EQ(get16(stream, get32(r.data, 0)), 0x0809);
    }
    const auto& index = *w.find(1, 0x020B);
    ASSERT_EQ(index.data.size(), 20u);
    EXPECT_EQ(get16(stream, get32(index.data, 16)), 0x00D7);
    EXPECT_EQ(get16(stream, get32(index.data, 12)), 0x0055);
    // The rest of the file as it was.
    const CompoundFile before(fileOf(spec())), after(file);
    EXPECT_EQ(after.rootStream(u"\x05SummaryInformation"), before.rootStream(u"\x05SummaryInformation"));
    EXPECT_EQ(file.substr(0, 8), before.bytes().substr(0, 8));
    EXPECT_NE(file.find(std::string(16, '\x5A') + u32(0x1234) + std::string(16, '\x33')), std::string::npos);
    EXPECT_NE(file.find(std::string(5000, '\x44')), std::string::npos);
    struct stat st {};
    ::stat(book.path.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

// Without an insertion the cells are written over what is there: a run of numbers splits, a string
// loses its reference, a cell emptied by an error value (written empty, as the office writes it)
// keeps its format.
TEST(XlsWriter, WritesOverExistingCells) {
    File book;
    book.write(fileOf(spec()));
    WorkbookEdit edit;
    edit.edit = {0,
                 0,
                 1,
                 {2,
                  {CellValue::text(u"b"), CellValue::error(u"#N/A"), CellValue::number(5),
                   CellValue::boolean(false)}}};
    applyInPlace(book.path, edit);
    const Written w(book.bytes());
    EXPECT_EQ(get32(w.find(1, 0x00FD, 0, 0)->data, 6), 1u);
    EXPECT_EQ(w.find(1, 0x0201, 0, 1)->data, at(0, 1));
    EXPECT_EQ(w.find(1, 0x0203, 1, 0)->data.substr(6), number(5));
    EXPECT_TRUE(w.find(1, 0x0205, 1, 1));
    EXPECT_TRUE(w.find(1, 0x027E, 1, 2));  // C2, what is left of the run
    EXPECT_EQ(w.find(0, 0x00FC)->data.substr(0, 8), u32(3) + u32(3));
    EXPECT_TRUE(w.find(1, 0x0006, 0, 2));
}

TEST(XlsWriter, LeavesTheFileAsItWasWhenItCannotBeSure) {
    const auto with = [](auto change) {
        Spec s = spec();
        change(s);
        return fileOf(s);
    };
    struct Case {
        const char* what;
        std::string file;
        std::u16string reason;
    };
    const Case cases[] = {
        {"an encrypted workbook", with([](Spec& s) {
             s.globals.insert(s.globals.begin(), {0x002F, u16(1) + std::string(52, '\0')});
         }),
         u"文件已加密"},
        {"a protected sheet", with([](Spec& s) {
             s.data.push_back({0x0012, u16(1)});
         }),
         u"工作表受保护"},
        {"a scenario", with([](Spec& s) {
             s.data.push_back({0x00AF, std::string(20, '\0')});
         }),
         u"工作表中有方案"},
        {"a data table", with([](Spec& s) {
             s.data.insert(s.data.begin() + 9, {0x0236, std::string(16, '\0')});
         }),
         u"工作表中有模拟运算表"},
        {"a record this writer does not know", with([](Spec& s) {
             s.data.push_back({0x0123, "??"});
         }),
         u"工作表中有无法识别的内容（记录 0x0123）"},
        {"the insertion through a shared formula", with([](Spec& s) {
             s.data.insert(s.data.begin() + 9, {0x04BC, u16(0) + u16(0) + '\0' + '\x02' + '\0' + '\x01' +
                                                            u16(3) + "\x1E" + u16(1)});
         }),
         u"插入列会穿过共享公式"},
        {"an Excel 95 workbook", compoundFile({{u"Book", std::string(5000, '\0')}}),
         u"文件是 Excel 5.0/95 或更早的格式"},
        {"a text file named .xls", "a\tb\n1\t2\n", u"文件不是 Excel 97-2003 工作簿"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        File book;
        book.write(c.file);
        try {
            applyInPlace(book.path, insertBeforeB({CellValue::number(1)}));
            ADD_FAILURE() << "written";
        } catch (const Unsupported& e) {
            EXPECT_EQ(e.reason(), c.reason) << e.what();
        }
        EXPECT_EQ(book.bytes(), c.file);
        EXPECT_EQ(book.filesBeside(), 1u);
    }
}

TEST(XlsWriter, ADamagedWorkbookIsAFailureNotAFallback) {
    File book;
    auto stream = streamOf(spec());
    stream.resize(stream.size() - 3);  // the last record runs past the stream
    book.write(compoundFile({{u"Workbook", stream}}));
    const auto before = book.bytes();
    try {
        applyInPlace(book.path, insertBeforeB({CellValue::number(1)}));
        ADD_FAILURE() << "written";
    } catch (const Unsupported&) {
        ADD_FAILURE() << "left to the office";
    } catch (const Failure& f) {
        EXPECT_EQ(f.cause().kind, FailureCause::Kind::Damaged) << f.what();
        EXPECT_EQ(f.cause().file, u"book.xls");
    }
    EXPECT_EQ(book.bytes(), before);
}

// A stream that moves between the mini stream and regular sectors, and outgrows the file: new
// sectors at the end, the allocation tables (and the FAT's own index past 109 sectors) grown;
// every other stream reads as before.
TEST(CompoundFileTest, GrowsAStreamAndKeepsTheOthers) {
    const std::string other(6000, '\x77'), small(100, '\x66');
    CompoundFile file(
        compoundFile({{u"Workbook", std::string(5000, '\x01')}, {u"Other", other}}, {{u"Small", small}}));
    for (const std::size_t size : {std::size_t{300}, std::size_t{3000}, std::size_t{4096},
                                   std::size_t{300000}, std::size_t{1000}, std::size_t{8u << 20}}) {
        std::string content(size, '\0');
        for (std::size_t i = 0; i < size; ++i) content[i] = static_cast<char>(i * 7);
        file.replaceRootStream(u"Workbook", content);
        const CompoundFile reread(file.bytes());
        EXPECT_EQ(reread.rootStream(u"Workbook"), content) << size;
        EXPECT_EQ(reread.rootStream(u"other"), other) << size;
        EXPECT_EQ(reread.rootStream(u"Small"), small) << size;
    }
}

}  // namespace
}  // namespace sheets::xls
