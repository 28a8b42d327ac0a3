// Whole runs from the main window's Start button through a real LibreOffice to the files on disk.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <thread>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include "sheets/calc/calc_application.h"
#include "sheets/calc/tools/bulk_writer.h"
#include "sheets/calc/tools/workbook_maker.h"
#include "test_support.h"
#include "ui/form1.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;
using sheets::CellValue;
using sheets::calc::OfficeInfo;
using sheets::calc::testing::Formula;
using sheets::calc::testing::TempDir;

std::u16string u16(const std::string& s) {
    return QString::fromStdString(s).toStdU16String();
}

// The real office for the window, keeping a note of every office it starts.
class RecordingFactory : public sheets::ApplicationFactory {
public:
    std::unique_ptr<sheets::Application> create(sheets::Desktop& desktop) override {
        auto app = real_.create(desktop);
        offices.push_back(sheets::calc::officeInfo(*app));
        return app;
    }
    std::vector<OfficeInfo> offices;

private:
    sheets::calc::CalcApplicationFactory real_;
};

// Answers every message box a run shows, as a user would, and records what it said.
class MessageBoxes {
public:
    struct Box {
        QString name, title, text;
        QMessageBox::Icon icon;
        QString informative, detailed;
    };

    explicit MessageBoxes(bool saveThirdTable = true) : save_(saveThirdTable) {
        QObject::connect(&timer_, &QTimer::timeout, [this] { answer(); });
        timer_.start(20);
    }
    std::vector<Box> seen;

private:
    void answer() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) return;
        seen.push_back({box->objectName(), box->windowTitle(), box->text(), box->icon(),
                        box->informativeText(), box->detailedText()});
        const QString wanted =
            box->objectName() == u"saveQuestion"_s ? (save_ ? u"保存"_s : u"不保存"_s) : u"确定"_s;
        for (QAbstractButton* b : box->buttons())
            if (b->text() == wanted) return b->click();
        box->reject();
    }
    bool save_;
    QTimer timer_;
};

using sheets::calc::tools::CellSpec;
using sheets::calc::tools::Row;
using sheets::calc::tools::SheetSpec;
using Texts = std::vector<std::u16string>;

// One office, shared by the binary, that writes the tables the runs read and reads back what they left.
class Office {
public:
    static Office& get() {
        static Office office;
        return office;
    }

    void make(const std::string& path, const std::vector<Row>& rows) {
        sheets::calc::tools::makeTable(pipe(), path, u"数据", rows);
    }
    void make(const std::string& path, const std::vector<CellSpec>& cells, int sheets = 1) {
        sheets::calc::tools::makeWorkbook(pipe(), path, std::vector<SheetSpec>(sheets, {u"数据"}), cells);
    }
    void makeColumns(const std::string& path, const sheets::calc::tools::SheetColumns& columns) {
        sheets::calc::tools::writeWorkbook(pipe(), path, path, columns);
    }
    std::vector<std::vector<CellValue>> read(const std::string& path, int columns) {
        return sheets::calc::tools::readTable(*app_, u16(path), columns);
    }

    // One column of the first sheet as texts, rows 1..used.
    std::vector<std::u16string> column(const std::string& path, int column) {
        std::vector<std::u16string> texts;
        for (const auto& row : read(path, column)) texts.push_back(row.back().toText());
        return texts;
    }
    // One column of another sheet as texts, rows 1..used.
    std::vector<std::u16string> column(const std::string& path, int column, int sheet) {
        auto book = app_->open(u16(path));
        auto s = book->worksheet(sheet);
        std::vector<std::u16string> texts;
        for (const auto& cell : s->column(column, s->usedRowCount())) texts.push_back(cell.toText());
        book->close(false);
        return texts;
    }

private:
    Office() : app_(sheets::calc::CalcApplicationFactory({.forceHeadless = true}).create(desktop_)) {}
    std::string pipe() const { return sheets::calc::officeInfo(*app_).pipeName; }

    sheets::calc::testing::FakeDesktop desktop_;
    std::unique_ptr<sheets::Application> app_;
};

// The worked example of the help text: three parent and three child rows, keys in A, values in B.
const std::vector<Row> kParent = {
    {u"A01", u"000", u"111"}, {u"A02", u"111", u"222"}, {u"A03", u"222", u"333"}};
