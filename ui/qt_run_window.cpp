#include "ui/qt_run_window.h"

#include <utility>

#include <QClipboard>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QWidget>

#include "ui/completion_box.h"
#include "ui/progress_window.h"

using namespace Qt::StringLiterals;

namespace ui {

namespace {

// Carries out action on the thread of owner, waiting for it when called from another thread.
template <class Action>
void onThreadOf(QObject& owner, Action&& action) {
    if (QThread::currentThread() == owner.thread()) return action();
    QMetaObject::invokeMethod(&owner, std::forward<Action>(action), Qt::BlockingQueuedConnection);
}

// A run that ends within this time shows no progress window.
constexpr int kProgressDelayMs = 500;

}  // namespace

void QtClipboard::clear() {
    onThreadOf(owner_, [] { QGuiApplication::clipboard()->clear(); });
}

void QtClipboard::setText(const std::u16string& text) {
    onThreadOf(owner_, [&] { QGuiApplication::clipboard()->setText(QString::fromStdU16String(text)); });
}

std::u16string QtClipboard::text() const {
    std::u16string text;
    onThreadOf(owner_, [&] { text = QGuiApplication::clipboard()->text().toStdU16String(); });
    return text;
}

QtRunWindow::QtRunWindow(QWidget& window, QWidget& frame, QWidget& start)
    : window_(window), frame_(frame), start_(start), clipboard_(window) {
    showProgress_.setSingleShot(true);
    showProgress_.setInterval(kProgressDelayMs);
}

QtRunWindow::~QtRunWindow() = default;

template <class Action>
void QtRunWindow::onWindowThread(Action&& action) {
    onThreadOf(window_, std::forward<Action>(action));
}

void QtRunWindow::runStarting() {
    cancelled_ = false;
    if (!progress_) {
        progress_ = new ProgressWindow(window_);
        QObject::connect(progress_, &ProgressWindow::cancelRequested, progress_, [this] { cancel(); });
        QObject::connect(&showProgress_, &QTimer::timeout, progress_, [this] { progress_->show(); });
    }
    progress_->restart();
    showProgress_.start();
}

void QtRunWindow::runEnded() {
    showProgress_.stop();
    if (progress_) progress_->finish();
}

void QtRunWindow::progress(run::Phase phase, std::int64_t done, std::int64_t total) {
    // The run goes on at once; the window shows the reports in their order.
    if (!progress_) return;
    QMetaObject::invokeMethod(
        progress_, [this, phase, done, total] { progress_->showProgress(phase, done, total); },
        Qt::QueuedConnection);
}

void QtRunWindow::showMessage(const std::u16string& text, const std::u16string& title) {
    showDetailedMessage(text, title, {}, {});
}

// Qt's box shows its own "显示详细信息..." button for a detailed text; the one OK button stays the
// box's only answer.
void QtRunWindow::showDetailedMessage(const std::u16string& text, const std::u16string& title,
                                      const std::u16string& informative, const std::u16string& detailed) {
    onWindowThread([&] {
        // A message ends the run's work: the progress window makes way for it for good.
        runEnded();
        QMessageBox box(QMessageBox::Warning, QString::fromStdU16String(title),
                        QString::fromStdU16String(text), QMessageBox::NoButton, &window_);
        box.setObjectName(u"runMessage"_s);
        setUpRunMessage(box, QString::fromStdU16String(informative), QString::fromStdU16String(detailed));
        box.exec();
    });
}

void QtRunWindow::showCompletion(const run::Completion& completion) {
    onWindowThread([&] {
        runEnded();
        showCompletionBox(window_, completion);
    });
}

bool QtRunWindow::askSaveChanges(const std::u16string& fileName) {
    bool save = false;
    onWindowThread([&] {
        QMessageBox box(QMessageBox::Question, u"Pellucor"_s,
                        u"是否保存对“%1”的更改？"_s.arg(QString::fromStdU16String(fileName)),
                        QMessageBox::NoButton, &window_);
        box.setObjectName(u"saveQuestion"_s);
        QPushButton* yes = box.addButton(u"保存"_s, QMessageBox::AcceptRole);
        QPushButton* dontSave = box.addButton(u"不保存"_s, QMessageBox::DestructiveRole);
        box.setDefaultButton(yes);
        // Closing the box leaves the file as it is on disk.
        box.setEscapeButton(dontSave);
        // The progress window, if not up yet, waits until the question is answered.
        const bool delayed = showProgress_.isActive();
        showProgress_.stop();
        box.exec();
        save = box.clickedButton() == yes;
        if (delayed) showProgress_.start();
    });
    return save;
}

void QtRunWindow::setFrameEnabled(bool enabled) {
    onWindowThread([&] { frame_.setEnabled(enabled); });
}

void QtRunWindow::setStartEnabled(bool enabled) {
    onWindowThread([&] { start_.setEnabled(enabled); });
}

bool QtRunWindow::takeEndRequest() {
    return std::exchange(endRequested_, false);
}

}  // namespace ui
