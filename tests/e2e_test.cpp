// Whole runs from the main window's Start button through a real LibreOffice to the files on disk.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <thread>

#include <QTest>
#include <QtWidgets>

#include "calc_test_support.h"
#include "cli/command.h"
#include "sheets/calc/calc_application.h"
#include "sheets/choosing_factory.h"
#include "sheets/direct/direct_application.h"
#include "ui/form1.h"

namespace {

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;
using namespace sheets::calc::testing;
using sheets::CellValue;
using sheets::calc::OfficeInfo;
using sheets::calc::officeInfo;
using Texts = std::vector<std::u16string>;
namespace fs = std::filesystem;

std::u16string u16(const std::string& s) {
    return QString::fromStdString(s).toStdU16String();
}

// The program's choice of application for the window: the packages themselves for .xlsx runs, else
// the real office, keeping a note of every office it starts.
class RecordingFactory : public sheets::ApplicationFactory {
public:
    std::unique_ptr<sheets::Application> create(sheets::Desktop& desktop,
                                                const sheets::RunFiles& files) override {
        if (sheets::ChoosingFactory::packagesServe(files)) return packages_.create(desktop, files);
        auto app = real_.create(desktop, files);
        offices.push_back(sheets::calc::officeInfo(*app));
        return app;
    }
    std::vector<OfficeInfo> offices;

private:
    sheets::direct::DirectApplicationFactory packages_;
    sheets::calc::CalcApplicationFactory real_;
};

// Nothing of the office is left, once it has had a few seconds to go.
void expectGone(const OfficeInfo& office) {
    EXPECT_EQ(officeTraces(office, 5s), std::vector<std::string>{});
}

// Answers every message box a run shows, as a user would, and records what it said.
class MessageBoxes {
public:
    struct Box {
        QString name, title, text;
        QMessageBox::Icon icon;
        QString informative, detailed;
    };

    // completion: the button the completion box is answered with.
    explicit MessageBoxes(bool saveThirdTable = true, QString completion = u"确定"_s)
        : save_(saveThirdTable), completion_(std::move(completion)) {
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
        const QString wanted = box->objectName() == u"saveQuestion"_s ? (save_ ? u"保存"_s : u"不保存"_s)
                               : box->text() == u"操作完成!"_s        ? completion_
                                                                      : u"确定"_s;
        for (QAbstractButton* b : box->buttons())
            if (b->text() == wanted) return b->click();
        box->reject();
    }
    bool save_;
    QString completion_;
    QTimer timer_;
};

// One office, shared by the binary, that writes the tables the runs read and reads back what they left.
class Office {
public:
    static Office& get() {
        static Office office;
        return office;
    }
    void make(const std::string& path, const std::vector<Row>& rows) {
        makeTable(officeInfo(*app_).pipeName, path, u"数据", rows);
    }
    void make(const std::string& path, const std::vector<CellSpec>& cells) {
        makeWorkbook(officeInfo(*app_).pipeName, path, {{u"数据"}}, cells);
    }
    // One column of the first sheet, rows 1..used.
    std::vector<CellValue> cells(const std::string& path, int column) {
        auto book = app_->open(u16(path));
        auto s = book->worksheet(1);
        auto cells = s->column(column, s->usedRowCount());
        book->close(false);
        return cells;
    }
    Texts column(const std::string& path, int column) {
        Texts texts;
        for (const auto& cell : cells(path, column)) texts.push_back(cell.toText());
        return texts;
    }

private:
    Office() : app_(headlessApplication(desktop_)) {}
    FakeDesktop desktop_;
    std::unique_ptr<sheets::Application> app_;
};

// The worked example of the help text, keys in A and values in B, with a tab and a line break in the
// values that must stay in their cells.
const std::vector<Row> kParent = {
    {u"A01", u"0\t00", u"111"}, {u"A02", u"111", u"222"}, {u"A03", u"222", u"333"}};
const std::vector<Row> kChild = {
    {u"A01", u"0\n01", u"111"}, {u"B01", u"111", u"222"}, {u"A03", u"222", u"333"}};
const Texts kResult = {u"0\t00", u"", u"222"};

class EndToEnd : public ::testing::Test {
protected:
    EndToEnd() { combo("Combo5")->setCurrentIndex(1); }  // the values are in column B