const std::vector<Row> kChild = {
    {u"A01", u"001", u"111"}, {u"B01", u"111", u"222"}, {u"A03", u"222", u"333"}};

class EndToEnd : public ::testing::Test {
protected:
    EndToEnd() { combo("Combo5")->setCurrentIndex(1); }  // the values are in column B

    template <class T = QWidget>
    T* child(const char* name) {
        T* w = form.findChild<T*>(QString::fromLatin1(name));
        if (!w) throw std::logic_error(std::string("no control ") + name);
        return w;
    }
    QComboBox* combo(const char* name) { return child<QComboBox>(name); }

    // Writes the two tables and chooses them in the window.
    void tables(const std::vector<Row>& parentRows, const std::vector<Row>& childRows,
                const std::string& extension = ".xls") {
        name(extension);
        Office::get().make(parent, parentRows);
        Office::get().make(childBook, childRows);
        choose();
    }
    void name(const std::string& extension) {
        parent = dir.file("父表" + extension);
        childBook = dir.file("子表" + extension);
    }
    // Chooses the two files in the window, noting the parent as it is.
    void choose() {
        parentBytes = sheets::calc::testing::bytesOf(parent);
        parentTime = sheets::calc::testing::mtimeOf(parent);
        child<QLineEdit>("Text1")->setText(QString::fromStdString(parent));
        child<QLineEdit>("Text2")->setText(QString::fromStdString(childBook));
    }

    // Presses Start; the boxes the run showed.
    std::vector<MessageBoxes::Box> start(bool saveThirdTable = true) {
        MessageBoxes boxes(saveThirdTable);
        QTest::mouseClick(child<QPushButton>("Command1"), Qt::LeftButton);
        return boxes.seen;
    }

    // The run completed, left the parent file as it was, and no hidden office behind.
    void expectCompleted(const std::vector<MessageBoxes::Box>& boxes) {
        ASSERT_FALSE(boxes.empty());
        EXPECT_EQ(boxes.back().text, u"操作完成!");
        EXPECT_EQ(boxes.back().title, u"完成");
        EXPECT_EQ(boxes.back().icon, QMessageBox::Warning);
        EXPECT_EQ(sheets::calc::testing::bytesOf(parent), parentBytes);
        const timespec t = sheets::calc::testing::mtimeOf(parent);
        EXPECT_TRUE(t.tv_sec == parentTime.tv_sec && t.tv_nsec == parentTime.tv_nsec);
        EXPECT_FALSE(sheets::calc::testing::exists(sheets::calc::testing::lockOf(parent)));
        EXPECT_TRUE(child<QWidget>("Frame1")->isEnabled());
        EXPECT_TRUE(child<QWidget>("Command1")->isEnabled());
        EXPECT_TRUE(QApplication::clipboard()->text().isEmpty());
    }

    void expectOfficeGone() {
        ASSERT_EQ(factory.offices.size(), 1u);
        for (int i = 0; i < 100 && !sheets::calc::testing::officeTraces(factory.offices[0]).empty(); ++i)
            std::this_thread::sleep_for(50ms);
        EXPECT_EQ(sheets::calc::testing::officeTraces(factory.offices[0]), std::vector<std::string>{});
    }

    TempDir dir;
    RecordingFactory factory;
    ui::Form1 form{factory};
    std::string parent, childBook;
    std::string parentBytes;
    timespec parentTime{};
};

TEST_F(EndToEnd, LookupIntoTheChildSheetBeforeTheChosenColumn) {
    const Texts result = {u"000", u"", u"222"}, keys = {u"A01", u"B01", u"A03"};
    for (const int target : {0, 25}) {  // the window's default "A", and "Z"
        SCOPED_TRACE(target);
        factory.offices.clear();
        tables(kParent, kChild, target ? ".xlsx" : ".xls");
        combo("Combo9")->setCurrentIndex(target);
        expectCompleted(start());
        expectOfficeGone();
        EXPECT_EQ(Office::get().column(childBook, target + 1), result);
        EXPECT_EQ(Office::get().column(childBook, target ? 1 : 2), keys);
    }
}

