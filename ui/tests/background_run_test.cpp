// Whole runs from the Start button against the in-memory office: the run on a thread of its own, the
// boxes it shows in their order, and a cancel from the progress window or by closing the main window.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include <QtTest>
#include <QtWidgets>

#include "memory_sheets.h"
#include "ui_test_support.h"

using namespace Qt::StringLiterals;

namespace {

const std::u16string kParent = u"/d/parent.xls", kChild = u"/d/child.xls", kThird = u"/d/third.xls";

class BackgroundRun : public ::testing::Test {
protected:
    BackgroundRun() {
        office.disk[kParent].sheets = {memory::Sheet::fromRows({{u"A01", u"000"}, {u"A03", u"222"}})};
        office.disk[kChild].sheets = {memory::Sheet::fromRows({{u"A01"}, {u"B01"}, {u"A03"}})};
        office.disk[kThird].sheets = {memory::Sheet::fromRows({{u"t1"}})};
        set("Text1", kParent);
        set("Text2", kChild);
        set("Text7", kThird);
        child<QComboBox>("Combo5")->setCurrentIndex(1);
        form.show();
    }
    template <typename T = QWidget>
    T* child(const char* name) {
        return form.findChild<T*>(QString::fromLatin1(name));
    }
    void set(const char* box, const std::u16string& text) {
        child<QLineEdit>(box)->setText(QString::fromStdU16String(text));
    }

    // Clicks Start and answers every box: the save question with 保存, any other with its one button.
    // Returns the boxes as "name: text" in their order.
    QStringList start() {
        QStringList boxes;
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible()) return;
            boxes << box->objectName() + u": "_s + box->text();
            box->buttons().constFirst()->click();
        });
        answer.start(10);
        child<QPushButton>("Command1")->click();
        return boxes;
    }

    void expectIdleAndNoOffice() {
        EXPECT_TRUE(child("Frame1")->isEnabled() && child("Command1")->isEnabled());
        const QWidget* progress = child("progressWindow");
        EXPECT_TRUE(!progress || !progress->isVisible());
        for (const auto& app : office.applications()) EXPECT_TRUE(app.destroyed);
    }

    memory::Office office;
    ui::Form1 form{office};
};

TEST_F(BackgroundRun, WorksOffTheWindowThreadAndShowsEveryBoxInOrder) {
    const auto windowThread = std::this_thread::get_id();
    bool offThread = true;
    office.onOperation = [&](const std::string&) { offThread &= std::this_thread::get_id() != windowThread; };
    child<QRadioButton>("Option1_2")->setChecked(true);
    EXPECT_EQ(start(),
              (QStringList{u"saveQuestion: 是否保存对“third.xls”的更改？"_s, u"runMessage: 操作完成!"_s}));
    EXPECT_EQ(office.disk[kThird].sheets[0].columnTexts(1),
              (std::vector<std::u16string>{u"000", u"", u"222"}));
    EXPECT_TRUE(offThread && !office.log().empty());
    expectIdleAndNoOffice();

    child<QComboBox>("Combo4")->setCurrentIndex(1);
    set("Text6", u"6**");  // the malformed condition's message, and the window idle again
    EXPECT_EQ(start(), QStringList{u"runMessage: 条件格式有误,请按照规定格式输入,详细请与IT:Tolvek联系"_s});
    expectIdleAndNoOffice();
}

// The run is held while the child workbook opens until the progress window is up; then the user
// clicks into the main window, which takes no input and has only its frame and start button
// disabled, and cancels with the progress window's button, by closing the main window or by telling
// the application to exit (which must neither spin nor hang while the run finishes). The run
// stops before reading the child: nothing on the disk changes, no box appears, the office has ended,
// and a closed main window closes.
TEST_F(BackgroundRun, CancelFromTheProgressWindowOrByClosingTheMainWindow) {
    enum { Cancel, CloseWindow, ExitApplication };
    // Exiting last: an application told to exit stays so until its loop has run once more (below).
    for (const int how : {Cancel, CloseWindow, ExitApplication}) {
        SCOPED_TRACE(how);
        form.show();
        const auto before = office.disk;
        QString shown;
        office.onOperation = [&](const std::string& entry) {
            if (entry != "open /d/child.xls") return;
            for (int i = 0; i < 1000 && shown.isEmpty(); ++i) {
                ui::test::onWindowThread([&] {
                    auto* progress = child<QDialog>("progressWindow");
                    if (!progress || !progress->isVisible()) return;
                    // The main window takes no input meanwhile.
                    auto* check = child<QCheckBox>("Check1");
                    QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(4, check->height() / 2));
                    QString enabled;
                    for (const char* name : {"Text3", "Combo8", "Command1", "Command4", "Check1"})
                        enabled += child(name)->isEnabled() ? u'1' : u'0';
                    shown = progress->windowTitle() + u' ' +
                            progress->findChild<QLabel*>(u"phase"_s)->text() + u' ' + enabled +
                            (check->isChecked() ? u" Check1 changed"_s : u""_s) +
                            // the window system drops the close of a window under a modal one
                            (progress->isModal() ? u" modal"_s : u""_s);
                    if (how == Cancel) progress->findChild<QPushButton*>(u"cancel"_s)->click();
                    if (how == CloseWindow) form.close();
                    if (how == ExitApplication) QCoreApplication::exit(0);
                });
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        };
        EXPECT_EQ(start(), QStringList{});
        EXPECT_EQ(shown, u"进度 打开子表 00011"_s);
        EXPECT_EQ(std::count(office.log().begin(), office.log().end(), "column 1 3"), 0) << "child read";
        for (const auto& [path, book] : before)
            EXPECT_EQ(office.disk[path].sheets[0].cells, book.sheets[0].cells);
        EXPECT_TRUE(office.applications().back().quit);
        expectIdleAndNoOffice();
        EXPECT_EQ(form.isVisible(), how != CloseWindow);
    }
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
}

}  // namespace
