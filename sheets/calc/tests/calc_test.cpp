// The Calc application against the real LibreOffice, all tests sharing one office.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <tuple>

#include "calc_test_support.h"
#include "sheets/calc/calc_application.h"
#include "sheets/failure.h"

namespace sheets::calc::testing {
namespace {

using Kind = CellValue::Kind;

std::u16string u16(const std::string& s) {
    return std::u16string(s.begin(), s.end());
}

// The one office of this binary: started by the first test that needs it, ended after the last.
FakeDesktop desktop;
std::unique_ptr<sheets::Application> office;
struct EndTheOffice : ::testing::Environment {
    void TearDown() override { office.reset(); }
};
[[maybe_unused]] const auto* const endTheOffice = ::testing::AddGlobalTestEnvironment(new EndTheOffice);

class CalcTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!office) office = CalcApplicationFactory().create(desktop);
        desktop.asked.clear();
    }
    static std::string pipe() { return officeInfo(*office).pipeName; }
    // A workbook file in the test's folder, made through the shared office; its path.
    std::string make(const std::string& name, const std::vector<CellSpec>& cells,
                     const std::vector<SheetSpec>& sheets = {{u"S"}}) {
        makeWorkbook(pipe(), dir_.file(name), sheets, cells);
        return dir_.file(name);
    }
    static std::shared_ptr<sheets::Workbook> open(const std::string& path) { return office->open(u16(path)); }
    // One column of texts written from row 1 of a column (1-based), after `insert` new columns there.
    static void write(sheets::Worksheet& sheet, int column, std::vector<std::u16string> texts,
                      int insert = 0) {
        CellRows rows;
        for (auto& t : texts) rows.cells.push_back(CellValue::text(std::move(t)));
        sheet.apply({insert ? column : 0, insert, column, rows});
    }

    TempDir dir_;
};

// The same cases in each file format the program opens.
class FormatTest : public CalcTest, public ::testing::WithParamInterface<std::string> {};

INSTANTIATE_TEST_SUITE_P(Formats, FormatTest, ::testing::Values("xls", "xlsx", "ods"));