    template <class T = QWidget>
    T* child(const char* name) {
        T* w = form.findChild<T*>(QString::fromLatin1(name));
        return w ? w : throw std::logic_error(std::string("no control ") + name);
    }
    QComboBox* combo(const char* name) { return child<QComboBox>(name); }
    void setText(const char* box, const std::string& text) {
        child<QLineEdit>(box)->setText(QString::fromStdString(text));
    }

    // Writes the two tables and chooses them in the window.
    void tables(const std::vector<Row>& parentRows, const std::vector<Row>& childRows,
                const std::string& extension = ".xls") {
        name(extension);
        Office::get().make(parent, parentRows);
        Office::get().make(childBook, childRows);
        choose();
    }
    void name(const std::string& extension, const std::string& folder = "") {
        fs::create_directories(dir.file(folder));
        parent = dir.file(folder + "父表" + extension);
        childBook = dir.file(folder + "子表" + extension);
    }
    // Chooses the two files in the window, noting the parent as it is.
    void choose() {
        parentBytes = bytesOf(parent);
        parentTime = fs::last_write_time(parent);
        setText("Text1", parent);
        setText("Text2", childBook);
    }

    // Presses Start; the boxes the run showed.
    std::vector<MessageBoxes::Box> start(bool saveThirdTable = true, const QString& completion = u"确定"_s) {
        factory.offices.clear();
        MessageBoxes boxes(saveThirdTable, completion);
        QTest::mouseClick(child<QPushButton>("Command1"), Qt::LeftButton);
        return boxes.seen;
    }

    // The run completed, left the parent file as it was and the window idle.
    void expectCompleted(const std::vector<MessageBoxes::Box>& boxes) {
        ASSERT_FALSE(boxes.empty());
        EXPECT_EQ(boxes.back().text, u"操作完成!");
        EXPECT_EQ(boxes.back().title, u"完成");
        EXPECT_EQ(boxes.back().icon, QMessageBox::Warning);
        EXPECT_EQ(bytesOf(parent), parentBytes);
        EXPECT_TRUE(fs::last_write_time(parent) == parentTime);
        EXPECT_FALSE(exists(lockOf(parent)));
        expectIdle();
        EXPECT_TRUE(QApplication::clipboard()->text().isEmpty());
    }
    // An office served the run, and nothing of it is left; a run on .xlsx files starts none.
    void expectOfficeGone(bool started = true) {
        ASSERT_EQ(factory.offices.size(), started ? 1u : 0u);
        if (started) expectGone(factory.offices[0]);
    }
    void expectIdle() {
        EXPECT_TRUE(child<QWidget>("Frame1")->isEnabled() && child<QWidget>("Command1")->isEnabled());
    }