TEST_F(EndToEnd, FurtherMatchingBeforeColumnC) {
    struct Case {
        int valueTest, whose;
        Texts c, d;  // columns C and D afterwards
    };
    const Texts oldC = {u"111", u"222", u"333"};
    const Case cases[] = {
        {0, 0, {u"", u"", u"222"}, oldC},
        {1, 1, {u"001", u"", u""}, oldC},
        {1, 2, {u"000", u"", u""}, {u"001", u"", u""}},  // two new columns
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "Combo7 " << c.valueTest << ", Combo8 " << c.whose);
        tables(kParent, kChild, ".xlsx");
        combo("Combo6")->setCurrentIndex(1);
        combo("Combo7")->setCurrentIndex(c.valueTest);
        combo("Combo8")->setCurrentIndex(c.whose);
        combo("Combo9")->setCurrentIndex(2);
        expectCompleted(start());
        EXPECT_EQ(Office::get().column(childBook, 3), c.c);
        EXPECT_EQ(Office::get().column(childBook, 4), c.d);
        EXPECT_EQ(Office::get().column(childBook, c.whose == 2 ? 5 : 4), oldC);
    }
}

TEST_F(EndToEnd, IntoANewWorkbookLeavesItOpenInTheShownOffice) {
    if (!sheets::calc::testing::displayAvailable())
        GTEST_SKIP() << "a workbook can only be shown on a display";
    tables(kParent, kChild);
    const std::string childBytes = sheets::calc::testing::bytesOf(childBook);
    child<QRadioButton>("Option1_1")->setChecked(true);
    expectCompleted(start());
    ASSERT_EQ(factory.offices.size(), 1u);
    const std::string pipe = factory.offices[0].pipeName;
    const auto cells = sheets::calc::testing::openWorkbookCells(pipe);
    sheets::calc::testing::endOffice(pipe);
    EXPECT_EQ(cells, (std::vector<std::vector<std::u16string>>{{u"000"}, {u""}, {u"222"}}));
    EXPECT_EQ(sheets::calc::testing::bytesOf(childBook), childBytes);
    expectOfficeGone();
}

TEST_F(EndToEnd, IntoAThirdTableAsksWhetherToSaveIt) {
    for (const bool save : {true, false}) {
        SCOPED_TRACE(save ? "saved" : "not saved");
        factory.offices.clear();
        tables(kParent, kChild);
        const std::string third = dir.file(save ? "第三表.xls" : "另一表.xls");
        Office::get().make(third, {{u"x1", u"y1"}, {u"x2", u"y2"}});
        const std::string thirdBytes = sheets::calc::testing::bytesOf(third);
        const std::string childBytes = sheets::calc::testing::bytesOf(childBook);
        child<QRadioButton>("Option1_2")->setChecked(true);
        child<QLineEdit>("Text7")->setText(QString::fromStdString(third));
        combo("Combo10")->setCurrentIndex(1);  // column B
        const auto boxes = start(save);
        expectCompleted(boxes);
        expectOfficeGone();
        ASSERT_EQ(boxes.size(), 2u);
        EXPECT_EQ(boxes[0].name, u"saveQuestion");
        EXPECT_EQ(boxes[0].text,
                  QString::fromStdString("是否保存对“" + third.substr(third.rfind('/') + 1) + "”的更改？"));
        EXPECT_EQ(sheets::calc::testing::bytesOf(childBook), childBytes);
        if (save) {
            EXPECT_EQ(Office::get().column(third, 2), (Texts{u"000", u"", u"222"}));
            EXPECT_EQ(Office::get().column(third, 3), (Texts{u"y1", u"y2", u""}));
        } else {
            EXPECT_EQ(sheets::calc::testing::bytesOf(third), thirdBytes);
        }
    }
}

TEST_F(EndToEnd, AHeaderRowAndAConditionOnTheChildSideOnly) {
    tables({{u"编号", u"金额"}, {u"A01", 12.5}, {u"B02", u"二十"}},
           {{u"编号"}, {u"B02-东区"}, {u"A01-西区"}, {u"C03"}}, ".xlsx");
    combo("Combo4")->setCurrentIndex(1);
    child<QLineEdit>("Text6")->setText(u"3*"_s);
    expectCompleted(start());
    EXPECT_EQ(Office::get().column(childBook, 1), (Texts{u"金额", u"二十", u"12.5", u""}));
}

