// The packages read and written without an office, against the real office.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>

#include "calc_test_support.h"
#include "reading_comparison.h"
#include "reading_corpus.h"
#include "sheets/direct/direct_application.h"
#include "sheets/failure.h"
#include "sheets/file_locks.h"
#include "sheets/utf8.h"

namespace sheets::direct {
namespace {

using calc::testing::bytesOf;
using calc::testing::FakeDesktop;
using calc::testing::TempDir;
using Cause = FailureCause::Kind;

// The one office of this binary, for the comparisons and for making workbooks.
FakeDesktop officeDesktop;
std::unique_ptr<Application> office;
struct EndTheOffice : ::testing::Environment {
    void TearDown() override { office.reset(); }
};
[[maybe_unused]] const auto* const endTheOffice = ::testing::AddGlobalTestEnvironment(new EndTheOffice);

// A one-sheet package whose column A holds 1..rows.
void writeNumbers(const std::string& path, int rows) {
    std::string xml;
    for (int r = 1; r <= rows; ++r)
        xml += "<row r=\"" + std::to_string(r) + "\"><c r=\"A" + std::to_string(r) + "\"><v>" +
               std::to_string(r) + "</v></c></row>";
    reading_corpus::writeSheet(path, xml);
}

class DirectTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!office) office = calc::testing::headlessApplication(officeDesktop);
        packages = DirectApplicationFactory().create(desktop);
    }
    std::string make(const std::string& name, const std::vector<calc::testing::CellSpec>& cells) {
        calc::testing::makeWorkbook(calc::officeInfo(*office).pipeName, dir.file(name), {{u"S"}}, cells);
        return dir.file(name);
    }
    std::shared_ptr<Workbook> open(const std::string& path) { return packages->open(fromUtf8(path)); }

    TempDir dir;
    FakeDesktop desktop;
    std::unique_ptr<Application> packages;
};

// Every generated package (each kind of content, number format, string item, format that widens the
// used rows, and random sheets of them all) reads alike through the office and through the packages:
// the sheets, their used rows, every cell in value, type and number format. What the packages cannot
// read with certainty they leave to the office, and that is rare.
TEST_F(DirectTest, EveryCellReadsAsTheOfficeReadsIt) {
    reading_comparison::Tally tally;
    for (const auto& path : reading_corpus::write(dir.file("corpus"), 20261207, 24))
        reading_comparison::compare(*office, *packages, path, tally);
    for (const auto& d : tally.differences) ADD_FAILURE() << d;
    for (const auto& d : tally.doubtReasons) std::cerr << "left to the office: " << d << '\n';
    std::cerr << tally.files << " files, " << tally.sheets << " sheets, " << tally.cells
              << " cells compared, " << tally.doubts << " left to the office\n";
    EXPECT_GT(tally.cells, 3000);
    EXPECT_LT(tally.doubts * 10, tally.cells);
}

// What is no workbook of its kind is refused with the office's causes.
TEST_F(DirectTest, RefusesWhatTheOfficeRefuses) {
    std::ofstream(dir.file("text.xlsx")) << "not a workbook";
    std::ofstream(dir.file("noise.xlsx"), std::ios::binary)
        << std::string("\x07\xff\x00\x13junk\x80\x81", 11);
    std::ofstream{dir.file("empty.xlsx")};
    const std::string good = make("good.xlsx", {{0, "A1", 1.0}});
    std::ofstream(dir.file("half.xlsx"), std::ios::binary)
        << bytesOf(good).substr(0, bytesOf(good).size() / 2);
    std::filesystem::copy_file(make("old.xls", {{0, "A1", 1.0}}), dir.file("old.xlsx"));
    for (const auto& [name, cause] : {std::pair{"missing.xlsx", Cause::FileMissing},
                                      {"text.xlsx", Cause::NotAWorkbook},
                                      {"noise.xlsx", Cause::NotAWorkbook},
                                      {"empty.xlsx", Cause::NotAWorkbook},
                                      {"half.xlsx", Cause::NotAWorkbook},
                                      {"old.xlsx", Cause::NotAWorkbook}}) {
        for (Application* app : {office.get(), packages.get()}) {
            try {
                app->open(fromUtf8(dir.file(name)));
                ADD_FAILURE() << name << " opened";
            } catch (const Failure& f) {
                EXPECT_EQ(f.cause().kind, cause)
                    << name << (app == office.get() ? " (office)" : " (packages)");
            }
        }
    }
}

// A formula without a saved result, or one the office computes anew, is left to the office.
TEST_F(DirectTest, LeavesToTheOfficeWhatItCannotReadWithCertainty) {
    reading_corpus::writeSheet(
        dir.file("formulas.xlsx"),
        "<row r=\"1\"><c r=\"A1\"><v>1</v></c><c r=\"B1\"><f>1+1</f></c></row>"
        "<row r=\"2\"><c r=\"A2\"><v>2</v></c><c r=\"B2\"><f>NOW()</f><v>1</v></c></row>");
    auto sheet = open(dir.file("formulas.xlsx"))->worksheet(1);
    EXPECT_EQ(sheet->usedRowCount(), 2);
    EXPECT_EQ(sheet->column(1, 2)[1], CellValue::number(2));
    EXPECT_THROW(sheet->column(2, 1), NeedsOffice);
    EXPECT_THROW(sheet->cell(2, 2), NeedsOffice);
    EXPECT_THROW(packages->add(), NeedsOffice);
}

