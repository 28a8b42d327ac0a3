// The Calc application against the real LibreOffice, all tests sharing one office.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "sheets/calc/calc_application.h"
#include "sheets/failure.h"
#include "test_support.h"
#include "workbook_maker.h"

namespace sheets::calc::testing {
namespace {

using Kind = CellValue::Kind;

class CalcTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        desktop_ = new FakeDesktop;
        app_ = CalcApplicationFactory().create(*desktop_).release();
    }
    static void TearDownTestSuite() {
        delete app_;
        delete desktop_;
    }
    void SetUp() override {
        desktop_->asked.clear();
        desktop_->answer = false;
        desktop_->clipboard_.clear();
    }

    sheets::Application& app() { return *app_; }
    FakeDesktop& desktop() { return *desktop_; }
    std::string pipe() { return officeInfo(*app_).pipeName; }
    void make(const std::string& path, const std::vector<CellSpec>& cells,
              std::vector<SheetSpec> sheets = {{u"S"}}) {
        makeWorkbook(pipe(), path, sheets, cells);
    }

    TempDir dir_;

private:
    static inline FakeDesktop* desktop_ = nullptr;
    static inline sheets::Application* app_ = nullptr;
};

TEST_F(CalcTest, SheetsAreTakenByPositionRoundedHalfToEven) {
    const std::string path = dir_.file("named.ods");
    make(path, {{0, "A1", u"first"}, {1, "A1", u"second"}, {2, "A1", u"third"}}, {{u"3"}, {u"1"}, {u"2"}});
    auto book = app().open(std::u16string(path.begin(), path.end()));
    const struct {
        double index;
        const char16_t* marker;
    } good[] = {{1, u"first"},    {2, u"second"},   {3, u"third"},
                {1.5, u"second"}, {2.5, u"second"}, {0.6, u"first"}};
    for (const auto& g : good) EXPECT_EQ(book->worksheet(g.index)->cell(1, 1).toText(), g.marker) << g.index;
    for (double bad : {0.0, 0.5, -1.0, 3.5, 4.0, std::nan("")})
        EXPECT_THROW(book->worksheet(bad), Failure) << bad;
    book->close(false);
}

TEST_F(CalcTest, UsedRowsCountFromTheFirstUsedRow) {
    const std::string path = dir_.file("rows.xlsx");
    make(path, {{0, "B3", 1.0}, {0, "C10", u"x"}}, {{u"S"}, {u"Empty"}});
    auto book = app().open(std::u16string(path.begin(), path.end()));
    EXPECT_EQ(book->worksheet(1)->usedRowCount(), 8);
    EXPECT_EQ(book->worksheet(2)->usedRowCount(), 1);
    book->close(false);
}

// Every kind of value, in each file format: single reads and block reads agree.
class CellValuesTest : public CalcTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(CellValuesTest, EveryKindOfValueReadsAsItsText) {
    const struct {
        CellSpec spec;
        Kind kind;
        std::u16string text;
    } rows[] = {
        {{0, "B1", u"hello"}, Kind::Text, u"hello"},
        {{0, "B2", 12.0, "0000"}, Kind::Number, u"12"},
        {{0, "B3", Formula{"=0.1+0.2"}}, Kind::Number, u"0.3"},
        {{0, "B4", 1e20}, Kind::Number, u"1E+20"},
        {{0, "B5", 45366.0, "YYYY-MM-DD"}, Kind::Date, u"2024/3/15"},
        {{0, "B6", 45366.5729166667, "YYYY-MM-DD HH:MM:SS"}, Kind::Date, u"2024/3/15 13:45:00"},
        {{0, "B7", 0.25, "HH:MM:SS"}, Kind::Date, u"6:00:00"},
        {{0, "B8", Formula{"=TRUE()"}}, Kind::Boolean, u"True"},
        {{0, "B9", Formula{"=FALSE()"}}, Kind::Boolean, u"False"},
        {{0, "B10", u"  padded  "}, Kind::Text, u"  padded  "},
        {{0, "B11", u"a\tb"}, Kind::Text, u"a\tb"},
        {{0, "B12", u"中文"}, Kind::Text, u"中文"},
        {{0, "B13", u"0012"}, Kind::Text, u"0012"},
        {{0, "B14", Formula{"=\"\""}}, Kind::Text, u""},
        {{0, "B15", Formula{"=1/0"}}, Kind::Error, u""},
        {{0, "B16", Formula{"=NA()"}}, Kind::Error, u""},
        {{0, "B17", u"line\nbreak"}, Kind::Text, u"line\nbreak"},
        {{0, "B18", -3.5, "0.00%"}, Kind::Number, u"-3.5"},
        {{0, "B19", Formula{"=B2*2"}}, Kind::Number, u"24"},
        {{0, "B20", 0.0, "BOOLEAN"}, Kind::Boolean, u"False"},
    };
    std::vector<CellSpec> specs;
    for (const auto& r : rows) specs.push_back(r.spec);
    const std::string path = dir_.file(std::string("values.") + GetParam());
    make(path, specs);

