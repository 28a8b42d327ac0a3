#pragma once

class QApplication;
class QFont;

namespace ui {

// The font both windows use: a CJK face, so that the Chinese texts render everywhere.
QFont windowFont();

// Gives the application the style and font the windows are laid out for. Call once, before the
// first window is created.
void installLook(QApplication& app);

}  // namespace ui
