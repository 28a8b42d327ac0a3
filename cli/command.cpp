#include "cli/command.h"

#include <unistd.h>
#include <filesystem>
#include <iostream>

#include "cli/children.h"
#include "cli/command_line.h"
#include "cli/help.h"
#include "cli/report.h"
#include "cli/sheet_names.h"
#include "cli/terminal_window.h"
#include "run/lookup_run.h"
#include "run/undo_texts.h"
#include "sheets/failure.h"
#include "sheets/run_history.h"
#include "sheets/utf8.h"
#include "sheets/xlsx/new_workbook.h"

namespace cli {
namespace {

constexpr int kFinished = 0, kNotFinished = 1, kRefused = 2;

// The child's sheet, when given by name: its position in this child, or why not.
std::optional<std::u16string> childSheet(const RunRequest& r, const std::string& child,
                                         ChildOutcome& failed) {
    if (r.childSheetName.empty()) return r.inputs.childSheet;
    const auto found = sheetPosition(child, r.childSheetName);
    if (const int* position = std::get_if<int>(&found)) return sheets::fromUtf8(std::to_string(*position));
    failed = {
        child, ChildOutcome::State::Failed, std::nullopt, sheets::fromUtf8(std::get<std::string>(found)), {}};
    return std::nullopt;
}

// What the runs of one command share: the window, the key condition and the parent read once
// where no run stores over it.
class Runs {
public:
    Runs(sheets::ApplicationFactory& factory, bool parentShared)
        : factory_(factory), parentShared_(parentShared) {}

