#include "cli/terminal_window.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <iostream>

#include <unistd.h>

#include "run/run_texts.h"
#include "sheets/utf8.h"

namespace cli {
namespace {

std::atomic<bool> interruptedFlag = false;

// Said once: the run stops at its next safe point, which can take a moment.
extern "C" void onInterrupt(int) {
    if (interruptedFlag.exchange(true)) return;
    static const char kCancelling[] = "\npellucor: 正在取消…\n";
    [[maybe_unused]] const auto written = ::write(STDERR_FILENO, kCancelling, sizeof kCancelling - 1);
}

// "读取父表 [##########..........] 1200/2400"
std::string progressLine(run::Phase phase, std::int64_t done, std::int64_t total) {
    std::string line = sheets::toUtf8(run::phaseText(phase));
    if (total <= 0) return line;
    constexpr int kWidth = 30;
    const auto filled = static_cast<int>(std::min<std::int64_t>(done, total) * kWidth / total);
    line += " [" + std::string(filled, '#') + std::string(kWidth - filled, '.') + "] ";
    return line + std::to_string(done) + "/" + std::to_string(total);
}

}  // namespace

void cancelOnInterrupt() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool interrupted() {
    return interruptedFlag;
}

void TerminalWindow::showMessage(const std::u16string& text, const std::u16string& title) {
    showDetailedMessage(text, title, u"", u"");
}

void TerminalWindow::showDetailedMessage(const std::u16string& text, const std::u16string&,
                                         const std::u16string& informative, const std::u16string& detailed) {
    message_ = text;
    detail_ = informative.empty() ? detailed : informative + u"\n" + detailed;
}

// Drawn at most ten times a second, and whenever the phase changes.
void TerminalWindow::progress(run::Phase phase, std::int64_t done, std::int64_t total) {
    if (!showProgress_) return;
    const auto now = std::chrono::steady_clock::now();
    if (phase_ == phase && now - lastDrawn_ < std::chrono::milliseconds(100)) return;
    phase_ = phase;
    lastDrawn_ = now;
    std::cerr << "\r\033[K" << progressLine(phase, done, total) << std::flush;
    drawn_ = true;
}

void TerminalWindow::clearProgress() {
    if (drawn_) std::cerr << "\r\033[K" << std::flush;
    drawn_ = false;
    phase_.reset();
}

void TerminalWindow::escaped(const std::string& what) {
    std::cerr << "pellucor: run failed: " << what << '\n';
    message_ = std::u16string(run::kFailureText);
    detail_.clear();
}

// A run that stores nothing it was asked to store has not done its work: a result that could not
// be saved fails the child as a failed step does.
ChildOutcome TerminalWindow::take(const std::string& child) {
    clearProgress();
    ChildOutcome out{child, ChildOutcome::State::Failed, std::move(completion_), std::move(message_),
                     std::move(detail_)};
    completion_.reset();
    message_.clear();
    detail_.clear();
    if (out.completion && !out.completion->resultFile.empty())
        out.state = ChildOutcome::State::Done;
    else if (!out.completion && out.message.empty() && interrupted())
        out.state = ChildOutcome::State::Cancelled;
    else if (out.completion && out.message.empty())
        out.message = out.completion->informative.empty() ? u"结果未能保存" : out.completion->informative;
    return out;
}

}  // namespace cli
