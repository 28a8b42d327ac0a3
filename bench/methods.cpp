#include "methods.h"

#include <signal.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <exception>
#include <filesystem>
#include <iostream>
#include <limits>
#include <mutex>
#include <sstream>
#include <thread>

#include "cell_reader.h"
#include "run/lookup_run.h"
#include "run/matching.h"
#include "run/tests/plain_scan.h"
#include "run/vb_text.h"
#include "sheets/calc/calc_application.h"
#include "sheets/choosing_factory.h"
#include "sheets/direct/direct_application.h"
#include "sheets/utf8.h"
#include "vlookup_column.h"

namespace bench {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

std::u16string u16(const std::string& s) {
    return sheets::fromUtf8(s);
}

std::string formatOf(const std::string& path) {
    return fs::path(path).extension().string().substr(1);
}

// Fresh copies of the generated files, since the child is saved.
TableFiles copies(const TableFiles& f, const std::string& method) {
    fs::create_directories(f.workDir);
    TableFiles c = f;
    const auto name = [&](const std::string& p) {
        return (fs::path(f.workDir) / (method + "-" + fs::path(p).filename().string())).string();
    };
    c.parent = name(f.parent);
    c.child = name(f.child);
    fs::copy_file(f.parent, c.parent, fs::copy_options::overwrite_existing);
    fs::copy_file(f.child, c.child, fs::copy_options::overwrite_existing);
    return c;
}

Measurement measurement(const std::string& method, const TableFiles& f) {
    Measurement m;
    m.method = method;
    m.rows = f.rows;
    m.format = formatOf(f.child);
    return m;
}

void record(Measurement& m, const PhaseClock& clock, const OfficeMemory& office) {
    m.phases = clock.phases();
    m.total = clock.total();
    m.programPeakKiB = peakKiB(::getpid());
    m.officePeakKiB = office.peakKiB;
}

void blank(Measurement& m, std::initializer_list<Phase> absent) {
    for (Phase p : absent) m.phases[static_cast<std::size_t>(p)] = kNone;
}

std::string utf8Message(const std::u16string& s) {
    std::string out;
    for (char16_t c : s) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// Kills an office that is still busy when the time is up; a killed office makes the pending
// request fail.
class Watchdog {
public:
    Watchdog(pid_t office, double seconds)
        : thread_([this, office, seconds] {
              std::unique_lock lock(mutex_);
              if (!done_.wait_for(lock, std::chrono::duration<double>(seconds), [this] { return stop_; })) {
                  fired_ = true;
                  ::kill(office, SIGKILL);
              }
          }) {}
    ~Watchdog() { stop(); }
    void stop() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        done_.notify_all();
        if (thread_.joinable()) thread_.join();
    }
    bool fired() const { return fired_; }

private:
    std::mutex mutex_;
    std::condition_variable done_;
    bool stop_ = false;
    bool fired_ = false;
    std::thread thread_;
};

// What every method measures with: a clock over the phases, the office's memory, a window with
// nobody in front of it and a headless Calc factory whose calls are timed. Constructing it resets the
// program's peak memory and starts the clock.
struct Timed {
    Timed() {
        resetOwnPeak();
        clock.begin();
    }
    void finish(Measurement& m) {
        clock.end();
        record(m, clock, office);
    }
    PhaseClock clock;
    OfficeMemory office;
    HeadlessWindow window;
    sheets::calc::CalcApplicationFactory calc;
    TimedFactory factory{calc, clock, office};
    // The program's own choice: the packages themselves for .xlsx tables, the office for the rest.
    sheets::direct::DirectApplicationFactory packages;
    sheets::ChoosingFactory choosing{packages, calc};
    TimedFactory chosen{choosing, clock, office};
};

bool packageFile(const std::string& path) {
    return fs::path(path).extension() == ".xlsx";
}

}  // namespace