// Each value arrives as its cell holds it: type, number format, and text never reinterpreted.
TEST_F(EndToEnd, ValuesArriveAsTheirCellsHoldThem) {
    const std::vector<CellSpec> values = {{0, "B1", u"110101199003071234"},
                                          {0, "B2", u"0012"},
                                          {0, "B3", u"=HYPERLINK(\"http://x\")"},
                                          {0, "B4", 42.0},
                                          {0, "B5", u"  两端空格 "},
                                          {0, "B6", u"222"},
                                          {0, "B7", 1e20},
                                          {0, "B8", 45366.0, "YYYY-MM-DD"},
                                          {0, "B9", 0.5625, "HH:MM"},
                                          {0, "B10", 1234.5, "#,##0.00 [$¥-804]"},
                                          {0, "B11", 0.25, "0.00%"},
                                          {0, "B12", Formula{"=TRUE()"}}};
    for (const std::string extension : {".xls", ".xlsx", ".ods"}) {
        SCOPED_TRACE(extension);
        std::vector<CellSpec> parentCells = values, childCells;
        for (int r = 1; r <= 12; ++r) {
            const std::string row = std::to_string(r);
            CellSpec key{0, "A" + row, u16("k" + row)};
            if (r == 1) key.content = 123.0;  // a number key matches its text
            parentCells.push_back(key);
            childCells.push_back({0, "A" + row, r == 1 ? std::u16string(u"123") : u16("k" + row)});
        }
        name(extension);
        Office::get().make(parent, parentCells);
        Office::get().make(childBook, childCells);
        choose();
        expectCompleted(start());
        const auto rows = Office::get().read(childBook, 1);
        ASSERT_EQ(rows.size(), values.size());
        const auto source = Office::get().read(parent, 2);
        for (std::size_t r = 0; r < rows.size(); ++r) {
            const CellValue &got = rows[r][0], &given = source[r][1];
            EXPECT_EQ(got.kind(), given.kind()) << r + 1;
            EXPECT_EQ(got.toText(), given.toText()) << r + 1;
            if (given.kind() != CellValue::Kind::Boolean) {
                EXPECT_EQ(got.format() != nullptr, given.format() != nullptr) << r + 1;
            }
        }
    }
}

// Further matching with both values, before column B of the child sheet and into a third workbook:
// a tab or a line break inside a value stays in its cell, and every cell of the workbooks keeps its
// place.
TEST_F(EndToEnd, BothValuesWithTabsAndLineBreaksOverwriteNothing) {
    const std::vector<Row> parentRows = {{u"k1", u"a\tb"}, {u"k2", u"x\ny"}};
    const std::vector<Row> childRows = {{u"k1", u"c\td", u"own1"}, {u"k2", u"z", u"own2"}};
    combo("Combo6")->setCurrentIndex(1);
    combo("Combo7")->setCurrentIndex(1);  // values differ
    combo("Combo8")->setCurrentIndex(2);  // both
    const std::vector<Texts> both = {{u"a\tb", u"x\ny"}, {u"c\td", u"z"}};
    for (const bool third : {false, true}) {
        SCOPED_TRACE(third ? "third workbook" : "child sheet");
        tables(parentRows, childRows, ".xlsx");
        std::string target = childBook;
        if (third) {
            target = dir.file("第三表.xlsx");
            Office::get().make(target, {{u"t1", u"t2"}});
            child<QRadioButton>("Option1_2")->setChecked(true);
            child<QLineEdit>("Text7")->setText(QString::fromStdString(target));
        } else {
            combo("Combo9")->setCurrentIndex(1);
        }
        expectCompleted(start());
        const int first = third ? 1 : 2;
        for (int c = 0; c < 2; ++c) EXPECT_EQ(Office::get().column(target, first + c), both[c]) << c;
        const std::vector<Texts> kept =
            third ? std::vector<Texts>{{u"t1", u""}, {u"t2", u""}}
                  : std::vector<Texts>{{u"k1", u"k2"}, {u"c\td", u"z"}, {u"own1", u"own2"}};
        const std::vector<int> at = third ? std::vector{3, 4} : std::vector{1, 4, 5};
        for (std::size_t i = 0; i < at.size(); ++i)
            EXPECT_EQ(Office::get().column(target, at[i]), kept[i]) << i;
    }
}

