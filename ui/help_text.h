#pragma once

#include <string_view>

namespace ui {

// The text of the help window: the inputs of the main window and the condition language.
std::u16string_view helpText();

}  // namespace ui