Measurement pellucorRun(const TableFiles& files, bool furtherMatching, bool throughOffice) {
    const bool packages = !throughOffice && packageFile(files.child);
    Measurement m =
        measurement(std::string(furtherMatching ? "Pellucor, further matching" : "Pellucor, lookup") +
                        (packages ? " (packages)" : " (office)"),
                    files);
    const TableFiles f =
        copies(files, std::string(furtherMatching ? "further" : "lookup") + (packages ? "-packages" : ""));

    run::RunInputs in;
    in.parentPath = u16(f.parent);
    in.parentSheet = u"1";
    in.childPath = u16(f.child);
    in.childSheet = u"1";
    in.valueColumn = furtherMatching ? 1 : 2;  // B, or the parent's dates in C, each with its format
    in.matching = furtherMatching ? run::Matching::FurtherMatching : run::Matching::LookupAsResult;
    in.valueTest = run::ValueTest::Agree;
    in.whose = furtherMatching ? run::Whose::Both : run::Whose::Parent;
    in.placement = run::Placement::IntoChildSheet;
    in.childTargetColumn = 2;
    in.childTargetLetter = u"C";

    run::KeyCondition condition;
    Timed t;
    run::lookupRun(in, condition, t.window, throughOffice ? t.factory : t.chosen);
    auto& window = t.window;
    const auto end = std::chrono::steady_clock::now();
    t.finish(m);
    m.longestReportGap.fill(std::nan(""));
    for (std::size_t i = 0; i < window.reports.size(); ++i) {
        const auto p = static_cast<std::size_t>(window.reports[i].phase);
        const auto next = i + 1 < window.reports.size() ? window.reports[i + 1].at : end;
        const double gap = std::chrono::duration<double>(next - window.reports[i].at).count();
        ++m.reports[p];
        if (std::isnan(m.longestReportGap[p]) || gap > m.longestReportGap[p]) m.longestReportGap[p] = gap;
    }
    if (window.messages.empty() || window.messages.back() != u"操作完成!") {
        m.finished = false;
        m.note = "the run did not complete: " +
                 (window.messages.empty() ? std::string("no message") : utf8Message(window.messages.back()));
    }
    return m;
}

Measurement officeAlone(const TableFiles& files) {
    Measurement m = measurement("office alone: open, insert, save", files);
    const TableFiles f = copies(files, "office");
    Timed t;
    try {
        auto app = t.factory.create(t.window);
        auto parent = app->open(u16(f.parent));
        parent->worksheet(1);
        auto child = app->open(u16(f.child));
        child->worksheet(1)->apply({3, 1, 3, {}});
        parent->close(true);
        child->close(true);
        app->quit();
    } catch (const std::exception& e) {
        m.finished = false;
        m.note = e.what();
    }
    t.finish(m);
    blank(m, {Phase::Count, Phase::Collect, Phase::Match});
    return m;
}

namespace {

// The straightforward method: every key and value read cell by cell, until a deadline.
class PerCellScan {
public:
    PerCellScan(Timed& t, bool plain, double limitSeconds)
        : t_(t),
          plain_(plain),
          deadline_(Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                       std::chrono::duration<double>(limitSeconds))) {}

    // Reads both tables and, when that finished in time, places the result as a run does.
    bool run(const TableFiles& f) {
        app_ = t_.factory.create(t_.window);
        app_->setVisible(false);
        const auto readFrom = Clock::now();
        bool finished = readTable(parent_, f.parent, parentKeys_, &parentValues_) &&
                        readTable(child_, f.child, childKeys_, nullptr);
        readSeconds = std::chrono::duration<double>(Clock::now() - readFrom).count();
        finished ? place() : closeUnsaved();
        app_->quit();
        return finished;
    }

    std::int64_t cellsRead = 0;
    double readSeconds = 0;

private:
    struct Table {
        std::shared_ptr<sheets::Workbook> book;
        std::shared_ptr<sheets::Worksheet> sheet;
    };

    // A cell that cannot be turned into text stays empty.
    std::u16string text(sheets::Worksheet& sheet, std::int32_t row, int column) {
        ++cellsRead;
        try {
            if (!plain_) return sheet.cell(row, column).toText();
            const auto call = t_.clock.start(Phase::Collect);
            sheets::CellValue v = reader_(row, column);
            t_.clock.finish(call);
            return v.toText();
        } catch (const std::exception&) {
            return {};
        }
    }

    bool readTable(Table& table, const std::string& path, std::vector<std::u16string>& keys,
                   std::vector<std::u16string>* values) {
        table.book = app_->open(u16(path));
        table.sheet = table.book->worksheet(1);
        if (plain_) reader_ = cellReader(t_.factory.lastOffice().pipeName, fs::canonical(path).string(), 1);
        const std::int32_t rows = table.sheet->usedRowCount();
        keys.assign(static_cast<std::size_t>(rows), {});
        if (values) values->assign(static_cast<std::size_t>(rows), {});
        for (std::int32_t r = 1; r <= rows; ++r) {
            keys[r - 1] = run::trim(text(*table.sheet, r, 1));
            if (values) (*values)[r - 1] = text(*table.sheet, r, 2);
            if (r % 64 == 0 && Clock::now() > deadline_) return false;
        }
        return true;
    }

    void place() {
        std::vector<sheets::CellValue> parentCells;
        for (const auto& v : parentValues_) parentCells.push_back(sheets::CellValue::text(v));
        const run::MatchTables tables{parentKeys_, parentValues_, childKeys_, {}, parentCells, {}};
        const sheets::CellRows result =
            run::resultRows(tables, run::plain_scan::lookupRows(tables), run::Whose::Parent);
        auto& sheet = *child_.sheet;
        app_->setVisible(false);
        sheet.activate();
        t_.window.clipboard().clear();
        t_.window.clipboard().setText(run::resultText(result));
        sheet.select(u"C1");
        sheet.apply({3, 1, 3, result});
        t_.window.clipboard().clear();
        parent_.book->close(true);
        child_.book->close(true);
    }