    ChildOutcome runChild(const RunRequest& r, const std::string& child) {
        run::RunInputs inputs = r.inputs;
        inputs.childPath = sheets::fromUtf8(child);
        ChildOutcome noSheet;
        const auto sheet = childSheet(r, child, noSheet);
        if (!sheet) return noSheet;
        inputs.childSheet = *sheet;
        try {
            if (parentShared_)
                run::lookupRunSharing(inputs, condition_, window_, factory_, parent_);
            else
                run::lookupRun(inputs, condition_, window_, factory_);
        } catch (const std::exception& e) {
            window_.escaped(e.what());
        }
        return window_.take(child);
    }

private:
    sheets::ApplicationFactory& factory_;
    bool parentShared_;
    TerminalWindow window_{::isatty(STDERR_FILENO) == 1};
    run::KeyCondition condition_;
    run::SharedParent parent_;
};

// One run per child, each told as it ends unless the summary is JSON.
std::vector<ChildOutcome> runChildren(const RunRequest& r, const RunFiles& files,
                                      sheets::ApplicationFactory& factory) {
    Runs runs(factory, files.parentShared);
    std::vector<ChildOutcome> outcomes;
    for (const std::string& child : files.children) {
        if (interrupted()) break;
        outcomes.push_back(runs.runChild(r, child));
        if (!r.json) std::cout << outcomeText(outcomes.back()) << std::flush;
        if (outcomes.back().state != ChildOutcome::State::Done && r.stopOnError) break;
    }
    return outcomes;
}

// The parent's sheet, when given by name: its position, or the refusal.
std::optional<OptionError> findParentSheet(RunRequest& r) {
    if (r.parentSheetName.empty()) return std::nullopt;
    const auto found = sheetPosition(sheets::toUtf8(r.inputs.parentPath), r.parentSheetName);
    if (const int* position = std::get_if<int>(&found)) {
        r.inputs.parentSheet = sheets::fromUtf8(std::to_string(*position));
        return std::nullopt;
    }
    return OptionError{"--parent-sheet", std::get<std::string>(found), "names no sheet the parent has"};
}

int runCommand(RunRequest r, sheets::ApplicationFactory& factory) {
    const auto checked = runFiles(r);
    const auto* error = std::get_if<OptionError>(&checked);
    const auto sheetError = error ? std::nullopt : findParentSheet(r);
    if (error || sheetError) {
        std::cerr << errorText(error ? *error : *sheetError);
        return kRefused;
    }
    const RunFiles& files = std::get<RunFiles>(checked);
    cancelOnInterrupt();
    if (!r.newWorkbook.empty()) {
        try {
            sheets::xlsx::writeEmptyWorkbook(r.newWorkbook);
        } catch (const sheets::Failure& f) {
            std::cerr << "pellucor: " << f.what() << "\npellucor: 无法新建工作簿 " << r.newWorkbook << "\n";
            return kNotFinished;
        }
    }
    const std::vector<ChildOutcome> outcomes = runChildren(r, files, factory);
    const bool allDone = outcomes.size() == files.children.size() &&
                         std::all_of(outcomes.begin(), outcomes.end(),
                                     [](const auto& o) { return o.state == ChildOutcome::State::Done; });
    // A new workbook that did not get the result is no workbook the user asked for.
    if (!r.newWorkbook.empty() && !allDone) std::filesystem::remove(r.newWorkbook);
    const std::size_t children = files.children.size();
    std::cout << (r.json ? outcomesJson(outcomes, children) : totalsText(outcomes, children));
    return allDone ? kFinished : kNotFinished;
}

// "20261207-140322-1234  2026-12-07 14:03:22  子表.xls  子表.xls 第 1 个工作表 C 列  已撤销"
int listRuns() {
    const auto runs = sheets::recordedRuns();
    if (runs.empty()) std::cout << "没有保存过文件的运行\n";
    for (const auto& recorded : runs) {
        const run::RunEntry e = run::runEntry(recorded);
        std::cout << recorded.folder.filename().string() << "  " << sheets::toUtf8(e.time) << "  "
                  << sheets::toUtf8(e.files) << "  " << sheets::toUtf8(e.results);
        if (!e.state.empty()) std::cout << "  " << sheets::toUtf8(e.state);
        std::cout << '\n';
    }
    return kFinished;
}

int undoCommand(const UndoRequest& u) {
    if (u.list) return listRuns();
    const auto runs = sheets::recordedRuns();
    if (runs.empty() && u.run.empty()) {
        std::cerr << "pellucor: 没有保存过文件的运行\npellucor: no run has stored files\n";
        return kNotFinished;
    }
    auto chosen = runs.begin();
    if (!u.run.empty())
        chosen = std::find_if(runs.begin(), runs.end(),
                              [&](const auto& r) { return r.folder.filename().string() == u.run; });
    if (chosen == runs.end()) {
        std::cerr << errorText({u.run.empty() ? "undo" : u.run, "没有这个运行（见 pellucor undo --list）",
                                "is no recorded run (see pellucor undo --list)"});
        return kRefused;
    }
    if (chosen->undone) {
        std::cerr << "pellucor: 这次运行已经撤销过了\npellucor: that run has been undone already\n";
        return kNotFinished;
    }
    const sheets::UndoOutcome outcome = sheets::undoRun(*chosen);
    const run::UndoMessage message = run::undoMessage(outcome);
    std::cout << sheets::toUtf8(message.text) << '\n' << sheets::toUtf8(message.detailed) << '\n';
    return outcome.refused.empty() ? kFinished : kNotFinished;
}

}  // namespace

bool isCommand(const std::string& first) {
    return first == "run" || first == "undo" || first == "help" || first == "--help" || first == "-h";
}

int command(const std::vector<std::string>& args, sheets::ApplicationFactory& factory) {
    const Command parsed = parseCommand(args);
    if (const auto* error = std::get_if<OptionError>(&parsed)) {
        std::cerr << errorText(*error);
        return kRefused;
    }
    if (std::holds_alternative<HelpRequest>(parsed)) {
        std::cout << helpText();
        return kFinished;
    }
    if (const auto* undo = std::get_if<UndoRequest>(&parsed)) return undoCommand(*undo);
    return runCommand(std::get<RunRequest>(parsed), factory);
}

}  // namespace cli
