#include "timed_sheets.h"

#include <malloc.h>
#include <unistd.h>

#include <fstream>
#include <string>

namespace bench {
namespace {

class Call {
public:
    Call(PhaseClock& clock, std::optional<Phase> phase) : clock_(clock), index_(clock.start(phase)) {}
    ~Call() { clock_.finish(index_); }
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;

private:
    PhaseClock& clock_;
    std::size_t index_;
};

constexpr std::optional<Phase> kContinue = std::nullopt;

class TimedWorksheet : public sheets::Worksheet {
public:
    TimedWorksheet(std::shared_ptr<sheets::Worksheet> inner, PhaseClock& clock)
        : inner_(std::move(inner)), clock_(clock) {}

    void willRead(const std::vector<int>& columns) override { inner_->willRead(columns); }
    std::int32_t usedRowCount() override {
        Call c(clock_, Phase::Count);
        return inner_->usedRowCount();
    }
    sheets::CellValue cell(std::int32_t row, int column) override {
        Call c(clock_, Phase::Collect);
        return inner_->cell(row, column);
    }
    std::vector<std::vector<sheets::CellValue>> columns(const std::vector<int>& columns,
                                                        std::int32_t rows) override {
        Call c(clock_, Phase::Collect);
        return inner_->columns(columns, rows);
    }
    void activate() override {
        Call c(clock_, Phase::Place);
        inner_->activate();
    }
    void select(const std::u16string& address) override {
        Call c(clock_, Phase::Place);
        inner_->select(address);
    }
    void apply(const sheets::SheetEdit& edit) override {
        Call c(clock_, Phase::Place);
        inner_->apply(edit);
    }

private:
    std::shared_ptr<sheets::Worksheet> inner_;
    PhaseClock& clock_;
};

class TimedWorkbook : public sheets::Workbook {
public:
    TimedWorkbook(std::shared_ptr<sheets::Workbook> inner, PhaseClock& clock)
        : inner_(std::move(inner)), clock_(clock) {}

    std::shared_ptr<sheets::Worksheet> worksheet(double index) override {
        Call c(clock_, kContinue);
        return std::make_shared<TimedWorksheet>(inner_->worksheet(index), clock_);
    }
    sheets::StoreReport close(std::optional<bool> saveChanges) override {
        Call c(clock_, Phase::Save);
        return inner_->close(saveChanges);
    }

private:
    std::shared_ptr<sheets::Workbook> inner_;
    PhaseClock& clock_;
};

class TimedApplication : public sheets::Application {
public:
    TimedApplication(std::unique_ptr<sheets::Application> inner, PhaseClock& clock, OfficeMemory& memory)
        : inner_(std::move(inner)), clock_(clock), memory_(memory) {}

    void setVisible(bool visible) override {
        Call c(clock_, kContinue);
        inner_->setVisible(visible);
    }
    std::shared_ptr<sheets::Workbook> open(const std::u16string& path) override {
        Call c(clock_, Phase::Open);
        return std::make_shared<TimedWorkbook>(inner_->open(path), clock_);
    }
    std::shared_ptr<sheets::Workbook> add() override {
        Call c(clock_, Phase::Place);
        return std::make_shared<TimedWorkbook>(inner_->add(), clock_);
    }
    std::shared_ptr<sheets::Worksheet> activeWorksheet(double index) override {
        Call c(clock_, kContinue);
        return std::make_shared<TimedWorksheet>(inner_->activeWorksheet(index), clock_);
    }
    void quit() override {
        Call c(clock_, Phase::Quit);
        memory_.peakKiB = peakKiB(sheets::calc::officeInfo(*inner_).officePid);
        inner_->quit();
    }

private:
    std::unique_ptr<sheets::Application> inner_;
    PhaseClock& clock_;
    OfficeMemory& memory_;
};

}  // namespace

const char* phaseName(Phase p) {
    static const char* const names[] = {"start", "open",  "count", "collect",
                                        "match", "place", "save",  "quit"};
    return names[static_cast<std::size_t>(p)];
}

void PhaseClock::begin() {
    calls_.clear();
    begin_ = end_ = Clock::now();
}

void PhaseClock::end() {
    end_ = Clock::now();
}

std::size_t PhaseClock::start(std::optional<Phase> phase) {
    const Phase p = phase ? *phase : calls_.empty() ? Phase::Start : calls_.back().phase;
    const auto now = Clock::now();
    calls_.push_back({p, now, now});
    return calls_.size() - 1;
}

void PhaseClock::finish(std::size_t call) {
    calls_[call].end = Clock::now();
}

Seconds PhaseClock::phases() const {
    Seconds s{};
    auto add = [&](Phase p, Clock::time_point from, Clock::time_point to) {
        s[static_cast<std::size_t>(p)] += std::chrono::duration<double>(to - from).count();
    };
    if (calls_.empty()) {
        add(Phase::Start, begin_, end_);
        return s;
    }
    add(Phase::Start, begin_, calls_.front().start);
    for (std::size_t i = 0; i < calls_.size(); ++i) {
        const Call& c = calls_[i];
        const bool last = i + 1 == calls_.size();
        const auto next = last ? end_ : calls_[i + 1].start;
        if (!last && c.phase == Phase::Collect && calls_[i + 1].phase == Phase::Place) {
            add(Phase::Collect, c.start, c.end);
            add(Phase::Match, c.end, next);
        } else {
            add(c.phase, c.start, next);
        }
    }
    return s;
}

double PhaseClock::total() const {
    return std::chrono::duration<double>(end_ - begin_).count();
}

std::unique_ptr<sheets::Application> TimedFactory::create(sheets::Desktop& desktop,
                                                          const sheets::RunFiles& files) {
    Call c(clock_, Phase::Start);
    auto app = inner_.create(desktop, files);
    lastOffice_ = sheets::calc::officeInfo(*app);
    return std::make_unique<TimedApplication>(std::move(app), clock_, memory_);
}

std::int64_t peakKiB(pid_t pid) {
    if (pid <= 0) return -1;
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmHWM:")) return std::stoll(line.substr(6));
    return -1;
}

void resetOwnPeak() {
    malloc_trim(0);
    // 5 resets the peak resident set size of the process to its current size.
    std::ofstream("/proc/self/clear_refs") << "5";
}

}  // namespace bench