// One file as parent and child is saved once, with the result; one file as child and third workbook
// is asked about like any third workbook.
TEST_F(EndToEnd, OneFileInTwoRoles) {
    name(".xlsx");
    std::vector<CellSpec> cells;
    for (int r = 0; r < 3; ++r) {
        const std::string row = std::to_string(r + 1);
        cells.push_back({0, "A" + row, std::get<std::u16string>(kParent[r][0])});
        cells.push_back({0, "B" + row, std::get<std::u16string>(kParent[r][1])});
        cells.push_back({1, "A" + row, std::get<std::u16string>(kChild[r][0])});
    }
    Office::get().make(childBook, cells, 2);
    for (const char* box : {"Text1", "Text2"})
        child<QLineEdit>(box)->setText(QString::fromStdString(childBook));
    child<QLineEdit>("Text5")->setText(u"2"_s);
    auto boxes = start();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, u"操作完成!");
    EXPECT_EQ(Office::get().column(childBook, 1, 2), (Texts{u"000", u"", u"222"}));

    Office::get().make(parent, kParent);
    child<QLineEdit>("Text1")->setText(QString::fromStdString(parent));
    combo("Combo2")->setCurrentIndex(1);  // the first run moved the child's keys to column B
    child<QRadioButton>("Option1_2")->setChecked(true);
    child<QLineEdit>("Text7")->setText(QString::fromStdString(childBook));
    boxes = start();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].name, u"saveQuestion");
    EXPECT_EQ(boxes[1].text, u"操作完成!");
    EXPECT_EQ(Office::get().column(childBook, 1), (Texts{u"000", u"", u"222"}));
}

// Error cells are skipped and named in the details, with the backup of the child as it was; a
// child locked by another office is not saved, and the completion says so first.
TEST_F(EndToEnd, IgnoringErrorsCompletesPastErrorCellsAndSaysWhatWasNotSaved) {
    tables({{u"A01", Formula{"=1/0"}}, {Formula{"=NA()"}, u"x"}, {u"A03", u"222"}},
           {{u"A01"}, {Formula{"=1/0"}}, {u"A03"}});
    child<QCheckBox>("Check1")->setChecked(true);
    const std::string childBytes = sheets::calc::testing::bytesOf(childBook);
    auto boxes = start();
    expectCompleted(boxes);
    expectOfficeGone();
    EXPECT_EQ(Office::get().column(childBook, 1), (Texts{u"", u"", u"222"}));
    const QString details = boxes.back().detailed;
    EXPECT_EQ(boxes.back().informative, u""_s);
    for (const QString& part :
         {u"忽略的错误 3 处："_s, u"单元格 B1 的值是错误值 #DIV/0!"_s, u"单元格 A2 的值是错误值 #N/A"_s,
          u"结果写入：子表.xls，第 1 个工作表，A 列。"_s})
        EXPECT_TRUE(details.contains(part)) << details.toStdString();
    const QString backup = details.section(u"原文件的备份："_s, 1).section(u'\n', 0, 0);
    EXPECT_EQ(sheets::calc::testing::bytesOf(backup.toStdString()), childBytes) << backup.toStdString();

    // No permission check stops root: a lock of another office does.
    tables(kParent, kChild);
    const std::string lockedBytes = sheets::calc::testing::bytesOf(childBook);
    sheets::calc::testing::FakeDesktop holderDesktop;
    auto holder = sheets::calc::CalcApplicationFactory({.forceHeadless = true}).create(holderDesktop);
    holder->open(u16(childBook));
    boxes = start();
    holder->quit();
    expectCompleted(boxes);
    EXPECT_TRUE(boxes.back().informative.startsWith(u"结果未能保存到 子表.xls：文件已被 "_s))
        << boxes.back().informative.toStdString();
    EXPECT_EQ(sheets::calc::testing::bytesOf(childBook), lockedBytes);
}

