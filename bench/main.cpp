// pellucor_bench: whole runs on generated workbooks through LibreOffice Calc, phase by phase, against
// the office alone, the per-cell method and a VLOOKUP column in the office; then the matching alone.

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "bulk_writer.h"
#include "in_memory.h"
#include "methods.h"
#include "sheets/calc/calc_application.h"
#include "table_generator.h"

namespace {

namespace fs = std::filesystem;

struct Options {
    std::vector<std::int32_t> sizes{1000, 10000, 65536, 1048576};
    std::set<std::string> methods{"lookup",   "lookup-office", "further", "office",
                                  "per-cell", "plain-cell",    "vlookup", "memory"};
    std::string format = "auto";
    double perCellLimit = 300;
    std::int32_t perCellMaxRows = 65536;
    double vlookupLimit = 300;
    std::int32_t vlookupMaxRows = 65536;
    std::int32_t vlookupLinkMaxRows = 1000;
    std::vector<std::int32_t> memorySizes{125000, 250000, 500000, 1000000};
    std::int32_t scanRows = 40000;
    std::string dataDir = PELLUCOR_BENCH_DATA;
};

const char* const kUsage = R"(usage: pellucor_bench [options]
  --sizes N,...              table rows (parent and child alike, header included); .xls up to 65536,
                             .xlsx above (default 1000,10000,65536,1048576)
  --methods M,...            lookup, lookup-office, further, further-office, office, per-cell,
                             plain-cell, vlookup, vlookup-link, memory (default: all but
                             further-office and vlookup-link); lookup and further go the program's
                             way (the packages themselves for .xlsx tables), the -office ones through
                             the office
  --format F                 xls, xlsx or auto: .xls up to 65536 rows, .xlsx above (default auto)
  --per-cell-limit S         give the per-cell methods up after S seconds (default 300)
  --per-cell-max-rows N      run the per-cell methods up to N rows only (default 65536)
  --vlookup-limit S          end the office's VLOOKUP after S seconds (default 300)
  --vlookup-max-rows N       run the VLOOKUP column up to N rows only (default 65536)
  --vlookup-link-max-rows N  the same for the VLOOKUP referring to the parent file (default 1000)
  --memory-sizes N,...       sizes of the in-memory matching (default 125000,250000,500000,1000000)
  --scan-rows N              plain scan in memory up to N rows (default 40000)
  --data-dir DIR             where generated workbooks are cached (default )" PELLUCOR_BENCH_DATA R"()
)";

std::vector<std::string> split(const std::string& s) {
    std::vector<std::string> parts;
    std::stringstream in(s);
    for (std::string p; std::getline(in, p, ',');)
        if (!p.empty()) parts.push_back(p);
    return parts;
}

std::vector<std::int32_t> numbers(const std::string& s) {
    std::vector<std::int32_t> v;
    for (const auto& p : split(s)) v.push_back(static_cast<std::int32_t>(std::stol(p)));
    return v;
}

Options parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::cerr << a << " needs a value\n" << kUsage;
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--sizes") {
            o.sizes = numbers(value());
        } else if (a == "--methods") {
            const auto m = split(value());
            o.methods = {m.begin(), m.end()};
        } else if (a == "--format") {
            o.format = value();
        } else if (a == "--per-cell-limit") {
            o.perCellLimit = std::stod(value());
        } else if (a == "--per-cell-max-rows") {
            o.perCellMaxRows = std::stoi(value());
        } else if (a == "--vlookup-limit") {
            o.vlookupLimit = std::stod(value());
        } else if (a == "--vlookup-max-rows") {
            o.vlookupMaxRows = std::stoi(value());
        } else if (a == "--vlookup-link-max-rows") {
            o.vlookupLinkMaxRows = std::stoi(value());
        } else if (a == "--memory-sizes") {
            o.memorySizes = numbers(value());
        } else if (a == "--scan-rows") {
            o.scanRows = std::stoi(value());
        } else if (a == "--data-dir") {
            o.dataDir = value();
        } else {
            std::cerr << kUsage;
            std::exit(a == "--help" || a == "-h" ? 0 : 2);
        }
    }
    return o;
}

// Generated files are kept: a file is written under a temporary name and renamed when complete.
class DataSet {
public:
    DataSet(std::string dir, std::string format) : dir_(std::move(dir)), format_(std::move(format)) {
        fs::create_directories(dir_);
    }
    ~DataSet() {
        if (app_) app_->quit();
    }

