#include "ui/input_filters.h"

#include <algorithm>

#include <QFocusEvent>
#include <QMouseEvent>

#include "run/vb_text.h"

namespace ui {

void attachSheetNumberFilter(QLineEdit& box) {
    QObject::connect(&box, &QLineEdit::textChanged, &box, [&box](const QString& text) {
        // Setting the text raises this handler again, which then finds "1" and leaves it.
        if (!run::isNumeric(text.toStdU16String())) {
            box.setText(QStringLiteral("1"));
            box.setCursorPosition(box.text().size());
        }
        if (box.text().contains(u'.')) {
            box.setText(QStringLiteral("1"));
            box.setCursorPosition(box.text().size());
        }
    });
}

void SelectAllLineEdit::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    selectAll();
    selectOnRelease_ = event->reason() == Qt::MouseFocusReason;
}

void SelectAllLineEdit::mouseReleaseEvent(QMouseEvent* event) {
    QLineEdit::mouseReleaseEvent(event);
    if (selectOnRelease_) {
        selectOnRelease_ = false;
        selectAll();
    }
}

bool isConditionCharacter(QChar c) {
    return (c >= u'0' && c <= u'9') || c == u'*' || c == u'?';
}

ConditionValidator::ConditionValidator(QLineEdit& box) : QValidator(&box), box_(box), accepted_(box.text()) {
    connect(&box, &QLineEdit::textChanged, this, [this](const QString& text) { accepted_ = text; });
    box.setValidator(this);
}

QValidator::State ConditionValidator::validate(QString& input, int& pos) const {
    // QLineEdit::setText() clears the undo history before it validates, while every edit of the
    // user (typing, pasting, dropping, input methods) has pushed an undo step by then. A box without
    // undo steps is therefore showing text set by the program.
    if (!box_.isUndoAvailable()) return Acceptable;

    // The edit replaced a middle part of the accepted text; the caret stands behind what it inserted.
    const QString& before = accepted_;
    qsizetype suffix = input.size() - pos;
    if (pos < 0 || suffix < 0 || suffix > before.size() || !before.endsWith(QStringView(input).sliced(pos))) {
        // Not the usual shape of an edit: keep the longest common ends.
        suffix = 0;
        while (suffix < before.size() && suffix < input.size() &&
               before[before.size() - 1 - suffix] == input[input.size() - 1 - suffix])
            ++suffix;
    }
    qsizetype prefix = 0;
    const qsizetype maxPrefix = std::min(input.size(), before.size()) - suffix;
    while (prefix < maxPrefix && before[prefix] == input[prefix]) ++prefix;

    const qsizetype insertedEnd = input.size() - suffix;
    QString kept;
    for (qsizetype i = prefix; i < insertedEnd; ++i)
        if (isConditionCharacter(input[i])) kept += input[i];
    if (kept.size() == insertedEnd - prefix) return Acceptable;

    if (kept.isEmpty()) {
        // Nothing the user entered passes: the keystroke is dropped as a whole, and with it the
        // removal of a selection it would have replaced.
        input = before;
        pos = int(std::min(prefix, before.size()));
        return Acceptable;
    }
    input = input.left(prefix) + kept + input.right(suffix);
    pos = int(prefix + kept.size());
    return Acceptable;
}

}  // namespace ui