    auto sheet = app().open(std::u16string(path.begin(), path.end()))->worksheet(1);
    const std::vector<CellValue> block = sheet->column(2, 21);
    ASSERT_EQ(block.size(), 21u);
    for (const auto& r : rows) {
        // An .ods file written by the office keeps no tab inside a cell.
        if (r.spec.address == "B11" && std::string(GetParam()) == "ods") continue;
        const int row = std::stoi(r.spec.address.substr(1));
        const CellValue single = sheet->cell(row, 2);
        EXPECT_EQ(single, block[row - 1]) << r.spec.address;
        EXPECT_EQ(single.kind(), r.kind) << r.spec.address;
        if (r.kind == Kind::Error) {
            EXPECT_THROW(single.toText(), Failure) << r.spec.address;
        } else {
            EXPECT_EQ(single.toText(), r.text) << r.spec.address;
        }
    }
    EXPECT_EQ(block[20], CellValue()) << "B21 is empty";
    EXPECT_EQ(sheet->cell(1000, 26), CellValue());
}

INSTANTIATE_TEST_SUITE_P(Formats, CellValuesTest, ::testing::Values("xls", "xlsx", "ods"));

std::u16string u16(const std::string& s) {
    return std::u16string(s.begin(), s.end());
}

TEST_F(CalcTest, OpeningFailsForWhatIsNoReadableWorkbook) {
    for (const std::u16string& path :
         std::vector<std::u16string>{u"C:\\", u"", u16(dir_.file("missing.xlsx")), u16(dir_.path())})
        EXPECT_THROW(app().open(path), Failure) << std::string(path.begin(), path.end());
}

TEST_F(CalcTest, ACsvFileOpensAsASheet) {
    const std::string path = dir_.file("table.csv");
    std::ofstream(path) << "key,value\nk1,12\n";
    auto book = app().open(u16(path));
    auto sheet = book->worksheet(1);
    EXPECT_EQ(sheet->usedRowCount(), 2);
    EXPECT_EQ(sheet->column(1, 2), (std::vector{CellValue::text(u"key"), CellValue::text(u"k1")}));
    EXPECT_EQ(sheet->cell(2, 2), CellValue::number(12));
    book->close(true);
}

TEST_F(CalcTest, OnePathIsOneWorkbookWhileItIsOpen) {
    const std::string path = dir_.file("same.xls");
    make(path, {{0, "A1", 1.0}});
    auto first = app().open(u16(path));
    const std::string relative = std::filesystem::relative(path).string();
    EXPECT_EQ(app().open(u16(relative)), first);
    EXPECT_EQ(app().open(u16(dir_.path() + "/./same.xls")), first);
    auto sheet = first->worksheet(1);
    first->close(true);

    EXPECT_THROW(first->close(true), Failure);
    EXPECT_THROW(first->worksheet(1), Failure);
    EXPECT_THROW(sheet->cell(1, 1), Failure);
    EXPECT_THROW(sheet->paste(), Failure);
    auto again = app().open(u16(path));
    EXPECT_NE(again, first);
    again->close(false);
}

TEST_F(CalcTest, InsertedColumnIsEmptyWithoutFormatsAndFormulasFollow) {
    const std::string path = dir_.file("insert.xlsx");
    make(path, {{0, "A1", 1.0},
                {0, "B1", 2.0, "YYYY-MM-DD"},
                {0, "B2", 45366.0, "YYYY-MM-DD"},
                {0, "C1", Formula{"=A1+B1"}}});
    auto book = app().open(u16(path));
    auto sheet = book->worksheet(1);
    sheet->insertColumn(2);
    EXPECT_EQ(sheet->cell(1, 2), CellValue());
    EXPECT_EQ(sheet->cell(1, 3).toText(), u"1900/1/1");
    EXPECT_EQ(sheet->cell(1, 4).toText(), u"3");
    // A number written into the new column is a number, not a date taken over from the old column B.
    desktop().clipboard().setText(u"45366\r45366\r");
    sheet->select(u"B1");
    sheet->paste();
    EXPECT_EQ(sheet->column(2, 2), (std::vector{CellValue::number(45366), CellValue::number(45366)}));
    EXPECT_THROW(sheet->insertColumn(0), Failure);
    EXPECT_THROW(sheet->insertColumn(27), Failure);
    book->close(true);
    EXPECT_EQ(formulaOf(pipe(), path, 0, "D1"), "=A1+C1");
}