    void closeUnsaved() {
        for (Table* table : {&parent_, &child_})
            if (table->book) table->book->close(false);
    }

    Timed& t_;
    const bool plain_;
    const Clock::time_point deadline_;
    std::unique_ptr<sheets::Application> app_;
    CellReader reader_;
    Table parent_, child_;
    std::vector<std::u16string> parentKeys_, parentValues_, childKeys_;
};

// A run stopped at its deadline: the total estimated from the cells read so far.
void estimate(Measurement& m, const TableFiles& files, const PerCellScan& scan, double limitSeconds) {
    // Parent keys and values and the child keys: three cells per row.
    const double all = 3.0 * files.rows;
    const double total =
        m.total - scan.readSeconds + scan.readSeconds * all / static_cast<double>(scan.cellsRead);
    std::ostringstream os;
    os.precision(0);
    os << std::fixed << "did not finish in " << limitSeconds << " s: " << scan.cellsRead << " of " << all
       << " cells read; about " << total << " s in all";
    m.note = os.str();
    m.phases.fill(kNone);
    m.total = total;
    m.estimated = true;
}

}  // namespace

Measurement perCellRun(const TableFiles& files, CellReads reads, double limitSeconds) {
    const bool plain = reads == CellReads::PlainUno;
    Measurement m = measurement(
        plain ? "per cell (plain UNO), top-down scan" : "per cell (Worksheet::cell), top-down scan", files);
    const TableFiles f = copies(files, plain ? "plaincell" : "percell");
    Timed t;
    PerCellScan scan(t, plain, limitSeconds);
    try {
        m.finished = scan.run(f);
    } catch (const std::exception& e) {
        m.finished = false;
        m.note = e.what();
    }
    t.finish(m);
    if (!m.finished && m.note.empty()) estimate(m, files, scan, limitSeconds);
    return m;
}

namespace {

// Fills the VLOOKUP column, ending the office after limitSeconds; false when it had to.
bool fillInTime(const sheets::calc::OfficeInfo& office, const VlookupJob& job, double limitSeconds,
                VlookupTimes& times) {
    Watchdog watchdog(office.officePid, limitSeconds);
    try {
        times = fillVlookupColumn(office.pipeName, job);
    } catch (const std::exception&) {
        watchdog.stop();
        if (!watchdog.fired()) throw;
    }
    watchdog.stop();
    return !watchdog.fired();
}

// Start and quit come from the clock, the stages in between from the office work.
void vlookupPhases(Measurement& m, const VlookupTimes& times, double limitSeconds) {
    const Seconds byCalls = m.phases;
    const auto at = [](Phase p) { return static_cast<std::size_t>(p); };
    m.phases.fill(kNone);
    if (!m.finished) {
        m.total = limitSeconds;
        return;
    }
    m.phases[at(Phase::Start)] =
        byCalls[at(Phase::Start)] - (times.open + times.copy + times.fill + times.calculate + times.save);
    m.phases[at(Phase::Open)] = times.open;
    m.phases[at(Phase::Place)] = times.copy + times.fill;
    m.phases[at(Phase::Match)] = times.calculate;
    m.phases[at(Phase::Save)] = times.save;
    m.phases[at(Phase::Quit)] = byCalls[at(Phase::Quit)];
}

}  // namespace

Measurement vlookupColumn(const TableFiles& files, bool copyParentSheet, double limitSeconds) {
    Measurement m = measurement(
        copyParentSheet ? "VLOOKUP, parent sheet copied in" : "VLOOKUP, parent file linked", files);
    const TableFiles f = copies(files, copyParentSheet ? "vlookup" : "vlookuplink");
    Timed t;
    VlookupTimes times;
    const VlookupJob job{fs::absolute(f.parent).string(),
                         fs::absolute(f.child).string(),
                         u"父表",
                         files.rows,
                         files.rows,
                         copyParentSheet};
    try {
        auto app = t.factory.create(t.window);
        const auto office = t.factory.lastOffice();
        m.finished = fillInTime(office, job, limitSeconds, times);
        if (!m.finished) {
            std::ostringstream os;
            os << "did not finish in " << limitSeconds << " s; the office was ended";
            m.note = os.str();
        } else {
            t.office.peakKiB = peakKiB(office.officePid);
            const auto q = t.clock.start(Phase::Quit);
            app->quit();
            t.clock.finish(q);
        }
    } catch (const std::exception& e) {
        m.finished = false;
        m.note = e.what();
    }
    t.finish(m);
    vlookupPhases(m, times, limitSeconds);
    return m;
}

}  // namespace bench
