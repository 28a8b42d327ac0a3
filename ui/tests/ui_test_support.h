#pragma once

#include <functional>
#include <memory>
#include <stdexcept>

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include "sheets/application.h"
#include "ui/form1.h"
#include "ui/look.h"

namespace ui::test {

// The windows never start an application in these tests.
class NoApplications : public sheets::ApplicationFactory {
public:
    std::unique_ptr<sheets::Application> create(sheets::Desktop&) override {
        throw std::logic_error("no spreadsheet application in window tests");
    }
};

// A main window with the look of the program, and its controls by name.
class WindowTest : public ::testing::Test {
protected:
    WindowTest() {
        static const bool looked = (ui::installLook(*qApp), true);
        (void)looked;
    }
    template <typename T = QWidget>
    T* child(const QString& name) {
        T* w = form.findChild<T*>(name);
        if (!w) throw std::logic_error("no control " + name.toStdString());
        return w;
    }
    NoApplications factory;
    ui::Form1 form{factory};
};

// Polls for the modal dialog that the code under test is about to open and hands it to `handle`,
// which records what it sees and closes it (assertions follow afterwards).
class WhenModal {
public:
    explicit WhenModal(std::function<void(QWidget&)> handle) : handle_(std::move(handle)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                timer_.stop();
                seen_ = true;
                handle_(*modal);
            }
        });
        timer_.start(10);
    }
    bool seen() const { return seen_; }

private:
    std::function<void(QWidget&)> handle_;
    QTimer timer_;
    bool seen_ = false;
};

}  // namespace ui::test
