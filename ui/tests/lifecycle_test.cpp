// The program's end: each test runs the application's event loop to its end.
#include <gtest/gtest.h>

#include <QPushButton>

#include "ui_test_support.h"

using namespace Qt::StringLiterals;

namespace {

class Lifecycle : public ui::test::WindowTest {
protected:
    // Clicks the named buttons one after another from the event loop; returns the loop's exit code.
    int clickThrough(std::vector<std::function<void()>> steps) {
        QCoreApplication::removePostedEvents(qApp, QEvent::Quit);
        std::size_t next = 0;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            if (next < steps.size()) steps[next++]();
        });
        timer.start(20);
        QTimer::singleShot(20000, [] { QCoreApplication::exit(99); });  // never hang
        return QApplication::exec();
    }
    std::function<void()> click(const char* name) {
        return [this, name] { child<QPushButton>(QString::fromLatin1(name))->click(); };
    }
    static bool anyWindowVisible() {
        const QWidgetList windows = QApplication::topLevelWidgets();
        return std::any_of(windows.begin(), windows.end(), [](QWidget* w) { return w->isVisible(); });
    }
};

TEST_F(Lifecycle, HelpWindowOutlivesTheMainWindowAndTheLastCloseEndsTheProgram) {
    bool helpOpen = false;
    const int code = clickThrough({[&] { form.show(); }, click("Command4"), [&] { form.close(); },
                                   [&] {
                                       helpOpen = form.helpWindow() && form.helpWindow()->isVisible();
                                       if (helpOpen)
                                           form.helpWindow()->findChild<QPushButton*>(u"Command1"_s)->click();
                                   }});
    EXPECT_TRUE(helpOpen);
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(anyWindowVisible());
}

TEST_F(Lifecycle, EndOfProgramClosesEveryWindowOnceTheRunReturns) {
    bool openDuringRun = false;
    form.setRunner(
        [&](const run::RunInputs&, run::KeyCondition&, run::RunWindow& w, sheets::ApplicationFactory&) {
            w.endProgram();
            openDuringRun = form.isVisible();
        });
    const int code = clickThrough({[&] { form.show(); }, click("Command4"), click("Command1")});
    EXPECT_TRUE(openDuringRun);
    EXPECT_EQ(code, EXIT_FAILURE);
    EXPECT_FALSE(anyWindowVisible());
}

TEST_F(Lifecycle, AFailureEscapingTheRunIsReportedAndEndsTheProgram) {
    form.setRunner([](const run::RunInputs&, run::KeyCondition&, run::RunWindow&,
                      sheets::ApplicationFactory&) { throw std::runtime_error("escaped"); });
    QString title;
    ui::test::WhenModal close([&](QWidget& m) { title = m.windowTitle(), m.close(); });
    EXPECT_EQ(clickThrough({[&] { form.show(); }, click("Command1")}), EXIT_FAILURE);
    EXPECT_EQ(title, u"错误提示"_s);
}

}  // namespace