// A cancel while the office loads a large parent: the run stops as soon as the load returns, with
// every file as it was, no lock file, no office left, no box shown and the window idle again.
TEST_F(EndToEnd, CancelWhileTheOfficeLoadsALargeParent) {
    name(".xlsx");
    sheets::calc::tools::SheetColumns parentColumns{u"数据", {{}, {}}};
    for (int r = 0; r < 200000; ++r) {
        parentColumns.columns[0].push_back(CellValue::text(u16("K" + std::to_string(r))));
        parentColumns.columns[1].push_back(CellValue::number(r));
    }
    Office::get().makeColumns(parent, parentColumns);
    Office::get().make(childBook, kChild);
    choose();
    const std::string childBytes = sheets::calc::testing::bytesOf(childBook);
    QString phaseAtCancel;
    QTimer cancel;
    QObject::connect(&cancel, &QTimer::timeout, [&] {
        auto* progress = form.findChild<QWidget*>(u"progressWindow"_s);
        if (!progress || !progress->isVisible() || !phaseAtCancel.isEmpty()) return;
        phaseAtCancel = progress->findChild<QLabel*>(u"phase"_s)->text();
        progress->findChild<QPushButton*>(u"cancel"_s)->click();
    });
    cancel.start(20);
    EXPECT_TRUE(start().empty());
    EXPECT_EQ(phaseAtCancel, u"打开父表"_s);
    expectOfficeGone();
    EXPECT_EQ(sheets::calc::testing::bytesOf(parent), parentBytes);
    EXPECT_EQ(sheets::calc::testing::bytesOf(childBook), childBytes);
    for (const std::string& file : {parent, childBook})
        EXPECT_FALSE(sheets::calc::testing::exists(sheets::calc::testing::lockOf(file))) << file;
    EXPECT_TRUE(child<QWidget>("Frame1")->isEnabled() && child<QWidget>("Command1")->isEnabled());
}

// A run in a program of its own: this test's binary again, with only RunProgram.Run and a folder
// holding the case. Under the stop-on-error policy the program ends after the error message.
struct ProgramCase {
    std::string name;
    std::string parent, child, childSheet = "1";
    bool completes = false;
    bool unprivileged = false;  // as the user nobody, to whom permissions apply
};

int runProgram(const std::string& dir, bool unprivileged) {
    std::vector<std::string> args = {"/proc/self/exe", "--gtest_filter=RunProgram.*"};
    std::vector<std::string> env = {"PELLUCOR_RUN_DIR=" + dir};
    for (char** e = environ; *e && !unprivileged; ++e) env.emplace_back(*e);
    if (unprivileged) {
        env.push_back("QT_QPA_PLATFORM=offscreen");
        env.push_back("LANG=C");  // the office is given UTF-8 to reach the Chinese file names
        // No display for nobody: the office works headless, the window offscreen.
        args.insert(args.begin(), {"/usr/sbin/runuser", "-u", "nobody", "--"});
        // The build folder may be closed to nobody (a clone under /root): a copy in the case's folder.
        args[4] = dir + "/program";
        std::filesystem::copy_file("/proc/self/exe", args[4],
                                   std::filesystem::copy_options::overwrite_existing);
        std::filesystem::permissions(
            args[4], std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                         std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                         std::filesystem::perms::others_exec);
        env.push_back("HOME=" + dir);
        // runuser sets HOME to nobody's, which does not exist: the backups go to the case's folder.
        env.push_back("XDG_DATA_HOME=" + dir + "/data");
    }
    // Everything the child needs is prepared before the fork: after it only exec may be called.
    std::vector<char*> argv, envp;
    for (auto& a : args) argv.push_back(a.data());
    for (auto& e : env) envp.push_back(e.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Files that are no workbook of their kind are refused, as parent and as child, without a byte of
// any file changed; a parent in a folder the user cannot write is read all the same.
TEST(WholeProgram, RefusesWhatIsNoWorkbookAndReadsWhatItCannotWrite) {
    TempDir dir;
    std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
    const std::string parent = dir.file("父表.xls"), childBook = dir.file("子表.xls");
    const std::string text = dir.file("文本.xls"), noise = dir.file("乱码.xls"), empty = dir.file("空.xls");
    Office::get().make(parent, kParent);
    Office::get().make(childBook, kChild);
    std::ofstream(text) << "A01\t000\nA02\t111\n";
    std::ofstream(noise, std::ios::binary) << std::string("\x07\xff\x00\x13junk\x80\x81", 11);
    std::ofstream{empty};
    const std::string readOnly = dir.file("只读");
    std::filesystem::create_directory(readOnly);
    std::filesystem::copy_file(parent, readOnly + "/父表.xls");
    std::filesystem::permissions(childBook, std::filesystem::perms::all);
    std::filesystem::permissions(
        readOnly, std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                      std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                      std::filesystem::perms::others_exec);

    std::vector<ProgramCase> cases = {
        {"no such sheet", parent, childBook, "7"},    {"text as child", parent, text},
        {"text as parent", text, childBook},          {"random bytes as child", parent, noise},
        {"random bytes as parent", noise, childBook}, {"empty file as child", parent, empty},
        {"empty file as parent", empty, childBook},
    };
    if (::access("/usr/sbin/runuser", X_OK) == 0 || ::getuid() != 0)
        cases.push_back(
            {"parent in a read-only folder", readOnly + "/父表.xls", childBook, "1", true, ::getuid() == 0});
    else
        std::cerr << "no runuser: the read-only folder is not checked, since root may write anywhere\n";

    for (const ProgramCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::map<std::string, std::string> before;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path()))
            if (entry.is_regular_file() && entry.path().extension() == ".xls")
                before[entry.path()] = sheets::calc::testing::bytesOf(entry.path());
        std::ofstream(dir.file("case")) << c.parent << '\n'
                                        << c.child << '\n'
                                        << c.childSheet << '\n'
                                        << c.completes;
        std::filesystem::permissions(dir.file("case"), std::filesystem::perms::all);
        EXPECT_EQ(runProgram(dir.path(), c.unprivileged), 0) << "the program's own checks failed";

        std::ifstream officeFile(dir.file("office"));
        OfficeInfo info;
        officeFile >> info.officePid >> info.guardPid >> info.profileDir >> info.pipeName;
        ASSERT_GT(info.officePid, 0);
        for (int i = 0; i < 100 && !sheets::calc::testing::officeTraces(info).empty(); ++i)
            std::this_thread::sleep_for(50ms);
        EXPECT_EQ(sheets::calc::testing::officeTraces(info), std::vector<std::string>{});
        for (const auto& [path, bytes] : before) {
            EXPECT_FALSE(sheets::calc::testing::exists(sheets::calc::testing::lockOf(path))) << path;
            if (!c.completes || path != childBook) {
                EXPECT_EQ(sheets::calc::testing::bytesOf(path), bytes) << path;
            }
        }
        if (c.completes) {
            EXPECT_EQ(Office::get().column(childBook, 1), (Texts{u"000", u"", u"222"}));
        }
        std::filesystem::remove(dir.file("office"));
    }
}