TEST_F(CalcTest, PasteSplitsLinesAndFieldsAndKeepsTextsAsText) {
    const std::string path = dir_.file("paste.ods");
    std::vector<CellSpec> cells;
    for (const char* a :
         {"B2", "C2", "D2", "B3", "C3", "D3", "B4", "C4", "D4", "B5", "C5", "D5", "B6", "C6", "D6"})
        cells.push_back({0, a, u"old"});
    make(path, cells);
    auto book = app().open(u16(path));
    auto sheet = book->worksheet(1);
    sheet->select(u"B2");
    desktop().clipboard().setText(
        u"42\t0012\t-3.5\r\n=HYPERLINK(\"http://x\")\t123456789012345678\r\r1.50\t\t1e5\r 7\r");
    sheet->paste();
    const std::vector<std::vector<CellValue>> expected = {
        {CellValue::number(42), CellValue::text(u"0012"), CellValue::number(-3.5)},
        {CellValue::text(u"=HYPERLINK(\"http://x\")"), CellValue::text(u"123456789012345678"),
         CellValue::text(u"old")},
        {CellValue(), CellValue::text(u"old"), CellValue::text(u"old")},
        {CellValue::text(u"1.50"), CellValue(), CellValue::text(u"1e5")},
        {CellValue::text(u" 7"), CellValue::text(u"old"), CellValue::text(u"old")},
    };
    for (int c = 0; c < 3; ++c) {
        const auto column = sheet->column(2 + c, 7);
        for (int r = 0; r < 5; ++r)
            EXPECT_EQ(column[r + 1], expected[r][c]) << "row " << r + 2 << " column " << c + 2;
        EXPECT_EQ(column[0], CellValue());
        EXPECT_EQ(column[6], CellValue()) << "the last carriage return starts no further row";
    }

    desktop().clipboard().setText(u"");
    sheet->select(u"A1");
    sheet->paste();
    EXPECT_EQ(sheet->cell(1, 1), CellValue());
    for (const std::u16string bad : {u"", u"A", u"1", u"A0", u"A1:B2", u"$A$1", u"AAAA1", u"A1048577"})
        EXPECT_THROW(sheet->select(bad), Failure) << std::string(bad.begin(), bad.end());
    book->close(false);
}

TEST_F(CalcTest, SavingKeepsTheFileFormatAndAnUnchangedFileIsNotRewritten) {
    const struct {
        const char* name;
        std::string magic;
    } files[] = {{"keep.xls", "\xD0\xCF\x11\xE0"}, {"keep.xlsx", "PK"}, {"keep.ods", "PK"}};
    for (const auto& f : files) {
        const std::string path = dir_.file(f.name);
        make(path, {{0, "A1", u"x"}});
        const std::string before = bytesOf(path);
        const timespec mtime = mtimeOf(path);
        auto book = app().open(u16(path));
        book->worksheet(1)->cell(1, 1);
        book->close(true);
        EXPECT_EQ(bytesOf(path), before) << f.name;
        EXPECT_EQ(mtimeOf(path).tv_sec, mtime.tv_sec) << f.name;
        EXPECT_EQ(mtimeOf(path).tv_nsec, mtime.tv_nsec) << f.name;

        book = app().open(u16(path));
        desktop().clipboard().setText(u"0012\t5\r");
        book->worksheet(1)->select(u"B1");
        book->worksheet(1)->paste();
        book->close(true);
        EXPECT_EQ(bytesOf(path).substr(0, f.magic.size()), f.magic) << f.name;
        EXPECT_FALSE(exists(lockOf(path))) << f.name;
        auto reread = app().open(u16(path))->worksheet(1);
        EXPECT_EQ(reread->cell(1, 2), CellValue::text(u"0012")) << f.name;
        EXPECT_EQ(reread->cell(1, 3), CellValue::number(5)) << f.name;
        app().open(u16(path))->close(false);
    }
}

