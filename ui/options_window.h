#pragma once

#include <array>

#include <QDialog>

#include "run/run_options.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;

namespace ui {

// The options window, "选项": the run options, shown as given and taken back when the user accepts.
// Modal to the main window. Accepting refuses composite keys of different lengths.
class OptionsWindow : public QDialog {
    Q_OBJECT
public:
    OptionsWindow(const run::RunOptions& options, QWidget& owner);

    run::RunOptions options() const;
    void setOptions(const run::RunOptions& options);

    void accept() override;

private:
    QWidget* keyComparison();
    QWidget* moreValueColumns();
    QWidget* compositeKeys();
    QWidget* duplicateKeys();
    QWidget* unmatchedRows();

    QCheckBox* widthFolding_;
    QCheckBox* caseFolding_;
    QCheckBox* invisibleFolding_;
    QLineEdit* moreValueColumns_;
    std::array<QComboBox*, 2> moreParentKeyColumns_;
    std::array<QComboBox*, 2> moreChildKeyColumns_;
    QButtonGroup* duplicates_;
    QButtonGroup* unmatched_;
    QLineEdit* unmatchedText_;
};

// "D F H" for columns D, F and H; the letters of a text, each a column counted from 0, separators
// left aside.
QString columnListText(const std::vector<int>& columns);
std::vector<int> columnList(const QString& text);

}  // namespace ui
