#include "ui/completion_box.h"

#include <optional>

#include <QDesktopServices>
#include <QMessageBox>
#include <QPushButton>
#include <QTextEdit>
#include <QUrl>

#include "sheets/run_history.h"
#include "sheets/utf8.h"
#include "ui/run_history_window.h"

using namespace Qt::StringLiterals;

namespace ui {
namespace {

// The run whose backup folder holds all the copies the run made.
std::optional<sheets::RecordedRun> recordedRunOf(const run::Completion& c) {
    if (c.backups.empty()) return std::nullopt;
    auto run = sheets::runOfBackup(sheets::toUtf8(c.backups.front()));
    if (run && run->files.size() < c.backups.size()) return std::nullopt;
    return run;
}

void openResult(QWidget& owner, const std::u16string& file) {
    const QString path = QString::fromStdU16String(file);
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(path))) return;
    QMessageBox box(QMessageBox::Warning, u"提示"_s, u"无法打开 %1：没有找到打开这种工作簿的程序"_s.arg(path),
                    QMessageBox::NoButton, &owner);
    setUpRunMessage(box, {}, {});
    box.exec();
}

}  // namespace

QAbstractButton* setUpRunMessage(QMessageBox& box, const QString& informative, const QString& detailed) {
    box.setIcon(QMessageBox::Warning);
    box.setInformativeText(informative);
    box.setDetailedText(detailed);
    // The box is as wide as its short text; the details need room for the lines of a summary.
    if (auto* details = box.findChild<QTextEdit*>(); details && !detailed.isEmpty())
        details->setMinimumSize(details->fontMetrics().horizontalAdvance(u"中"_s) * 30,
                                details->fontMetrics().lineSpacing() * 12);
    QPushButton* ok = box.addButton(u"确定"_s, QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    return ok;
}

void showCompletionBox(QWidget& owner, const run::Completion& c) {
    QMessageBox box(QMessageBox::Warning, QString::fromStdU16String(c.title),
                    QString::fromStdU16String(c.text), QMessageBox::NoButton, &owner);
    box.setObjectName(u"runMessage"_s);
    QPushButton* open = nullptr;
    QPushButton* undo = nullptr;
    if (!c.resultFile.empty()) {
        open = box.addButton(u"打开结果"_s, QMessageBox::ActionRole);
        open->setObjectName(u"openResult"_s);
    }
    const auto run = recordedRunOf(c);
    if (run) {
        undo = box.addButton(u"撤销此次运行"_s, QMessageBox::ActionRole);
        undo->setObjectName(u"undoRun"_s);
    }
    setUpRunMessage(box, QString::fromStdU16String(c.informative), QString::fromStdU16String(c.detailed));
    box.exec();
    if (open && box.clickedButton() == open) openResult(owner, c.resultFile);
    if (undo && box.clickedButton() == undo) undoAndTell(owner, *run);
}

}  // namespace ui
