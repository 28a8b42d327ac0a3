#pragma once

#include <string>

namespace sheets {

// The system clipboard, as far as a run needs it: plain text only.
class Clipboard {
public:
    virtual ~Clipboard() = default;
    virtual void clear() = 0;
    virtual void setText(const std::u16string& text) = 0;
    virtual std::u16string text() const = 0;
};

}  // namespace sheets