// A long reading tells how far it has come, in rows of the rows expected, and stops when the desktop
// throws, leaving the workbook usable.
TEST_F(DirectTest, ALongReadingReportsItsRowsAndStopsWhenTold) {
    writeNumbers(dir.file("long.xlsx"), 300000);
    struct Reports : FakeDesktop {
        std::vector<std::pair<std::int64_t, std::int64_t>> seen;
        bool stop = false;
        void progress(std::int64_t done, std::int64_t total) override {
            seen.emplace_back(done, total);
            if (stop) throw std::runtime_error("stopped");
        }
    } reports;
    auto app = DirectApplicationFactory().create(reports);
    auto book = app->open(fromUtf8(dir.file("long.xlsx")));
    EXPECT_EQ(book->worksheet(1)->usedRowCount(), 300000);
    ASSERT_FALSE(reports.seen.empty());
    for (const auto& [done, total] : reports.seen) EXPECT_TRUE(done > 0 && done <= total && total < 400000);
    reports.stop = true;
    EXPECT_THROW(book->worksheet(1)->usedRowCount(), std::runtime_error);
    book->close(false);
}

// The run's second sheet, read on a thread of its own while the run reads the first, reads as the run
// would have read it, failures included; an application ended meanwhile stops it.
TEST_F(DirectTest, ASheetReadAheadReadsAsItWouldInTurn) {
    writeNumbers(dir.file("long.xlsx"), 100000);
    reading_corpus::writeSheet(dir.file("cut.xlsx"), "<row r=\"1\"><c r=\"A1\"><v>1</v></c>");
    reading_corpus::writeSheet(dir.file("formula.xlsx"), "<row r=\"1\"><c r=\"A1\"><f>1+1</f></c></row>");
    const std::string first = make("first.xlsx", {{0, "A1", 1.0}});
    // The used rows and the first column, or what reading them threw.
    const auto outcome = [&](Application& app, const std::string& path) -> std::string {
        try {
            app.open(fromUtf8(first))->worksheet(1)->usedRowCount();
            auto sheet = app.open(fromUtf8(path))->worksheet(1);
            const auto rows = sheet->usedRowCount();
            const auto cells = sheet->column(1, rows);
            return std::to_string(rows) + " rows, last " + toUtf8(cells.back().toText());
        } catch (const Failure& f) {
            return "failure " + std::to_string(static_cast<int>(f.cause().kind));
        } catch (const NeedsOffice& n) {
            return "office: " + toUtf8(n.reason);
        }
    };
    for (const char* name : {"long.xlsx", "cut.xlsx", "formula.xlsx", "missing.xlsx"}) {
        const std::string path = dir.file(name);
        const RunFiles files{{fromUtf8(first), fromUtf8(path)},
                             false,
                             u"",
                             {{fromUtf8(first), 1, {1}}, {fromUtf8(path), 1, {1}}}};
        const auto ahead = DirectApplicationFactory().create(desktop, files);
        const auto inTurn = DirectApplicationFactory().create(desktop);
        EXPECT_EQ(outcome(*ahead, path), outcome(*inTurn, path)) << name;
    }
    EXPECT_EQ(outcome(*packages, dir.file("long.xlsx")), "100000 rows, last 100000");
    DirectApplicationFactory().create(
        desktop, {{}, false, u"", {{fromUtf8(first), 1, {1}}, {fromUtf8(dir.file("long.xlsx")), 1, {1}}}});
}

// The change goes into the package in place after a copy of the file as it was; a file another
// program changed or an office holds is not written; a changed third workbook closed without a choice
// asks.
TEST_F(DirectTest, WritesInPlaceOnlyWhatItMay) {
    ::setenv("XDG_DATA_HOME", dir.file("data").c_str(), 1);
    const std::string path = make("child.xlsx", {{0, "A1", u"k"}});
    const std::string before = bytesOf(path);
    const SheetEdit edit{1, 1, 1, CellRows{1, {CellValue::text(u"结果")}}};
    const auto changedAfterOpening = [&](const std::function<void()>& meanwhile, Cause cause) {
        auto book = open(path);
        book->worksheet(1)->apply(edit);
        meanwhile();
        try {
            book->close(true);
            ADD_FAILURE() << "stored";
        } catch (const Failure& f) {
            EXPECT_EQ(f.cause().kind, cause);
        }
        book->close(false);
    };
    changedAfterOpening([&] { std::ofstream(path, std::ios::app) << ' '; }, Cause::FileChanged);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << before;
    changedAfterOpening([&] { std::ofstream(officeLockPath(path)) << ",Someone,host,07.12.2026 10:00,x;"; },
                        Cause::HeldByProgram);
    std::filesystem::remove(officeLockPath(path));
    EXPECT_EQ(bytesOf(path), before);

    desktop.answer = true;
    auto book = open(path);
    book->worksheet(1)->apply(edit);
    const StoreReport report = book->close();
    EXPECT_EQ(desktop.asked, std::vector<std::u16string>{u"child.xlsx"});
    EXPECT_EQ(report.how, StoreReport::How::InPlace);
    EXPECT_EQ(bytesOf(toUtf8(report.backupPath)), before);
    auto written = office->open(fromUtf8(path));
    EXPECT_EQ(written->worksheet(1)->column(1, 1)[0], CellValue::text(u"结果"));
    EXPECT_EQ(written->worksheet(1)->column(2, 1)[0], CellValue::text(u"k"));
    written->close(false);
    ::unsetenv("XDG_DATA_HOME");
}

}  // namespace
}  // namespace sheets::direct
