// The Calc application against the real LibreOffice, all tests sharing one office.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>

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
    };
    std::vector<CellSpec> specs;
    for (const auto& r : rows) specs.push_back(r.spec);
    const std::string path = dir_.file(std::string("values.") + GetParam());
    make(path, specs);

    auto sheet = app().open(std::u16string(path.begin(), path.end()))->worksheet(1);
    const std::vector<CellValue> block = sheet->column(2, 20);
    ASSERT_EQ(block.size(), 20u);
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
    EXPECT_EQ(block[19], CellValue()) << "B20 is empty";
    EXPECT_EQ(sheet->cell(1000, 26), CellValue());
}

INSTANTIATE_TEST_SUITE_P(Formats, CellValuesTest, ::testing::Values("xls", "xlsx", "ods"));

}  // namespace
}  // namespace sheets::calc::testing
