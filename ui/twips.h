#pragma once

#include <QRect>

namespace ui {

// Window geometry is given in twips (1/1440 inch). Edges are converted, not sizes, so that controls
// that touch in twips touch in pixels too.
constexpr int twipsToPixels(int twips, int dpi) {
    return (twips * dpi + 720) / 1440;
}

// A rectangle given by its left, top, width and height in twips of the window, placed in a container
// whose own top-left corner lies at (originLeft, originTop) twips of the window.
inline QRect twipsRect(int left, int top, int width, int height, int dpi, int originLeft = 0,
                       int originTop = 0) {
    const int x0 = twipsToPixels(left, dpi);
    const int y0 = twipsToPixels(top, dpi);
    const int x1 = twipsToPixels(left + width, dpi);
    const int y1 = twipsToPixels(top + height, dpi);
    const QPoint origin(twipsToPixels(originLeft, dpi), twipsToPixels(originTop, dpi));
    return QRect(QPoint(x0, y0) - origin, QSize(x1 - x0, y1 - y0));
}

}  // namespace ui
