#include "ui/run_history_window.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "run/undo_texts.h"
#include "ui/completion_box.h"
#include "ui/look.h"

using namespace Qt::StringLiterals;

namespace ui {

void undoAndTell(QWidget& owner, const sheets::RecordedRun& run, const std::filesystem::path& root) {
    const run::UndoMessage message = run::undoMessage(sheets::undoRun(run, root));
    QMessageBox box(QMessageBox::Warning, u"撤销"_s, QString::fromStdU16String(message.text),
                    QMessageBox::NoButton, &owner);
    box.setObjectName(u"undoMessage"_s);
    setUpRunMessage(box, {}, QString::fromStdU16String(message.detailed));
    box.exec();
}

RunHistoryWindow::RunHistoryWindow(QWidget& owner, std::filesystem::path root)
    : QDialog(&owner), root_(std::move(root)) {
    setObjectName(u"runHistoryWindow"_s);
    setWindowTitle(u"运行记录"_s);
    setFont(windowFont());
    auto* layout = new QVBoxLayout(this);
    list_ = new QTreeWidget;
    list_->setObjectName(u"runList"_s);
    list_->setHeaderLabels({u"时间"_s, u"保存过的文件"_s, u"结果列"_s, u"状态"_s});
    list_->setRootIsDecorated(false);
    list_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    layout->addWidget(list_);
    auto* buttons = new QDialogButtonBox;
    undo_ = buttons->addButton(u"撤销所选运行"_s, QDialogButtonBox::ActionRole);
    undo_->setObjectName(u"undoRun"_s);
    QPushButton* close = buttons->addButton(u"关闭"_s, QDialogButtonBox::RejectRole);
    close->setObjectName(u"close"_s);
    layout->addWidget(buttons);
    connect(undo_, &QPushButton::clicked, this, &RunHistoryWindow::undoChosen);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(list_, &QTreeWidget::currentItemChanged, this, [this] {
        const int row = list_->currentIndex().row();
        undo_->setEnabled(row >= 0 && !runs_[static_cast<std::size_t>(row)].undone);
    });
    showRuns();
    resize(list_->fontMetrics().horizontalAdvance(u"中"_s) * 60, list_->fontMetrics().lineSpacing() * 18);
}

void RunHistoryWindow::showRuns() {
    runs_ = sheets::recordedRuns(root_);
    list_->clear();
    for (const auto& run : runs_) {
        const run::RunEntry e = run::runEntry(run);
        list_->addTopLevelItem(
            new QTreeWidgetItem({QString::fromStdU16String(e.time), QString::fromStdU16String(e.files),
                                 QString::fromStdU16String(e.results), QString::fromStdU16String(e.state)}));
    }
    if (list_->topLevelItemCount() > 0) list_->setCurrentItem(list_->topLevelItem(0));
    undo_->setEnabled(!runs_.empty() && !runs_.front().undone);
}

void RunHistoryWindow::undoChosen() {
    const int row = list_->currentIndex().row();
    if (row < 0) return;
    undoAndTell(*this, runs_[static_cast<std::size_t>(row)], root_);
    showRuns();
}

}  // namespace ui