// Sheets named "3", "1" and "2" with 20, 8 (rows 3 to 10) and 1 used rows: the position chooses.
// Every kind of value reads as the file holds it; written back beside itself over old cells, each
// keeps its type and format, nothing is parsed or split, and an empty cell is written empty. What the
// office shows is what the saved file holds. A column inserted before them takes no format of its
// neighbours and moves the references to them.
TEST_P(FormatTest, ValuesReadWrittenBackAndMovedByAnInsertedColumn) {
    const std::tuple<CellSpec, Kind, std::u16string> rows[] = {
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
        {{0, "B13", Formula{"=\"\""}}, Kind::Text, u""},
        {{0, "B14", Formula{"=1/0"}}, Kind::Error, u""},
        {{0, "B15", Formula{"=NA()"}}, Kind::Error, u""},
        {{0, "B16", -3.5, "0.00%"}, Kind::Number, u"-3.5"},
        {{0, "B17", 0.0, "BOOLEAN"}, Kind::Boolean, u"False"},
        {{0, "B18", u"00123"}, Kind::Text, u"00123"},
        {{0, "B19", u"=1+1"}, Kind::Text, u"=1+1"},
        {{0, "B20", u"x\ny"}, Kind::Text, u"x\ny"},
    };
    std::vector<CellSpec> cells = {
        {1, "B3", 1.0}, {1, "C10", u"x"}, {0, "A1", 45366.0, "YYYY-MM-DD"}, {0, "D1", Formula{"=B4*2"}}};
    for (const auto& row : rows) cells.push_back(std::get<0>(row));
    for (int row = 1; row <= 20; ++row) cells.push_back({0, "C" + std::to_string(row), u"old"});
    const std::string path = make("values." + GetParam(), cells, {{u"3"}, {u"1"}, {u"2"}});
    const std::string bytes = bytesOf(path);
    const auto time = std::filesystem::last_write_time(path);
    auto book = open(path);

    for (const auto& [index, usedRows] : std::vector<std::pair<double, int>>{
             {1, 20}, {2, 8}, {3, 1}, {0.6, 20}, {1.5, 8}, {2.5, 8}, {3.4, 1}})
        EXPECT_EQ(book->worksheet(index)->usedRowCount(), usedRows) << index;
    for (double bad : {0.0, 0.5, -1.0, 3.5, 4.0, std::nan("")})
        EXPECT_THROW(book->worksheet(bad), Failure) << bad;
    try {
        book->worksheet(5);
    } catch (const Failure& f) {
        EXPECT_EQ(f.cause().kind, FailureCause::Kind::NoSuchSheet);
        EXPECT_EQ(std::tuple(f.cause().file, f.cause().sheetCount, f.cause().sheetPosition),
                  std::tuple(u16("values." + GetParam()), 3, 5.0));
    }

    auto sheet = book->worksheet(1);
    std::vector<CellValue> block = sheet->column(2, 21);  // the error cells fail no other cell
    ASSERT_EQ(block.size(), 21u);
    for (const auto& [given, kind, text] : rows) {
        const int row = std::stoi(given.address.substr(1));
        // An .ods file written by the office keeps no tab inside a cell.
        if (GetParam() == "ods" && text.find(u'\t') != std::u16string::npos) continue;
        const CellValue single = sheet->cell(row, 2);
        EXPECT_EQ(single, block[row - 1]) << given.address;
        EXPECT_EQ(single.kind(), kind) << given.address;
        if (kind == Kind::Error) {
            EXPECT_THROW(single.toText(), Failure) << given.address;
        } else {
            EXPECT_EQ(single.toText(), text) << given.address;
        }
    }
    EXPECT_EQ(block[20], CellValue()) << "B21 is empty";
    EXPECT_EQ(block[13].errorName(), u"#DIV/0!");
    EXPECT_EQ(block[14].errorName(), u"#N/A");
    EXPECT_EQ(sheet->cell(1000, 26), CellValue());
    book->close(true);  // nothing changed: nothing written
    EXPECT_EQ(bytesOf(path), bytes);
    EXPECT_TRUE(std::filesystem::last_write_time(path) == time);

    block.pop_back();
    for (CellValue& v : block)
        if (v.isError()) v = CellValue();
    book = open(path);
    sheet = book->worksheet(1);
    sheet->apply({0, 0, 3, CellRows{1, block}});
    for (const char* when : {"written", "saved"}) {
        const auto c = sheet->column(3, 20);
        for (std::size_t r = 0; r < block.size(); ++r) {
            const CellValue& given = block[r];
            const bool empty = given.kind() == Kind::Text && given.textValue().empty();  // written empty
            EXPECT_EQ(c[r].kind(), empty ? Kind::Empty : given.kind()) << when << " row " << r + 1;
            EXPECT_EQ(c[r].toText(), given.toText()) << when << " row " << r + 1;
            // The office keeps a boolean in .xls and .xlsx as =TRUE(), without a format.
            if (given.kind() != Kind::Boolean) {
                EXPECT_EQ(c[r].format() != nullptr, given.format() != nullptr) << when << " row " << r + 1;
            }
        }
        book->close(true);
        EXPECT_FALSE(exists(lockOf(path)));
        book = open(path);
        sheet = book->worksheet(1);
    }

    const auto before = std::pair{sheet->column(2, 20), sheet->column(3, 20)};
    sheet->apply({2, 1, 2, {}});
    EXPECT_EQ(sheet->column(2, 20), std::vector<CellValue>(20));
    EXPECT_EQ((std::pair{sheet->column(3, 20), sheet->column(4, 20)}), before);
    sheet->apply({0, 0, 2, CellRows{1, {CellValue::number(45366), CellValue::number(7)}}});
    for (int bad : {0, 16384}) EXPECT_THROW(sheet->apply({bad, 1, 1, {}}), Failure) << bad;
    for (const std::u16string bad : {u"", u"A", u"1", u"A0", u"A1:B2", u"$A$1", u"AAAA1", u"A1048577"})
        EXPECT_THROW(sheet->select(bad), Failure) << std::string(bad.begin(), bad.end());
    book->close(true);
    EXPECT_EQ(formulaOf(pipe(), path, 0, "E1"), "=C4*2");
    book = open(path);
    EXPECT_EQ(book->worksheet(1)->column(2, 2),
              (std::vector{CellValue::number(45366), CellValue::number(7)}));
    book->close(false);
}

