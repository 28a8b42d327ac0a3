#pragma once

#include <QString>

#include "run/run_window.h"

class QAbstractButton;
class QMessageBox;
class QWidget;

namespace ui {

// A run's message box: the exclamation icon, the details the user can unfold, with room for the
// lines of a summary, and one "确定" button, the default. Returns that button.
QAbstractButton* setUpRunMessage(QMessageBox& box, const QString& informative, const QString& detailed);

// The completion box of a run, modal to owner. Besides "确定" it offers "打开结果", which opens the
// workbook holding the result with the desktop's default application, when the result was saved in
// one, and "撤销此次运行", which puts back the files the run stored, when their backup records them.
void showCompletionBox(QWidget& owner, const run::Completion& completion);

}  // namespace ui
