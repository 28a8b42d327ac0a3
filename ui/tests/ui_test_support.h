#pragma once

#include <functional>
#include <stdexcept>

#include <QApplication>
#include <QTimer>

#include "ui/form1.h"
#include "ui/look.h"

// Readable strings in the failure messages of gtest.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace ui::test {

// The windows never start an application in these tests.
struct NoApplications : sheets::ApplicationFactory {
    std::unique_ptr<sheets::Application> create(sheets::Desktop&, const sheets::RunFiles&) override {
        throw std::logic_error("no app");
    }
};

// A main window with the look of the program, and its controls by name.
class WindowTest : public ::testing::Test {
protected:
    WindowTest() { [[maybe_unused]] static const bool looked = (ui::installLook(*qApp), true); }
    template <typename T = QWidget>
    static T* child(const QWidget& window, const char* name) {
        T* w = window.findChild<T*>(QString::fromLatin1(name));
        return w ? w : throw std::logic_error(std::string("no control ") + name);
    }
    template <typename T = QWidget>
    T* child(const char* name) {
        return child<T>(form, name);
    }
    NoApplications factory;
    ui::Form1 form{factory};
};

// Does action on the windows' thread, from a run's thread, and waits for it.
template <class Action>
void onWindowThread(Action action) {
    QMetaObject::invokeMethod(qApp, action, Qt::BlockingQueuedConnection);
}

// Polls for the modal dialog that the code under test is about to open and hands it to `handle`,
// which records what it sees and closes it (assertions follow afterwards).
struct WhenModal {
    explicit WhenModal(std::function<void(QWidget&)> handle) {
        QObject::connect(&timer, &QTimer::timeout, [this, handle] {
            if (QWidget* modal = QApplication::activeModalWidget()) timer.stop(), seen = true, handle(*modal);
        });
        timer.start(10);
    }
    QTimer timer;
    bool seen = false;
};

}  // namespace ui::test
