#pragma once

#include <string>
#include <utility>
#include <vector>

#include "memory_sheets.h"
#include "run/run_window.h"

namespace run {

// Records what a run does to the window.
class FakeRunWindow : public RunWindow {
public:
    struct Message {
        std::u16string text;
        std::u16string title;
        bool operator==(const Message&) const = default;
    };

    void showMessage(const std::u16string& text, const std::u16string& title) override {
        messages.push_back({text, title});
        events.push_back("message");
    }
    void setFrameEnabled(bool enabled) override { events.push_back(enabled ? "Frame1 on" : "Frame1 off"); }
    void setStartEnabled(bool enabled) override {
        events.push_back(enabled ? "Command1 on" : "Command1 off");
    }
    void endProgram() override {
        ended = true;
        events.push_back("end");
    }
    sheets::Clipboard& clipboard() override { return clip; }
    bool askSaveChanges(const std::u16string& fileName) override {
        asked.push_back(fileName);
        return answerSave;
    }

    std::vector<Message> messages;
    std::vector<std::string> events;
    std::vector<std::u16string> asked;
    bool answerSave = true;
    bool ended = false;
    memory::MemoryClipboard clip;
};

}  // namespace run