TEST_F(CalcTest, CloseWithoutAChoiceAsksOnlyForAChangedWorkbook) {
    const std::string path = dir_.file("ask.xlsx");
    make(path, {{0, "A1", u"x"}});
    app().open(u16(path))->close();
    EXPECT_TRUE(desktop().asked.empty());

    for (bool answer : {false, true}) {
        desktop().answer = answer;
        auto book = app().open(u16(path));
        desktop().clipboard().setText(answer ? u"yes\r" : u"no\r");
        book->worksheet(1)->paste();
        book->close();
        auto reread = app().open(u16(path));
        EXPECT_EQ(reread->worksheet(1)->cell(1, 1).toText(), answer ? u"yes" : u"x");
        reread->close(false);
    }
    EXPECT_EQ(desktop().asked, (std::vector<std::u16string>{u"ask.xlsx", u"ask.xlsx"}));
}

TEST_F(CalcTest, NewWorkbookBecomesTheActiveOne) {
    const std::string path = dir_.file("active.ods");
    make(path, {{0, "A1", u"file"}});
    auto file = app().open(u16(path));
    auto added = app().add();
    desktop().clipboard().setText(u"new\r");
    app().activeWorksheet(1)->paste();
    EXPECT_EQ(added->worksheet(1)->cell(1, 1).toText(), u"new");
    file->worksheet(1)->activate();
    EXPECT_EQ(app().activeWorksheet(1)->cell(1, 1).toText(), u"file");
    added->close(false);
    file->close(false);
}

// The largest .xls sheet, through the paste and block reads the run uses.
TEST_F(CalcTest, AFullXlsColumnRoundTrips) {
    const std::string path = dir_.file("large.xls");
    make(path, {{0, "C1", u"keep"}});
    constexpr int rows = 65536;
    std::u16string text;
    for (int i = 1; i <= rows; ++i) {
        const std::string line =
            i % 3 == 0 ? "k" + std::to_string(i) + "\t" + std::to_string(i) : std::to_string(i);
        text += std::u16string(line.begin(), line.end()) + u"\r";
    }
    auto book = app().open(u16(path));
    desktop().clipboard().setText(text);
    book->worksheet(1)->paste();
    book->close(true);

    auto sheet = app().open(u16(path))->worksheet(1);
    ASSERT_EQ(sheet->usedRowCount(), rows);
    const auto keys = sheet->column(1, rows);
    const auto values = sheet->column(2, rows);
    ASSERT_EQ(keys.size(), static_cast<std::size_t>(rows));
    for (int i = 1; i <= rows; i += 997) {
        EXPECT_EQ(keys[i - 1],
                  i % 3 == 0 ? CellValue::text(u16("k" + std::to_string(i))) : CellValue::number(i));
        EXPECT_EQ(values[i - 1], i % 3 == 0 ? CellValue::number(i) : CellValue());
    }
    EXPECT_EQ(sheet->cell(1, 3).toText(), u"keep");
    EXPECT_EQ(sheet->cell(rows, 1), keys.back());
    app().open(u16(path))->close(false);
}

// Locked by another office: one of ours on this machine, or a lock file someone left from elsewhere.
TEST_F(CalcTest, AWorkbookLockedByAnotherOfficeFailsAtItsSave) {
    for (bool liveOffice : {false, true}) {
        const std::string path = dir_.file(liveOffice ? "live.xls" : "foreign.xls");
        make(path, {{0, "A1", u"x"}});
        FakeDesktop otherDesktop;
        std::unique_ptr<sheets::Application> other;
        std::string holder = "Somebody Else";
        if (liveOffice) {
            other = CalcApplicationFactory().create(otherDesktop);
            other->open(u16(path));
            holder = officeInfo(*other).profileDir;
        } else {
            std::ofstream(lockOf(path)) << ",Somebody Else,someone,otherhost,06.12.2026 "
                                           "10:00,file:///home/someone/.config/libreoffice/4;";
        }
        const std::string lock = bytesOf(lockOf(path));
        const std::string before = bytesOf(path);

        auto book = app().open(u16(path));
        book->close(true);  // unchanged: nothing to save
        book = app().open(u16(path));
        desktop().clipboard().setText(u"changed\r");
        book->worksheet(1)->paste();
        try {
            book->close(true);
            ADD_FAILURE() << "a locked workbook was saved";
        } catch (const Failure& f) {
            EXPECT_NE(std::string(f.what()).find(holder), std::string::npos) << f.what();
            EXPECT_NE(std::string(f.what()).find(lockOf(path)), std::string::npos) << f.what();
        }
        book->close(false);
        EXPECT_EQ(bytesOf(path), before);
        EXPECT_EQ(bytesOf(lockOf(path)), lock) << "the lock belongs to the other office";
    }
}

}  // namespace
}  // namespace sheets::calc::testing