// The program of the test above: one run of the case, until the program ends or the run completes.
TEST(RunProgram, Run) {
    const char* dirEnv = std::getenv("PELLUCOR_RUN_DIR");
    if (!dirEnv) GTEST_SKIP() << "run by WholeProgram.RefusesWhatIsNoWorkbookAndReadsWhatItCannotWrite";
    const std::string dir = dirEnv;
    std::ifstream in(dir + "/case");
    std::string parent, childBook, childSheet;
    bool completes = false;
    std::getline(in, parent), std::getline(in, childBook), std::getline(in, childSheet);
    in >> completes;
    RecordingFactory factory;
    ui::Form1 form(factory);
    form.show();
    form.findChild<QLineEdit*>(u"Text1"_s)->setText(QString::fromStdString(parent));
    form.findChild<QLineEdit*>(u"Text2"_s)->setText(QString::fromStdString(childBook));
    form.findChild<QLineEdit*>(u"Text5"_s)->setText(QString::fromStdString(childSheet));
    form.findChild<QComboBox*>(u"Combo5"_s)->setCurrentIndex(1);  // the values are in column B
    MessageBoxes boxes;
    QTimer::singleShot(
        0, [&] { QTest::mouseClick(form.findChild<QPushButton*>(u"Command1"_s), Qt::LeftButton); });
    QTimer done;
    QObject::connect(&done, &QTimer::timeout, [&] {
        if (!boxes.seen.empty() && boxes.seen.back().text == u"操作完成!") form.close();
    });
    done.start(50);
    EXPECT_EQ(QApplication::exec(), completes ? EXIT_SUCCESS : EXIT_FAILURE);
    ASSERT_EQ(boxes.seen.size(), 1u);
    if (completes) {
        EXPECT_EQ(boxes.seen[0].text, u"操作完成!");
        EXPECT_EQ(boxes.seen[0].informative, u""_s) << "the result was saved";
    } else {
        EXPECT_EQ(boxes.seen[0].text, u"操作错误，请检查Excel表是否正确或输入参数是否规范！请重新运行软件");
        EXPECT_EQ(boxes.seen[0].title, u"错误提示");
    }
    EXPECT_FALSE(form.isVisible());
    ASSERT_EQ(factory.offices.size(), 1u);
    const OfficeInfo& info = factory.offices[0];
    std::ofstream(dir + "/office") << info.officePid << ' ' << info.guardPid << ' ' << info.profileDir << ' '
                                   << info.pipeName << '\n';
}

}  // namespace
