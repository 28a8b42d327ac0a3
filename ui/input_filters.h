#pragma once

#include <QLineEdit>
#include <QString>
#include <QValidator>

namespace ui {

// A sheet number box keeps a number without a decimal point: after every change, typed or set by
// the program, a text that is not numeric or contains "." becomes "1" with the caret at its end.
void attachSheetNumberFilter(QLineEdit& box);

// A line edit that selects its whole text when it gets the focus, also when the focus came with a
// mouse click (whose press would otherwise put the caret at the click).
class SelectAllLineEdit : public QLineEdit {
    Q_OBJECT
public:
    using QLineEdit::QLineEdit;

protected:
    void focusInEvent(QFocusEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool selectOnRelease_ = false;
};

// The characters a key condition may be typed with: digits, "*" and "?".
bool isConditionCharacter(QChar c);

// Filters what the user enters into a key condition box, typed or pasted alike: of the characters
// an edit inserts, only condition characters are kept. Text the program sets with setText() is left
// as it is, and so is the text already in the box.
class ConditionValidator : public QValidator {
    Q_OBJECT
public:
    // Installs itself on the box, which owns it.
    explicit ConditionValidator(QLineEdit& box);

    State validate(QString& input, int& pos) const override;

private:
    QLineEdit& box_;
    QString accepted_;  // the box's text before the edit being validated
};

}  // namespace ui
