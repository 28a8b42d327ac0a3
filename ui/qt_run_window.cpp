#include "ui/qt_run_window.h"

#include <utility>

#include <QClipboard>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTextEdit>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace ui {

void QtClipboard::clear() {
    QGuiApplication::clipboard()->clear();
}

void QtClipboard::setText(const std::u16string& text) {
    QGuiApplication::clipboard()->setText(QString::fromStdU16String(text));
}

std::u16string QtClipboard::text() const {
    return QGuiApplication::clipboard()->text().toStdU16String();
}

QtRunWindow::QtRunWindow(QWidget& window, QWidget& frame, QWidget& start)
    : window_(window), frame_(frame), start_(start) {}

void QtRunWindow::showMessage(const std::u16string& text, const std::u16string& title) {
    showDetailedMessage(text, title, {}, {});
}

// Qt's box shows its own "显示详细信息..." button for a detailed text; the one OK button stays the
// box's only answer.
void QtRunWindow::showDetailedMessage(const std::u16string& text, const std::u16string& title,
                                      const std::u16string& informative, const std::u16string& detailed) {
    QMessageBox box(QMessageBox::Warning, QString::fromStdU16String(title), QString::fromStdU16String(text),
                    QMessageBox::NoButton, &window_);
    box.setObjectName(u"runMessage"_s);
    box.setInformativeText(QString::fromStdU16String(informative));
    box.setDetailedText(QString::fromStdU16String(detailed));
    // The box is as wide as its short text; the details need room for the lines of a summary.
    if (auto* details = box.findChild<QTextEdit*>(); details && !detailed.empty())
        details->setMinimumSize(details->fontMetrics().horizontalAdvance(u"中"_s) * 30,
                                details->fontMetrics().lineSpacing() * 12);
    QPushButton* ok = box.addButton(u"确定"_s, QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.exec();
}

bool QtRunWindow::askSaveChanges(const std::u16string& fileName) {
    QMessageBox box(QMessageBox::Question, u"Pellucor"_s,
                    u"是否保存对“%1”的更改？"_s.arg(QString::fromStdU16String(fileName)),
                    QMessageBox::NoButton, &window_);
    box.setObjectName(u"saveQuestion"_s);
    QPushButton* save = box.addButton(u"保存"_s, QMessageBox::AcceptRole);
    QPushButton* dontSave = box.addButton(u"不保存"_s, QMessageBox::DestructiveRole);
    box.setDefaultButton(save);
    // Closing the box leaves the file as it is on disk.
    box.setEscapeButton(dontSave);
    box.exec();
    return box.clickedButton() == save;
}

void QtRunWindow::setFrameEnabled(bool enabled) {
    frame_.setEnabled(enabled);
}

void QtRunWindow::setStartEnabled(bool enabled) {
    start_.setEnabled(enabled);
}

bool QtRunWindow::takeEndRequest() {
    return std::exchange(endRequested_, false);
}

}  // namespace ui
