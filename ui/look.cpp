#include "ui/look.h"

#include <algorithm>

#include <QApplication>
#include <QFont>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOptionComboBox>

namespace ui {

namespace {

// Fusion with a narrower drop-down arrow: the lists of the main window are as narrow as a person's
// own layout made them, and Fusion's wide arrow would clip their entries.
class WindowStyle : public QProxyStyle {
public:
    WindowStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl part,
                         const QWidget* widget) const override {
        const auto* combo = qstyleoption_cast<const QStyleOptionComboBox*>(option);
        if (control != CC_ComboBox || !combo || combo->editable ||
            (part != SC_ComboBoxArrow && part != SC_ComboBoxEditField))
            return QProxyStyle::subControlRect(control, option, part, widget);
        const QRect r = option->rect;
        const int arrow = std::max(13, combo->fontMetrics.height() * 3 / 4);
        const QRect rect = part == SC_ComboBoxArrow
                               ? QRect(r.right() - arrow, r.top(), arrow, r.height())
                               : QRect(r.left() + 4, r.top() + 2, r.width() - arrow - 5, r.height() - 4);
        return visualRect(option->direction, r, rect);
    }
};

}  // namespace

QFont windowFont() {
    QFont font(QStringLiteral("WenQuanYi Micro Hei"), 9);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

void installLook(QApplication& app) {
    // The windows place every control at a fixed position; one style everywhere keeps them fitting.
    app.setStyle(new WindowStyle);
    app.setFont(windowFont());
}

}  // namespace ui