    TempDir dir;
    RecordingFactory factory;
    ui::Form1 form{factory};
    std::string parent, childBook;
    std::string parentBytes;
    fs::file_time_type parentTime;
};

// Runs on copies of one pair of tables, each into the child sheet or a third workbook; the columns of
// the workbook written afterwards, every other cell in its place.
TEST_F(EndToEnd, RunsOnOnePairOfTables) {
    struct Case {
        const char* name;
        std::string extension;
        std::vector<std::pair<const char*, int>> lists;  // list boxes by name and the index chosen
        bool intoThird = false;                          // else into the child sheet
        std::vector<std::pair<int, Texts>> columns;      // of the workbook written
    };
    const Texts keys = {u"A01", u"B01", u"A03"}, oldC = {u"111", u"222", u"333"};
    const Case cases[] = {
        {"lookup before column A", ".xls", {}, false, {{1, kResult}, {2, keys}}},
        {"lookup before column Z", ".xlsx", {{"Combo9", 25}}, false, {{26, kResult}, {1, keys}}},
        {"both values that differ, before column C",
         ".xlsx",
         {{"Combo6", 1}, {"Combo7", 1}, {"Combo8", 2}, {"Combo9", 2}},
         false,
         {{3, {u"0\t00", u"", u""}}, {4, {u"0\n01", u"", u""}}, {5, oldC}, {1, keys}}},
        {"both values that differ, into column B of a third workbook",
         ".xls",
         {{"Combo6", 1}, {"Combo7", 1}, {"Combo8", 2}, {"Combo10", 1}},
         true,
         {{1, {u"x1", u"x2"}}, {2, {u"0\t00", u""}}, {3, {u"0\n01", u""}}, {4, {u"y1", u"y2"}}}},
    };
    std::map<std::string, std::string> made;  // extension -> the folder of the pair
    for (const std::string extension : {".xls", ".xlsx"}) {
        tables(kParent, kChild, extension);
        made[extension] = fs::path(parent).parent_path();
    }
    const std::string third = dir.file("第三表.xls");
    Office::get().make(third, {{u"x1", u"y1"}, {u"x2", u"y2"}});
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string folder = "case" + std::to_string(++n) + "/";
        name(c.extension, folder);
        fs::copy_file(made[c.extension] + "/父表" + c.extension, parent);
        fs::copy_file(made[c.extension] + "/子表" + c.extension, childBook);
        choose();
        for (const char* list : {"Combo6", "Combo7", "Combo8", "Combo9", "Combo10"})
            combo(list)->setCurrentIndex(0);
        child<QRadioButton>("Option1_0")->setChecked(true);
        for (const auto& [list, index] : c.lists) combo(list)->setCurrentIndex(index);
        std::string target = childBook;
        if (c.intoThird) {
            target = dir.file(folder + "第三表.xls");
            fs::copy_file(third, target);
            child<QRadioButton>("Option1_2")->setChecked(true);
            setText("Text7", target);
        }
        const std::string childBytes = bytesOf(childBook);
        const auto boxes = start();
        expectCompleted(boxes);
        expectOfficeGone(c.extension == ".xls" || c.intoThird);
        for (const auto& [column, texts] : c.columns)
            EXPECT_EQ(Office::get().column(target, column), texts) << column;
        if (!c.intoThird) continue;
        EXPECT_EQ(bytesOf(childBook), childBytes);
        ASSERT_EQ(boxes.size(), 2u);
        EXPECT_EQ(boxes[0].name, u"saveQuestion");
        EXPECT_EQ(boxes[0].text, u"是否保存对“第三表.xls”的更改？"_s);
    }
}

TEST_F(EndToEnd, IntoANewWorkbookLeavesItOpenInTheShownOffice) {
    if (!displayAvailable()) GTEST_SKIP() << "a workbook can only be shown on a display";
    tables(kParent, kChild);
    const std::string childBytes = bytesOf(childBook);
    child<QRadioButton>("Option1_1")->setChecked(true);
    expectCompleted(start());
    ASSERT_EQ(factory.offices.size(), 1u);
    const auto cells = openWorkbookCells(factory.offices[0].pipeName);
    ::kill(factory.offices[0].officePid, SIGKILL);  // the user ends the office: its guard cleans up
    EXPECT_EQ(cells, (std::vector<Texts>{{kResult[0]}, {u""}, {u"222"}}));
    EXPECT_EQ(bytesOf(childBook), childBytes);
    expectOfficeGone();
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
        for (std::size_t r = 1; r <= values.size(); ++r) {
            const std::string row = std::to_string(r);
            // A number key matches its text.
            parentCells.push_back({0, "A" + row, r == 1 ? Content(123.0) : u16("k" + row)});
            childCells.push_back({0, "A" + row, r == 1 ? u"123" : u16("k" + row)});
        }
        name(extension);
        Office::get().make(parent, parentCells);
        Office::get().make(childBook, childCells);
        choose();
        expectCompleted(start());
        EXPECT_EQ(factory.offices.empty(), extension == ".xlsx");
        const auto got = Office::get().cells(childBook, 1), given = Office::get().cells(parent, 2);
        ASSERT_EQ(got.size(), values.size());
        for (std::size_t r = 0; r < got.size(); ++r) {
            EXPECT_EQ(got[r].kind(), given[r].kind()) << r + 1;
            EXPECT_EQ(got[r].toText(), given[r].toText()) << r + 1;
            if (given[r].kind() != CellValue::Kind::Boolean) {
                EXPECT_EQ(got[r].format() != nullptr, given[r].format() != nullptr) << r + 1;
            }
        }
    }
}

