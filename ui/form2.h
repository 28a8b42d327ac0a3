#pragma once

#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace ui {

// The help window: the help text and the credits. A top-level window of its own, deleted when it is
// closed, so that the next showing starts afresh.
class Form2 : public QWidget {
    Q_OBJECT
public:
    explicit Form2(QWidget* parent = nullptr);

private:
    QPlainTextEdit* helpText_;  // Text1
    QLabel* contactLabel_;      // Label1
    QLabel* dateLabel_;         // Label2
    QLabel* makerLabel_;        // Label3
    QPushButton* okButton_;     // Command1
};

}  // namespace ui
