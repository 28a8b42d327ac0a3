// Whole runs from the main window's Start button through a real LibreOffice to the files on disk.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include "sheets/calc/calc_application.h"
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
        seen.push_back({box->objectName(), box->windowTitle(), box->text(), box->icon()});
        const QString wanted =
            box->objectName() == u"saveQuestion"_s ? (save_ ? u"保存"_s : u"不保存"_s) : u"确定"_s;
        for (QAbstractButton* b : box->buttons())
            if (b->text() == wanted) return b->click();
        box->reject();
    }
    bool save_;
    QTimer timer_;
};

using sheets::calc::tools::Row;
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
    std::vector<std::vector<CellValue>> read(const std::string& path, int columns) {
        return sheets::calc::tools::readTable(*app_, u16(path), columns);
    }

    // One column as texts, rows 1..used.
    std::vector<std::u16string> column(const std::string& path, int column) {
        std::vector<std::u16string> texts;
        for (const auto& row : read(path, column)) texts.push_back(row.back().toText());
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
        parent = dir.file("父表" + extension);
        childBook = dir.file("子表" + extension);
        Office::get().make(parent, parentRows);
        Office::get().make(childBook, childRows);
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

TEST_F(EndToEnd, NumbersMatchTextAndValuesArriveUnchanged) {
    tables({{123.0, u"110101199003071234"},
            {u"k2", u"0012"},
            {u"k3", u"=HYPERLINK(\"http://x\")"},
            {u"k4", 42.0},
            {u"k5", u"  两端空格 "}},
           {{u"123"}, {u"k2"}, {u"k3"}, {u"k4"}, {u"k5"}});
    expectCompleted(start());
    const auto rows = Office::get().read(childBook, 1);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0][0], CellValue::text(u"110101199003071234"));
    EXPECT_EQ(rows[1][0], CellValue::text(u"0012"));
    EXPECT_EQ(rows[2][0], CellValue::text(u"=HYPERLINK(\"http://x\")"));
    EXPECT_EQ(rows[3][0], CellValue::number(42));
    EXPECT_EQ(rows[4][0], CellValue::text(u"  两端空格 "));
}

TEST_F(EndToEnd, IgnoringErrorsCompletesPastErrorCells) {
    tables({{u"A01", Formula{"=1/0"}}, {Formula{"=NA()"}, u"x"}, {u"A03", u"222"}},
           {{u"A01"}, {Formula{"=1/0"}}, {u"A03"}});
    child<QCheckBox>("Check1")->setChecked(true);
    expectCompleted(start());
    expectOfficeGone();
    EXPECT_EQ(Office::get().column(childBook, 1), (Texts{u"", u"", u"222"}));
}

// Under the stop-on-error policy the program ends after the error message. It runs in a process of
// its own: this test's binary again, with only the test below and the folder in the environment.
TEST(StopOnError, EndsTheProgramAndLeavesNoOfficeBehind) {
    TempDir dir;
    const std::string parent = dir.file("父表.xls"), childBook = dir.file("子表.xls");
    Office::get().make(parent, kParent);
    Office::get().make(childBook, kChild);
    const std::string parentBytes = sheets::calc::testing::bytesOf(parent);
    const std::string childBytes = sheets::calc::testing::bytesOf(childBook);

    // Everything the child needs is prepared before the fork: after it only exec may be called.
    std::vector<std::string> env = {"PELLUCOR_STOP_DIR=" + dir.path()};
    for (char** e = environ; *e; ++e) env.emplace_back(*e);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    char name[] = "e2e_test", filter[] = "--gtest_filter=StopOnErrorProgram.*";
    char* argv[] = {name, filter, nullptr};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execve("/proc/self/exe", argv, envp.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the program's own checks failed";

    std::ifstream officeFile(dir.file("office"));
    OfficeInfo info;
    officeFile >> info.officePid >> info.guardPid >> info.profileDir >> info.pipeName;
    ASSERT_GT(info.officePid, 0);
    for (int i = 0; i < 100 && !sheets::calc::testing::officeTraces(info).empty(); ++i)
        std::this_thread::sleep_for(50ms);
    EXPECT_EQ(sheets::calc::testing::officeTraces(info), std::vector<std::string>{});
    for (const auto& path : {parent, childBook})
        EXPECT_FALSE(sheets::calc::testing::exists(sheets::calc::testing::lockOf(path))) << path;
    EXPECT_EQ(sheets::calc::testing::bytesOf(parent), parentBytes);
    EXPECT_EQ(sheets::calc::testing::bytesOf(childBook), childBytes);
}

// The program of the test above: a run whose child sheet does not exist, until the program ends.
TEST(StopOnErrorProgram, Run) {
    const char* dirEnv = std::getenv("PELLUCOR_STOP_DIR");
    if (!dirEnv) GTEST_SKIP() << "run by StopOnError.EndsTheProgramAndLeavesNoOfficeBehind";
    const std::string dir = dirEnv;
    RecordingFactory factory;
    ui::Form1 form(factory);
    form.show();
    form.findChild<QLineEdit*>(u"Text1"_s)->setText(QString::fromStdString(dir + "/父表.xls"));
    form.findChild<QLineEdit*>(u"Text2"_s)->setText(QString::fromStdString(dir + "/子表.xls"));
    form.findChild<QLineEdit*>(u"Text5"_s)->setText(u"7"_s);
    MessageBoxes boxes;
    QTimer::singleShot(
        0, [&] { QTest::mouseClick(form.findChild<QPushButton*>(u"Command1"_s), Qt::LeftButton); });
    EXPECT_EQ(QApplication::exec(), EXIT_FAILURE);
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].text, u"操作错误，请检查Excel表是否正确或输入参数是否规范！请重新运行软件");
    EXPECT_EQ(boxes.seen[0].title, u"错误提示");
    EXPECT_FALSE(form.isVisible());
    ASSERT_EQ(factory.offices.size(), 1u);
    const OfficeInfo& info = factory.offices[0];
    std::ofstream(dir + "/office") << info.officePid << ' ' << info.guardPid << ' ' << info.profileDir << ' '
                                   << info.pipeName << '\n';
}

}  // namespace