// The command line gives the cells the window gives for the same choices: values, types and formats,
// in each placement.
TEST_F(EndToEnd, TheCommandLineGivesTheWindowsCells) {
    const std::vector<CellSpec> values = {{0, "B1", u"0012"},
                                          {0, "B2", 42.0},
                                          {0, "B3", 45366.0, "YYYY-MM-DD"},
                                          {0, "B4", 0.25, "0.00%"},
                                          {0, "B5", Formula{"=TRUE()"}},
                                          {0, "C1", u"其他"}};
    std::vector<CellSpec> parentCells = values, childCells;
    for (int r = 1; r <= 5; ++r) {
        parentCells.push_back({0, "A" + std::to_string(r), u16("k" + std::to_string(r))});
        childCells.push_back({0, "A" + std::to_string(r), u16("k" + std::to_string(6 - r))});
        childCells.push_back({0, "B" + std::to_string(r), u16("c" + std::to_string(r))});
    }
    const std::string made = dir.file("made/"), third = dir.file("made/第三表.xls");
    fs::create_directories(made);
    Office::get().make(made + "父表.xls", parentCells);
    Office::get().make(made + "子表.xls", childCells);
    Office::get().make(third, {{u"x1", u"y1"}, {u"x2", u"y2"}});
    struct Case {
        const char* name;
        const char* option;
        std::vector<std::pair<const char*, int>> lists;
        std::vector<std::string> args;
    };
    const Case cases[] = {
        {"into the child before column C", "Option1_0", {{"Combo9", 2}}, {"--into-child-column", "C"}},
        {"into column B of a third workbook", "Option1_2", {{"Combo10", 1}}, {"--column", "B"}},
    };
    std::map<std::string, std::string> target, parentOf, childOf;
    std::vector<CellValue> windowResult;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The command line's copies first: the window's are the ones chosen last.
        for (const std::string way : {"cli", "window"}) {
            name(".xls", std::string(c.name) + "/" + way + "/");
            for (const auto& file : {parent, childBook})
                fs::copy_file(made + fs::path(file).filename().string(), file);
            target[way] = childBook;
            if (c.args[0] == "--column") {
                target[way] = fs::path(childBook).parent_path() / "第三表.xls";
                fs::copy_file(third, target[way]);
            }
            parentOf[way] = parent;
            childOf[way] = childBook;
        }
        choose();
        child<QRadioButton>(c.option)->setChecked(true);
        setText("Text7", target["window"]);
        for (const auto& [list, index] : c.lists) combo(list)->setCurrentIndex(index);
        expectCompleted(start());
        std::vector<std::string> args{"run",     "--parent", parentOf["cli"], "--child", childOf["cli"],
                                      "--value", "B"};
        if (c.args[0] == "--column") args.insert(args.end(), {"--into-workbook", target["cli"]});
        args.insert(args.end(), c.args.begin(), c.args.end());
        EXPECT_EQ(cli::command(args, factory), 0);
        for (int column = 1; column <= 4; ++column)
            EXPECT_EQ(Office::get().cells(target["window"], column),
                      Office::get().cells(target["cli"], column))
                << column;
        if (windowResult.empty()) windowResult = Office::get().cells(target["window"], 3);
    }
    // Into a new workbook, which the command line writes where the window shows one: the cells the
    // window wrote into the child.
    const std::string written = dir.file("new/结果.xlsx");
    fs::create_directories(dir.file("new"));
    EXPECT_EQ(cli::command({"run", "--parent", parentOf["cli"], "--child", childOf["cli"], "--value", "B",
                            "--into-new-workbook", written},
                           factory),
              0);
    EXPECT_EQ(Office::get().cells(written, 1), windowResult);
}

// Error cells are skipped and named in the details, with the backup of the child as it was.
TEST_F(EndToEnd, IgnoringErrorsCompletesPastErrorCells) {
    tables({{u"A01", Formula{"=1/0"}}, {Formula{"=NA()"}, u"x"}, {u"A03", u"222"}},
           {{u"A01"}, {Formula{"=1/0"}}, {u"A03"}});
    child<QCheckBox>("Check1")->setChecked(true);
    const std::string childBytes = bytesOf(childBook);
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
    EXPECT_EQ(bytesOf(backup.toStdString()), childBytes) << backup.toStdString();
}