// A run's store keeps the view of every sheet; LibreOffice 7.4 drops it from a document loaded
// without a view of its own.
TEST_P(FormatTest, AStoreKeepsTheFrozenPanesOfEverySheet) {
    const std::vector<std::string> frozen = {"C3", "B2"};
    const std::string path =
        make("view." + GetParam(), {{0, "A1", 1.0}, {1, "A1", 2.0}}, {{u"S", frozen[0]}, {u"T", frozen[1]}});
    ASSERT_EQ(frozenPanesOf(pipe(), path), frozen);
    auto book = open(path);
    auto sheet = book->worksheet(1);
    write(*sheet, 5, {u"result"}, 1);
    book->close(true);
    EXPECT_EQ(frozenPanesOf(pipe(), path), frozen);
}

// The private profile as the office took it: a Chinese user interface, and the VBA storage of an .xls
// stored back as it was loaded.
TEST_F(CalcTest, TheOfficeHasTheProfileSettings) {
    EXPECT_EQ(officeSetting(pipe(), "/org.openoffice.Setup/L10N", "ooLocale"), "zh-CN");
    EXPECT_EQ(officeSetting(pipe(), "/org.openoffice.Office.Calc/Filter/Import/VBA", "UseExport"), "false");
}

// A text file, random bytes or an empty file named as a workbook is refused, not loaded as text.
TEST_F(CalcTest, OpeningWhatIsNoWorkbookFails) {
    using Cause = FailureCause::Kind;
    std::ofstream(dir_.file("text.xls")) << "not a workbook";
    std::ofstream(dir_.file("noise.xlsx"), std::ios::binary)
        << std::string("\x07\xff\x00\x13junk\x80\x81", 11);
    std::ofstream{dir_.file("empty.ods")};
    for (const auto& [path, cause] : {std::pair{std::string("C:\\"), Cause::FileMissing},
                                      {std::string(), Cause::FileMissing},
                                      {dir_.file("missing.xlsx"), Cause::FileMissing},
                                      {dir_.path(), Cause::NotAWorkbook},
                                      {dir_.file("text.xls"), Cause::NotAWorkbook},
                                      {dir_.file("noise.xlsx"), Cause::NotAWorkbook},
                                      {dir_.file("empty.ods"), Cause::NotAWorkbook}}) {
        try {
            open(path);
            ADD_FAILURE() << path << " opened";
        } catch (const Failure& f) {
            EXPECT_EQ(f.cause().kind, cause) << path;
        }
    }
}

// One path is one workbook while it is open, and none once closed; closing without a save choice asks
// only for a changed workbook.
TEST_F(CalcTest, AWorkbookFromOpenToClose) {
    const std::string path = make("ask.xls", {{0, "A1", u"x"}});
    auto book = open(path);
    EXPECT_EQ(open(std::filesystem::relative(path).string()), book);
    EXPECT_EQ(open(dir_.path() + "/./ask.xls"), book);
    auto sheet = book->worksheet(1);
    book->close();
    EXPECT_TRUE(desktop.asked.empty());
    EXPECT_THROW(book->close(true), Failure);
    EXPECT_THROW(book->worksheet(1), Failure);
    EXPECT_THROW(sheet->cell(1, 1), Failure);
    EXPECT_THROW(sheet->apply({0, 0, 1, CellRows{1, {CellValue::text(u"x")}}}), Failure);
    for (bool save : {false, true}) {
        desktop.answer = save;
        auto changed = open(path);
        EXPECT_NE(changed, book);
        write(*changed->worksheet(1), 1, {save ? u"yes" : u"no"});
        changed->close();
        changed = open(path);
        EXPECT_EQ(changed->worksheet(1)->cell(1, 1).toText(), save ? u"yes" : u"x");
        changed->close(false);
    }
    EXPECT_EQ(desktop.asked, (std::vector<std::u16string>{u"ask.xls", u"ask.xls"}));
}

