#pragma once
// The ways of getting a child table's lookup column that the benchmark compares, each measured as a
// whole from the start of an office to its end.

#include <array>
#include <cstdint>
#include <string>

#include "timed_sheets.h"

namespace bench {

constexpr std::size_t kRunPhaseCount = 7;

// A generated parent and child of the same row count; methods work on copies in workDir.
struct TableFiles {
    std::string parent;
    std::string child;
    std::int32_t rows = 0;
    std::string workDir;
};

struct Measurement {
    std::string method;
    std::int32_t rows = 0;
    std::string format;
    bool finished = true;
    bool estimated = false;  // total is an estimate for a method that was stopped
    std::string note;
    Seconds phases{};  // NaN for a phase the method does not have
    double total = 0;
    std::int64_t programPeakKiB = -1;
    std::int64_t officePeakKiB = -1;
    // A run's progress reports by run::Phase: how many, and the longest time from one report to the
    // next (or to the end of the run), NaN for a phase not reported.
    std::array<int, kRunPhaseCount> reports{};
    std::array<double, kRunPhaseCount> longestReportGap{};
};

// A whole run, exactly as the Start button does it: lookup as result into the child sheet before
// column C, or further matching (values agree, parent and child values) into two new columns. The
// program's choice of application (the packages themselves for .xlsx tables), or the office.
Measurement pellucorRun(const TableFiles& files, bool furtherMatching, bool throughOffice);

// What the office alone needs for the same files: open both, insert a column, save the child, quit.
Measurement officeAlone(const TableFiles& files);

// Cell by cell: Worksheet::cell() for each cell (a one-cell block read with its type checks), or the
// plain UNO way (the cell object, its type, its value or text); then a top-down scan of the parent
// for each child row and the same placement. Gives up after limitSeconds and estimates the whole
// from the cells read so far.
enum class CellReads { ThroughWorksheet, PlainUno };
Measurement perCellRun(const TableFiles& files, CellReads reads, double limitSeconds);

// A VLOOKUP column filled into the child in the office itself, calculated and saved; the parent sheet
// copied into the child or referred to in its file. The office is ended after limitSeconds.
Measurement vlookupColumn(const TableFiles& files, bool copyParentSheet, double limitSeconds);

}  // namespace bench
