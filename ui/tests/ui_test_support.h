#pragma once

#include <functional>
#include <memory>
#include <stdexcept>

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include "sheets/application.h"
#include "ui/look.h"

namespace ui::test {

// The windows never start an application in these tests.
class NoApplications : public sheets::ApplicationFactory {
public:
    std::unique_ptr<sheets::Application> create(sheets::Desktop&) override {
        throw std::logic_error("no spreadsheet application in window tests");
    }
};

inline void useWindowLook() {
    static bool done = false;
    if (!done) ui::installLook(*qApp);
    done = true;
}

// Waits, from inside the event loop of a modal dialog about to open, for the dialog and hands it to
// `handle`, which must close it. Keep the object alive until the dialog has been shown.
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