// Locked by another office of ours: changed, it fails at its save, naming the program and its user.
TEST_F(CalcTest, AWorkbookLockedByAnotherOfficeFailsAtItsSave) {
    const std::string path = make("locked.xls", {{0, "A1", u"x"}});
    FakeDesktop otherDesktop;
    auto other = CalcApplicationFactory().create(otherDesktop);
    other->open(u16(path));
    const std::string lock = bytesOf(lockOf(path)), before = bytesOf(path);
    open(path)->close(true);  // unchanged: nothing to save
    auto book = open(path);
    write(*book->worksheet(1), 1, {u"changed"});
    try {
        book->close(true);
        ADD_FAILURE() << "a locked workbook was saved";
    } catch (const Failure& f) {
        EXPECT_EQ(f.cause().kind, FailureCause::Kind::HeldByProgram);
        EXPECT_EQ(f.cause().program, u"LibreOffice");
        EXPECT_FALSE(f.cause().user.empty() || f.cause().since.empty());
    }
    book->close(false);
    EXPECT_EQ(bytesOf(path), before);
    EXPECT_EQ(bytesOf(lockOf(path)), lock) << "the lock belongs to the other office";
}

// A store is preceded by a copy of the file as it was, in the run's backup folder; when no copy can
// be made (the data folder is a file), nothing is stored. The office's store names the comments it
// may change; an .xlsx takes the change into its package in place.
TEST_F(CalcTest, AStoreIsPrecededByABackup) {
    for (const auto& [name, how, features] :
         {std::tuple{"kept.ods", StoreReport::How::ByOffice, std::vector{StoreReport::Feature::Comments}},
          std::tuple{"kept.xlsx", StoreReport::How::InPlace, std::vector<StoreReport::Feature>{}}}) {
        const std::string path = make(name, {{0, "A1", u"x"}, {0, "B2", u"y", {}, u"批注"}});
        const std::string before = bytesOf(path);
        for (const bool copyPossible : {false, true}) {
            SCOPED_TRACE(name + std::string(copyPossible ? " with a copy" : " without"));
            ::setenv("XDG_DATA_HOME", copyPossible ? dir_.file("data").c_str() : path.c_str(), 1);
            FakeDesktop runDesktop;
            auto run = CalcApplicationFactory().create(runDesktop);
            auto book = run->open(u16(path));
            write(*book->worksheet(1), 1, {u"changed"});
            if (!copyPossible) {
                try {
                    book->close(true);
                    ADD_FAILURE() << "stored without a backup";
                } catch (const Failure& f) {
                    EXPECT_EQ(f.cause().kind, FailureCause::Kind::BackupFailed);
                }
                book->close(false);
                EXPECT_EQ(bytesOf(path), before);
                continue;
            }
            const StoreReport report = book->close(true);
            EXPECT_EQ(report.how, how);
            EXPECT_EQ(report.path, u16(path));
            EXPECT_EQ(report.features, features);
            const std::string copy(report.backupPath.begin(), report.backupPath.end());
            EXPECT_EQ(copy.rfind(dir_.file("data/Pellucor/backups/"), 0), 0u) << copy;
            EXPECT_EQ(bytesOf(copy), before);
            EXPECT_NE(bytesOf(path), before);
            run->quit();
        }
    }
    ::unsetenv("XDG_DATA_HOME");
}

}  // namespace
}  // namespace sheets::calc::testing
