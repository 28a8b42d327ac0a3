#pragma once
// Timing decorators over the spreadsheet interface: every call is recorded with the phase of a run
// it belongs to, and the phases are read off the timeline afterwards.

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "run/run_window.h"
#include "sheets/application.h"
#include "sheets/calc/calc_application.h"

namespace bench {

enum class Phase { Start, Open, Count, Collect, Match, Place, Save, Quit };
constexpr std::size_t kPhaseCount = 8;
const char* phaseName(Phase p);

using Seconds = std::array<double, kPhaseCount>;

// A timeline of interface calls. The time from one call's start to the next call's start belongs to
// the first call's phase, so that the work a run does in memory after a call (turning cells into
// keys, say) counts with that call; the phases add up to the total. Two exceptions: the time after
// the last collect call before the first place call is the match, and calls marked as continuing
// (taking a sheet, showing or hiding the application) take the phase of the call before them.
class PhaseClock {
public:
    void begin();
    void end();
    // Records a call; returns its index for finish().
    std::size_t start(std::optional<Phase> phase);
    void finish(std::size_t call);

    Seconds phases() const;
    double total() const;

private:
    using Clock = std::chrono::steady_clock;
    struct Call {
        Phase phase;
        Clock::time_point start, end;
    };
    Clock::time_point begin_, end_;
    std::vector<Call> calls_;
};

// What the office process used at its peak, read just before each application quits.
struct OfficeMemory {
    std::int64_t peakKiB = -1;
};

// Wraps a factory; the applications it creates record into clock and memory.
class TimedFactory : public sheets::ApplicationFactory {
public:
    TimedFactory(sheets::ApplicationFactory& inner, PhaseClock& clock, OfficeMemory& memory)
        : inner_(inner), clock_(clock), memory_(memory) {}
    std::unique_ptr<sheets::Application> create(sheets::Desktop& desktop,
                                                const sheets::RunFiles& files = {}) override;

    // The office of the last application created, while it lives.
    sheets::calc::OfficeInfo lastOffice() const { return lastOffice_; }

private:
    sheets::ApplicationFactory& inner_;
    PhaseClock& clock_;
    OfficeMemory& memory_;
    sheets::calc::OfficeInfo lastOffice_;
};

// A run window with nobody in front of it: an in-memory clipboard, messages kept for the report.
class HeadlessWindow : public run::RunWindow {
public:
    sheets::Clipboard& clipboard() override { return clipboard_; }
    bool askSaveChanges(const std::u16string&) override {
        asked = true;
        return false;
    }
    void showMessage(const std::u16string& text, const std::u16string&) override { messages.push_back(text); }
    void setFrameEnabled(bool) override {}
    void setStartEnabled(bool) override {}
    void endProgram() override { ended = true; }
    void progress(run::Phase phase, std::int64_t, std::int64_t) override {
        reports.push_back({phase, std::chrono::steady_clock::now()});
    }

    struct Report {
        run::Phase phase;
        std::chrono::steady_clock::time_point at;
    };
    std::vector<Report> reports;
    std::vector<std::u16string> messages;
    bool asked = false;
    bool ended = false;

private:
    sheets::TextClipboard clipboard_;
};

// Peak resident memory of a process in KiB (VmHWM), -1 when unknown.
std::int64_t peakKiB(pid_t pid);
// Resets this program's peak to what it uses now.
void resetOwnPeak();

}  // namespace bench
