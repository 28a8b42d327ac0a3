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

// A clipboard of the program's own, for runs with no desktop in front of them.
class TextClipboard : public Clipboard {
public:
    void clear() override { text_.clear(); }
    void setText(const std::u16string& text) override { text_ = text; }
    std::u16string text() const override { return text_; }

private:
    std::u16string text_;
};

}  // namespace sheets