    bench::TableFiles files(std::int32_t rows) {
        const std::string ext = format_ == "auto" ? (rows <= 65536 ? ".xls" : ".xlsx") : "." + format_;
        bench::TableFiles f;
        f.rows = rows;
        f.parent = (fs::path(dir_) / ("parent-typed-" + std::to_string(rows) + ext)).string();
        f.child = (fs::path(dir_) / ("child-typed-" + std::to_string(rows) + ext)).string();
        f.workDir = (fs::path(dir_) / "work").string();
        if (fs::exists(f.parent) && fs::exists(f.child)) return f;

        std::cerr << "generating " << rows << "-row " << ext << " tables...\n";
        const bench::Tables t = bench::generateTables(rows);
        write(f.parent, {u"父表", t.parent});
        write(f.child, {u"子表", t.child});
        return f;
    }

private:
    void write(const std::string& path, const bench::SheetColumns& sheet) {
        if (!app_) app_ = sheets::calc::CalcApplicationFactory().create(window_);
        const std::string partial = path + ".partial" + fs::path(path).extension().string();
        bench::writeWorkbook(sheets::calc::officeInfo(*app_).pipeName, partial, path, sheet);
        fs::rename(partial, path);
    }

    std::string dir_;
    std::string format_;
    bench::HeadlessWindow window_;
    std::unique_ptr<sheets::Application> app_;
};

std::string seconds(double s) {
    if (std::isnan(s)) return "-";
    char b[32];
    std::snprintf(b, sizeof b, s < 10 ? "%.3f" : "%.1f", s);
    return b;
}

std::string mib(std::int64_t kib) {
    if (kib < 0) return "-";
    char b[32];
    std::snprintf(b, sizeof b, "%.0f", static_cast<double>(kib) / 1024.0);
    return b;
}

std::string ratio(double a, double b) {
    if (!(a > 0) || !(b > 0)) return "-";
    char r[32];
    std::snprintf(r, sizeof r, a / b < 10 ? "%.2f" : "%.0f", a / b);
    return r;
}

// Marks the total of a method that did not finish: "~" for an estimate, "> " for a time limit.
const char* unfinished(const bench::Measurement& m) {
    return m.finished ? "" : m.estimated ? "~" : "> ";
}

