// The program's end: each test runs the application's event loop to its end.
#include <gtest/gtest.h>

#include <QtWidgets>

#include "ui_test_support.h"

using namespace Qt::StringLiterals;

namespace {

class Lifecycle : public ui::test::WindowTest {
protected:
    // Shows the main window, then from the event loop takes the steps one after another: "Form1"
    // closes the main window, "Form2" clicks the help window's OK, others click the button named.
    // Returns the loop's exit code, no window being left open.
    int run(std::initializer_list<const char*> buttons) {
        QCoreApplication::removePostedEvents(qApp, QEvent::Quit);
        form.show();
        std::vector<const char*> steps(buttons);
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            if (steps.empty()) return;
            const std::string step = steps.front();
            if (step == "Form1")
                form.close();
            else if (step != "Form2")
                child<QPushButton>(step.c_str())->click();
            else if ((helpOutlived = form.helpWindow() && form.helpWindow()->isVisible()))
                child<QPushButton>(*form.helpWindow(), "Command1")->click();
            steps.erase(steps.begin());
        });
        timer.start(20);
        QTimer::singleShot(20000, [] { QCoreApplication::exit(99); });  // never hang
        const int code = QApplication::exec();
        const QWidgetList windows = QApplication::topLevelWidgets();
        EXPECT_TRUE(std::none_of(windows.begin(), windows.end(), [](QWidget* w) { return w->isVisible(); }));
        return code;
    }
    bool helpOutlived = false;
};

TEST_F(Lifecycle, HelpWindowOutlivesTheMainWindowAndTheLastCloseEndsTheProgram) {
    EXPECT_EQ(run({"Command4", "Form1", "Form2"}), 0);
    EXPECT_TRUE(helpOutlived);
}

// The run asks for the end, or a failure escapes it (reported in a box): every window closes once the
// run has returned, and the program fails.
TEST_F(Lifecycle, EndAskedByTheRunOrAFailureEscapingItClosesEveryWindowAfterTheRun) {
    for (const bool fails : {false, true}) {
        bool openAfterAsking = false;
        QString box;
        form.setRunner(
            [&](const run::RunInputs&, run::KeyCondition&, run::RunWindow& w, sheets::ApplicationFactory&) {
                if (fails) throw std::runtime_error("escaped");
                w.endProgram();
                ui::test::onWindowThread(
                    [&] { openAfterAsking = form.isVisible() && form.helpWindow()->isVisible(); });
            });
        ui::test::WhenModal close([&](QWidget& m) { box = m.windowTitle(), m.close(); });
        EXPECT_EQ(run({"Command4", "Command1"}), EXIT_FAILURE) << fails;
        EXPECT_EQ(openAfterAsking, !fails);
        EXPECT_EQ(box, fails ? u"错误提示"_s : QString());
    }
}

}  // namespace