// Options through a whole run, on the office (.xls) and on the packages themselves (.xlsx): keys
// folded, a second key column, a further value column and a mark for the rows without a match. The
// completion's undo then puts the child back byte for byte, having kept the child as the run left it.
TEST_F(EndToEnd, OptionsAndTheRunUndone) {
    combo("Combo5")->setCurrentIndex(2);
    QTimer options;
    QObject::connect(&options, &QTimer::timeout, [&] {
        auto* window = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!window || window->objectName() != u"optionsWindow"_s) return;
        for (const char* fold : {"widthFolding", "caseFolding", "invisibleFolding"})
            window->findChild<QCheckBox*>(QLatin1StringView(fold))->setChecked(true);
        window->findChild<QComboBox*>(u"parentKeyColumn2"_s)->setCurrentIndex(2);
        window->findChild<QComboBox*>(u"childKeyColumn2"_s)->setCurrentIndex(2);
        window->findChild<QLineEdit*>(u"moreValueColumns"_s)->setText(u"D"_s);
        window->findChild<QRadioButton*>(u"writeText"_s)->setChecked(true);
        window->accept();
    });
    options.start(20);
    child<QPushButton>("optionsButton")->click();
    options.stop();
    for (const std::string extension : {".xls", ".xlsx"}) {
        name(extension, extension.substr(1) + "/");
        Office::get().make(
            parent,
            {{u"A01", u"x", u"000", u"p"}, {u"A01", u"y", u"111", u"q"}, {u"A03", u"x", u"222", u"r"}});
        Office::get().make(childBook, {{u"ａ01", u"y"}, {u"A03\u00A0", u"x"}, {u"A04", u"x"}});
        choose();
        const std::string childBytes = bytesOf(childBook);
        const auto boxes = start(true, u"撤销此次运行"_s);
        ASSERT_EQ(boxes.size(), 2u) << extension;
        EXPECT_TRUE(boxes[0].detailed.startsWith(
            u"选项：全半角视同、不分大小写、忽略不可见字符；另取 D 列；组合键（父+B，子+B）；无匹配写“无”\n"_s));
        EXPECT_EQ(boxes[1].text, u"已撤销此次运行，它保存过的文件已恢复原样。"_s);
        EXPECT_EQ(bytesOf(childBook), childBytes) << extension;
        const QString kept = boxes[1].detailed.section(u"撤销前的文件已备份到："_s, 1) + u"/子表"_s +
                             QString::fromStdString(extension);
        const Texts expected[] = {
            {u"111", u"222", u"无"}, {u"q", u"r", u"无"}, {u"ａ01", u"A03\u00A0", u"A04"}};
        for (int c = 1; c <= 3; ++c)
            EXPECT_EQ(Office::get().column(kept.toStdString(), c), expected[c - 1]) << extension << c;
        expectOfficeGone(extension == ".xls");
    }
}

// A cancel while the office loads a large parent (the child an .xls, so that the office serves the
// run): the run stops as soon as the load returns, with every file as it was, no lock file, no office
// left, no box shown and the window idle again.
TEST_F(EndToEnd, CancelWhileTheOfficeLoadsALargeParent) {
    std::vector<Row> parentRows;
    for (int r = 0; r < 200000; ++r) parentRows.push_back({u16("K" + std::to_string(r)), double(r)});
    name(".xlsx");
    childBook = dir.file("子表.xls");
    Office::get().make(parent, parentRows);
    Office::get().make(childBook, kChild);
    choose();
    const std::string childBytes = bytesOf(childBook);
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
    EXPECT_EQ(bytesOf(parent), parentBytes);
    EXPECT_EQ(bytesOf(childBook), childBytes);
    for (const std::string& file : {parent, childBook}) EXPECT_FALSE(exists(lockOf(file))) << file;
    expectIdle();
}