void printHeader() {
    std::printf(
        "| rows | file | method | start | open | count | collect | match | place | save | quit | total s "
        "| program MiB | office MiB |\n");
    std::printf("|---:|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
}

void printRow(const bench::Measurement& m) {
    std::printf("| %d | %s | %s |", m.rows, m.format.c_str(), m.method.c_str());
    for (double p : m.phases) std::printf(" %s |", seconds(p).c_str());
    std::printf(" %s%s | %s | %s |\n", unfinished(m), seconds(m.total).c_str(), mib(m.programPeakKiB).c_str(),
                mib(m.officePeakKiB).c_str());
    std::fflush(stdout);
}

// Per phase of the runs: the number of progress reports and the longest gap after one of them.
void printReportGaps(const std::vector<bench::Measurement>& all) {
    std::printf(
        "\n| rows | method | 打开父表 | 读取父表 | 打开子表 | 读取子表 | 匹配 | 写入结果 | 保存 |\n"
        "|---:|---|---:|---:|---:|---:|---:|---:|---:|\n");
    for (const auto& m : all) {
        if (m.method.rfind("Pellucor", 0) != 0) continue;
        std::printf("| %d | %s |", m.rows, m.method.c_str());
        for (std::size_t p = 0; p < bench::kRunPhaseCount; ++p)
            std::printf(" %d: %s |", m.reports[p], seconds(m.longestReportGap[p]).c_str());
        std::printf("\n");
    }
    std::fflush(stdout);
}

// The time from opening the first workbook to the end of the last save.
double officeWork(const bench::Measurement& m) {
    double s = 0;
    for (auto p : {bench::Phase::Open, bench::Phase::Count, bench::Phase::Collect, bench::Phase::Match,
                   bench::Phase::Place, bench::Phase::Save}) {
        const double v = m.phases[static_cast<std::size_t>(p)];
        if (!std::isnan(v)) s += v;
    }
    return s;
}

// Every method wanted at every size, printed as it finishes; the notes after the table.
std::vector<bench::Measurement> measureAll(const Options& o) {
    auto wanted = [&](const char* m) { return o.methods.count(m) > 0; };
    {
        // Every workbook is generated before anything is timed.
        DataSet data(o.dataDir, o.format);
        for (auto rows : o.sizes) data.files(rows);
    }
    DataSet data(o.dataDir, o.format);
    std::vector<bench::Measurement> all;
    std::vector<std::string> notes;
    printHeader();
    for (const auto rows : o.sizes) {
        const bench::TableFiles f = data.files(rows);
        auto measure = [&](bench::Measurement m) {
            printRow(m);
            if (!m.note.empty())
                notes.push_back(std::to_string(m.rows) + " rows, " + m.method + ": " + m.note);
            all.push_back(std::move(m));
        };
        const bool packages = fs::path(f.child).extension() == ".xlsx";
        if (wanted("lookup")) measure(bench::pellucorRun(f, false, false));
        if (wanted("lookup-office") && packages) measure(bench::pellucorRun(f, false, true));
        if (wanted("further")) measure(bench::pellucorRun(f, true, false));
        if (wanted("further-office") && packages) measure(bench::pellucorRun(f, true, true));
        if (wanted("office")) measure(bench::officeAlone(f));
        if (wanted("per-cell") && rows <= o.perCellMaxRows)
            measure(bench::perCellRun(f, bench::CellReads::ThroughWorksheet, o.perCellLimit));
        if (wanted("plain-cell") && rows <= o.perCellMaxRows)
            measure(bench::perCellRun(f, bench::CellReads::PlainUno, o.perCellLimit));
        if (wanted("vlookup") && rows <= o.vlookupMaxRows)
            measure(bench::vlookupColumn(f, true, o.vlookupLimit));
        if (wanted("vlookup-link") && rows <= o.vlookupLinkMaxRows)
            measure(bench::vlookupColumn(f, false, o.vlookupLimit));
    }
    for (const auto& n : notes) std::printf("\n- %s", n.c_str());
    if (!notes.empty()) std::printf("\n");
    return all;
}

// Ratios per size, against the lookup run through the office; the packages' run beside it.
void printRatios(const std::vector<std::int32_t>& sizes, const std::vector<bench::Measurement>& all) {
    std::printf(
        "\n| rows | Pellucor s | office alone s | Pellucor / office alone | the same without start and quit "
        "| per cell (cell()) s | / Pellucor | per cell (plain UNO) s | / Pellucor | VLOOKUP s | / Pellucor "
        "| packages s | / Pellucor |\n");
    std::printf("|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    for (const auto rows : sizes) {
        std::map<std::string, const bench::Measurement*> by;
        for (const auto& m : all)
            if (m.rows == rows) by[m.method] = &m;
        auto find = [&](const char* name) -> const bench::Measurement* {
            auto i = by.find(name);
            return i == by.end() ? nullptr : i->second;
        };
        const auto* p = find("Pellucor, lookup (office)");
        if (!p) continue;
        const auto* office = find("office alone: open, insert, save");
        // Total and how many times the lookup run's total, "> " when the method did not finish.
        auto against = [&](const bench::Measurement* m) {
            if (!m) return std::string("- | -");
            const std::string more = unfinished(*m);
            return more + seconds(m->total) + " | " + more + ratio(m->total, p->total);
        };
        std::printf("| %d | %s | %s | %s | %s | %s | %s | %s | %s |\n", rows, seconds(p->total).c_str(),
                    office ? seconds(office->total).c_str() : "-",
                    office ? ratio(p->total, office->total).c_str() : "-",
                    office ? ratio(officeWork(*p), officeWork(*office)).c_str() : "-",
                    against(find("per cell (Worksheet::cell), top-down scan")).c_str(),
                    against(find("per cell (plain UNO), top-down scan")).c_str(),
                    against(find("VLOOKUP, parent sheet copied in")).c_str(),
                    against(find("Pellucor, lookup (packages)")).c_str());
    }
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    const Options o = parse(argc, argv);
    // Headless offices, without any window: an application starts one where it finds no display.
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    // The runs' backups of the generated tables stay with them, out of the user's own backup folder.
    ::setenv("XDG_DATA_HOME", (fs::path(o.dataDir) / "work" / "data").c_str(), 1);
    const std::vector<bench::Measurement> all = measureAll(o);
    printReportGaps(all);
    printRatios(o.sizes, all);
    if (o.methods.count("memory")) bench::measureMatching(o.memorySizes, o.scanRows);
    return 0;
}
