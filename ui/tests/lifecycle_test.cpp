// The program's end: each test runs the application's event loop to its end.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "ui/form1.h"
#include "ui/form2.h"
#include "ui_test_support.h"

using namespace Qt::StringLiterals;

namespace {

// Runs the steps one after another from the event loop and returns the loop's exit code.
int runLoop(std::vector<std::function<void()>> steps) {
    QCoreApplication::removePostedEvents(qApp, QEvent::Quit);
    auto queue = std::make_shared<std::vector<std::function<void()>>>(std::move(steps));
    auto index = std::make_shared<std::size_t>(0);
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [queue, index, &timer] {
        if (*index < queue->size())
            (*queue)[(*index)++]();
        else
            timer.stop();
    });
    timer.start(20);
    QTimer::singleShot(20000, [] { QCoreApplication::exit(99); });  // never hang
    return QApplication::exec();
}

bool anyWindowVisible() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible()) return true;
    return false;
}

TEST(Lifecycle, HelpWindowOutlivesTheMainWindowAndTheLastCloseEndsTheProgram) {
    ui::test::useWindowLook();
    ui::test::NoApplications factory;
    ui::Form1 form1(factory);
    bool helpOpenAfterMainClosed = false;
    const int code = runLoop({
        [&] { form1.show(); },
        [&] { form1.findChild<QPushButton*>(u"Command4"_s)->click(); },
        [&] { form1.close(); },
        [&] {
            helpOpenAfterMainClosed = form1.helpWindow() && form1.helpWindow()->isVisible();
            if (form1.helpWindow()) form1.helpWindow()->findChild<QPushButton*>(u"Command1"_s)->click();
        },
    });
    EXPECT_TRUE(helpOpenAfterMainClosed);
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(anyWindowVisible());
}

TEST(Lifecycle, EndOfProgramClosesEveryWindowOnceTheRunReturns) {
    ui::test::useWindowLook();
    ui::test::NoApplications factory;
    ui::Form1 form1(factory);
    bool returned = false;
    form1.setRunner(
        [&](const run::RunInputs&, run::KeyCondition&, run::RunWindow& w, sheets::ApplicationFactory&) {
            w.endProgram();
            returned = form1.isVisible();  // nothing closes before the run is over
        });
    const int code = runLoop({
        [&] { form1.show(); },
        [&] { form1.findChild<QPushButton*>(u"Command4"_s)->click(); },
        [&] { form1.findChild<QPushButton*>(u"Command1"_s)->click(); },
    });
    EXPECT_TRUE(returned);
    EXPECT_EQ(code, EXIT_FAILURE);
    EXPECT_FALSE(anyWindowVisible());
}

TEST(Lifecycle, AFailureEscapingTheRunIsReportedAndEndsTheProgram) {
    ui::test::useWindowLook();
    ui::test::NoApplications factory;
    ui::Form1 form1(factory);
    form1.setRunner([](const run::RunInputs&, run::KeyCondition&, run::RunWindow&,
                       sheets::ApplicationFactory&) { throw std::runtime_error("escaped"); });
    QString title;
    ui::test::WhenModal close([&](QWidget& m) {
        title = m.windowTitle();
        m.close();
    });
    const int code = runLoop({
        [&] { form1.show(); },
        [&] { form1.findChild<QPushButton*>(u"Command1"_s)->click(); },
    });
    EXPECT_EQ(title, u"错误提示"_s);
    EXPECT_EQ(code, EXIT_FAILURE);
}

}  // namespace
