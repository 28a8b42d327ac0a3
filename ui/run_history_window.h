#pragma once

#include <filesystem>
#include <vector>

#include <QDialog>

#include "sheets/run_history.h"

class QPushButton;
class QTreeWidget;

namespace ui {

// Puts back the files of a recorded run and tells the user what became of each, in a box modal to
// owner. The files as they were before are kept under root, as a run that can be undone in turn.
void undoAndTell(QWidget& owner, const sheets::RecordedRun& run,
                 const std::filesystem::path& root = sheets::backupRoot());

// "运行记录": the recent runs that stored files, newest first, by time, files, result columns and
// state; "撤销所选运行" undoes the chosen one. Modal to the main window.
class RunHistoryWindow : public QDialog {
    Q_OBJECT
public:
    explicit RunHistoryWindow(QWidget& owner, std::filesystem::path root = sheets::backupRoot());

private:
    void showRuns();
    void undoChosen();

    std::filesystem::path root_;
    std::vector<sheets::RecordedRun> runs_;
    QTreeWidget* list_;
    QPushButton* undo_;
};

}  // namespace ui