// A run in a program of its own: this test's binary again, with only RunProgram.Run and a folder
// holding the case. Under the stop-on-error policy the program ends after the error message.
int runProgram(const std::string& dir, bool unprivileged) {
    std::vector<std::string> args = {"/proc/self/exe", "--gtest_filter=RunProgram.*"};
    std::vector<std::string> env = {"PELLUCOR_RUN_DIR=" + dir};
    if (unprivileged) {
        // The user nobody, without a display: the office works headless, the window offscreen. Under
        // LANG=C the office is given UTF-8 to reach the Chinese file names. The build folder may be
        // closed to nobody (a clone under /root): a copy in the case's folder. runuser sets HOME to
        // nobody's, which does not exist: the backups go to the case's folder.
        args = {"/usr/sbin/runuser", "-u", "nobody", "--", dir + "/program", args[1]};
        fs::copy_file("/proc/self/exe", args[4], fs::copy_options::overwrite_existing);
        fs::permissions(args[4], fs::perms(0755));
        env.insert(env.end(),
                   {"QT_QPA_PLATFORM=offscreen", "LANG=C", "HOME=" + dir, "XDG_DATA_HOME=" + dir + "/data"});
    }
    int status = 0;
    if (const pid_t pid = spawn(args, env, !unprivileged); pid <= 0 || ::waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Files that are no workbook of their kind are refused, as parent and as child, without a byte of
// any file changed; a parent in a folder the user cannot write is read all the same.
TEST(WholeProgram, RefusesWhatIsNoWorkbookAndReadsWhatItCannotWrite) {
    TempDir dir;
    fs::permissions(dir.path(), fs::perms::all);
    const std::string parent = dir.file("父表.xls"), childBook = dir.file("子表.xls");
    const std::string text = dir.file("文本.xls"), noise = dir.file("乱码.xls"), empty = dir.file("空.xls");
    Office::get().make(parent, kParent);
    Office::get().make(childBook, kChild);
    std::ofstream(text) << "A01\t000\nA02\t111\n";
    std::ofstream(noise, std::ios::binary) << std::string("\x07\xff\x00\x13junk\x80\x81", 11);
    std::ofstream{empty};
    const std::string readOnly = dir.file("只读");
    fs::create_directory(readOnly);
    fs::copy_file(parent, readOnly + "/父表.xls");
    fs::permissions(childBook, fs::perms::all);
    fs::permissions(readOnly, fs::perms(0755));

    struct Case {
        std::string name, parent, child, childSheet = "1";
        bool completes = false;
        bool unprivileged = false;  // as the user nobody, to whom permissions apply
    };
    std::vector<Case> cases = {
        {"no such sheet", parent, childBook, "7"},
        {"text as parent", text, childBook},
        {"random bytes as child", parent, noise},
        {"empty file as parent", empty, childBook},
    };
    if (::access("/usr/sbin/runuser", X_OK) == 0 || ::getuid() != 0)
        cases.push_back(
            {"parent in a read-only folder", readOnly + "/父表.xls", childBook, "1", true, ::getuid() == 0});
    else
        std::cerr << "no runuser: the read-only folder is not checked, since root may write anywhere\n";

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::map<std::string, std::string> before;
        for (const auto& entry : fs::recursive_directory_iterator(dir.path()))
            if (entry.path().extension() == ".xls") before[entry.path()] = bytesOf(entry.path());
        std::ofstream(dir.file("case")) << c.parent << '\n'
                                        << c.child << '\n'
                                        << c.childSheet << '\n'
                                        << c.completes;
        fs::permissions(dir.file("case"), fs::perms::all);
        EXPECT_EQ(runProgram(dir.path(), c.unprivileged), 0) << "the program's own checks failed";

        const OfficeInfo office = readOfficeInfo(dir.file("office"));
        ASSERT_GT(office.officePid, 0);
        expectGone(office);
        for (const auto& [path, bytes] : before) {
            EXPECT_FALSE(exists(lockOf(path))) << path;
            if (!c.completes || path != childBook) {
                EXPECT_EQ(bytesOf(path), bytes) << path;
            }
        }
        if (c.completes) {
            EXPECT_EQ(Office::get().column(childBook, 1), kResult);
        }
        fs::remove(dir.file("office"));
    }
}

// The program of the test above: one run of the case, until the program ends or the run completes.
using RunProgram = EndToEnd;
TEST_F(RunProgram, Run) {
    const char* dirEnv = std::getenv("PELLUCOR_RUN_DIR");
    if (!dirEnv) GTEST_SKIP() << "run by WholeProgram.RefusesWhatIsNoWorkbookAndReadsWhatItCannotWrite";
    const std::string dir = dirEnv;
    std::ifstream in(dir + "/case");
    std::string path, childSheet;
    bool completes = false;
    for (const char* box : {"Text1", "Text2"}) std::getline(in, path), setText(box, path);
    std::getline(in, childSheet), setText("Text5", childSheet);
    in >> completes;
    form.show();
    MessageBoxes boxes;
    QTimer::singleShot(0, [&] { QTest::mouseClick(child<QPushButton>("Command1"), Qt::LeftButton); });
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
    writeOfficeInfo(dir + "/office", factory.offices[0]);
}

}  // namespace
