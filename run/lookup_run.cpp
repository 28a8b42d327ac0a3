#include "run/lookup_run.h"

#include <algorithm>
#include <atomic>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "run/composite_key.h"
#include "run/error_policy.h"
#include "run/key_collection.h"
#include "run/key_cut.h"
#include "run/matching.h"
#include "run/run_report.h"
#include "run/run_texts.h"
#include "run/vb_text.h"
#include "sheets/file_locks.h"
#include "sheets/utf8.h"

namespace run {
namespace {

constexpr std::u16string_view kNoticeTitle = u"提示";
constexpr std::u16string_view kMalformedCondition = u"条件格式有误,请按照规定格式输入,详细请与IT:Tolvek联系";
constexpr std::u16string_view kDoneText = u"操作完成!";
constexpr std::u16string_view kDoneTitle = u"完成";

// Thrown once a malformed condition has been reported: the run stops there.
struct ConditionRejected {};

// An object that was never obtained makes every step that uses it fail.
template <class Pointer>
auto& deref(const Pointer& p) {
    if (!p)
        throw sheets::Failure("an object that was never obtained",
                              sheets::FailureCause(sheets::FailureCause::Kind::NeverObtained));
    return *p;
}

// A table as the run holds it once opened.
struct Table {
    std::shared_ptr<sheets::Workbook> book;
    std::shared_ptr<sheets::Worksheet> sheet;
    std::int32_t rowCount = 0;  // a count never obtained stays 0
    std::u16string name;        // for the user, with the file and the sheet
    int keyColumn = 0;
    std::optional<std::int16_t> mode;
    TableColumns columns;
};

// Columns counted from 0 as the sheets count them, from 1.
std::vector<int> oneBased(const std::vector<int>& columns) {
    std::vector<int> out;
    for (const int c : columns) out.push_back(c + 1);
    return out;
}

// Keys with the differences the options leave aside folded away.
std::vector<std::u16string> foldedKeys(std::span<const std::u16string> keys, KeyFolding folding,
                                       bool composite) {
    std::vector<std::u16string> out;
    out.reserve(keys.size());
    for (const auto& key : keys) {
        out.push_back(foldedKey(key, folding));
        if (composite && hasOnlyEmptyParts(out.back())) out.back().clear();
    }
    return out;
}

// A file chosen for two roles is one open workbook.
bool sameBook(const std::shared_ptr<sheets::Workbook>& a, const std::shared_ptr<sheets::Workbook>& b) {
    return a && a == b;
}

// What the run lends its spreadsheet application of the window: the save question, and the user's
// cancel until the save begins. A cancel ends what the application is waiting for; after that point
// nothing may cut a store short. The progress of a long reading goes to the run's safe points, where
// a cancel takes effect too.
class RunDesktop : public sheets::Desktop {
public:
    RunDesktop(RunWindow& window, SafePoints& points) : window_(window), points_(points) {}
    bool askSaveChanges(const std::u16string& fileName) override { return window_.askSaveChanges(fileName); }
    bool stopRequested() override { return !saving_ && window_.cancelled(); }
    void progress(std::int64_t done, std::int64_t total) override { points_.at(done, total); }
    void saving() { saving_ = true; }

private:
    RunWindow& window_;
    SafePoints& points_;
    std::atomic<bool> saving_ = false;
};

class LookupRun {
public:
    // officeBecause: not empty when the run starts again on the office, and why.
    LookupRun(const RunInputs& inputs, KeyCondition& condition, RunWindow& window,
              sheets::ApplicationFactory& factory, std::u16string officeBecause, SharedParent* shared)
        : in_(inputs),
          condition_(condition),
          window_(window),
          factory_(factory),
          policy_(inputs.ignoreErrors),
          points_(window),
          desktop_(window, points_),
          officeBecause_(std::move(officeBecause)),
          shared_(shared),
          parentShared_(shared && *shared) {}

    void run() {
        if (!inputsAccepted()) return;
        try {
            start();
            if (parentShared_)
                takeSharedParent();
            else
                readParent();
            match();
            placeResult();
            complete();
        } catch (const RunStopped& stop) {
            // A step the user's cancel cut short is no failure of the run.
            if (window_.cancelled()) return cancelled();
            std::cerr << "pellucor: step '" << stop.failure.step << "' failed: " << stop.failure.detail
                      << '\n';
            window_.showDetailedMessage(std::u16string(kFailureText), std::u16string(kFailureTitle), u"",
                                        reasonText(stop.failure));
            // An office that was never shown ends without saving anything when its application
            // object goes away without quit(), so no hidden process keeps the files locked.
            releaseObjects();
            window_.endProgram();
        } catch (const ConditionRejected&) {
            closeUnsaved("after a malformed condition");
        } catch (const RunCancelled&) {
            cancelled();
        } catch (const sheets::NeedsOffice&) {
            closeUnsaved("before the run starts again on the office");
            throw;
        }
    }

private:
    const RunOptions& options() const { return in_.options; }

    void cancelled() {
        closeUnsaved("after cancelling");
        window_.setFrameEnabled(true);
        window_.setStartEnabled(true);
    }

    void message(std::u16string_view text, std::u16string_view title) {
        window_.showMessage(std::u16string(text), std::u16string(title));
    }

    bool inputsAccepted() {
        if (in_.parentPath == kNoFileChosen || in_.childPath == kNoFileChosen) return false;
        if (in_.parentSheet.empty() || in_.childSheet.empty()) {
            message(u"请正确输入参数", kNoticeTitle);
            return false;
        }
        if ((in_.parentMatchKind == KeyMatch::Condition && in_.parentCondition.empty()) ||
            (in_.childMatchKind == KeyMatch::Condition && in_.childCondition.empty())) {
            message(u"请输入条件", kNoticeTitle);
            return false;
        }
        if (options().moreParentKeyColumns.size() != options().moreChildKeyColumns.size()) {
            message(u"父表和子表的组合键列数不同，请在“选项”中为两个表选择同样多的键列", kNoticeTitle);
            return false;
        }
        return targetsStorable();
    }

    // The file the result is stored in is checked before anything is opened: another program holding
    // it, or a file or folder that cannot be written, would only fail the run at its very end.
    bool targetsStorable() {
        const bool intoChild = in_.placement == Placement::IntoChildSheet;
        if (!intoChild && in_.placement != Placement::IntoThirdTable) return true;
        const std::u16string& path = intoChild ? in_.childPath : in_.thirdPath;
        const auto why = sheets::whyNotStorable(sheets::toUtf8(path));
        if (!why) return true;
        message(notStorableText(intoChild ? u"子表" : u"第三个工作簿", *why), kNoticeTitle);
        return false;
    }

    void start() {
        policy_.setStage(u"启动 LibreOffice");
        // A run that starts again on the office finds the inputs still disabled.
        if (officeBecause_.empty())
            step("disable the inputs", [&] {
                window_.setFrameEnabled(false);
                window_.setStartEnabled(false);
            });
        step("create the application", [&] { app_ = factory_.create(desktop_, files()); });
        step("hide the application", [&] { deref(app_).setVisible(false); });
    }

    // Every workbook the run opens, and whether the result goes into a new one.
    sheets::RunFiles files() const {
        sheets::RunFiles f{{in_.childPath}, in_.placement == Placement::IntoNewWorkbook, officeBecause_};
        f.reads.push_back({in_.childPath, val(trim(in_.childSheet)), childColumns()});
        if (!parentShared_) {
            f.paths.insert(f.paths.begin(), in_.parentPath);
            f.reads.insert(f.reads.begin(), {in_.parentPath, val(trim(in_.parentSheet)), parentColumns()});
        }
        if (in_.placement == Placement::IntoThirdTable) f.paths.push_back(in_.thirdPath);
        return f;
    }

    // The columns (from 1) collect() reads of each table.
    std::vector<int> parentColumns() const {
        std::vector<int> columns{in_.parentKeyColumn + 1, in_.valueColumn + 1};
        append(columns, oneBased(options().moreParentKeyColumns));
        if (in_.matching == Matching::LookupAsResult) append(columns, oneBased(options().moreValueColumns));
        return columns;
    }
    std::vector<int> childColumns() const {
        std::vector<int> columns{in_.childKeyColumn + 1};
        if (in_.matching == Matching::FurtherMatching) columns.push_back(in_.valueColumn + 1);
        append(columns, oneBased(options().moreChildKeyColumns));
        return columns;
    }
    static void append(std::vector<int>& to, const std::vector<int>& more) {
        to.insert(to.end(), more.begin(), more.end());
    }

    // "父表（parent.xls，第 1 个工作表）"
    static std::u16string tableName(std::u16string_view role, const std::u16string& path,
                                    const std::u16string& sheetNumber) {
        return std::u16string(role) + u"（" + fileNameOf(path) + u"，第 " + trim(sheetNumber) +
               u" 个工作表）";
    }

    // The sheet is told the columns collect() reads, so that a sheet read from its file is read once.
    void openTable(Table& table, const std::u16string& path, const std::u16string& sheetNumber,
                   const std::vector<int>& columns) {
        policy_.setStage(u"打开" + table.name);
        step("open a workbook", [&] { table.book = deref(app_).open(path); });
        step("take a worksheet", [&] { table.sheet = deref(table.book).worksheet(val(trim(sheetNumber))); });
        if (table.sheet) table.sheet->willRead(columns);
        step("count the used rows", [&] { table.rowCount = deref(table.sheet).usedRowCount(); });
    }

    static void createArrays(Table& table, bool withValues) {
        if (table.rowCount < 0) throw RunError("negative row count");
        const auto rows = static_cast<std::size_t>(table.rowCount);
        table.columns.keys.assign(rows, {});
        if (!withValues) return;
        table.columns.values.assign(rows, {});
        table.columns.valueCells.assign(rows, {});
    }

    // The table's condition is parsed into the window's KeyCondition and the mode copied at once,
    // since the other table's condition overwrites it.
    void collect(Table& table, KeyMatch match, const std::u16string& condition, bool withValues,
                 const std::vector<int>& moreKeyColumns, const std::vector<int>& moreValueColumns = {}) {
        policy_.setStage(u"读取" + table.name + (withValues ? u"的键和值" : u"的键"));
        KeyRule rule;
        if (match == KeyMatch::Condition) {
            rule.wholeWord = false;
            step("parse the condition", [&] {
                if (!parseCondition(condition, condition_)) {
                    reportMalformedCondition();
                    throw ConditionRejected{};
                }
            });
            step("copy the key mode", [&] { table.mode = condition_.keyMode; });
            rule.mode = table.mode;
            rule.condition = condition_;
        }
        keys_.setRule(rule);
        const KeySource source{
            table.sheet.get(),        table.rowCount,
            table.keyColumn,          withValues ? std::optional<int>(in_.valueColumn + 1) : std::nullopt,
            oneBased(moreKeyColumns), oneBased(moreValueColumns)};
        keys_.collect(policy_, source, table.columns, [&](std::int64_t done) { points_.at(done); });
    }

    void reportMalformedCondition() {
        message(kMalformedCondition, kNoticeTitle);
        window_.setFrameEnabled(true);
        window_.setStartEnabled(true);
    }

    void openParentTable() {
        parent_.name = tableName(u"父表", in_.parentPath, in_.parentSheet);
        points_.begin(Phase::OpenParent);
        openTable(parent_, in_.parentPath, in_.parentSheet, parentColumns());
        step("create the parent arrays", [&] { createArrays(parent_, true); });
        step("take the parent key column", [&] { parent_.keyColumn = in_.parentKeyColumn + 1; });
    }

    void readParent() {
        openParentTable();
        collectParentKeys();
        if (shared_)
            *shared_ = ParentReading{parent_.rowCount, parent_.mode, parent_.columns, keys_, policy_};
    }

    // The parent another run read, as if this run had just read it.
    void takeSharedParent() {
        const ParentReading& reading = **shared_;
        parent_.name = tableName(u"父表", in_.parentPath, in_.parentSheet);
        parent_.rowCount = reading.rowCount;
        parent_.mode = reading.mode;
        parent_.columns = reading.columns;
        parent_.keyColumn = in_.parentKeyColumn + 1;
        keys_ = reading.keys;
        policy_ = reading.policy;
    }

    // A lookup reads the further value columns with the parent's.
    void collectParentKeys() {
        points_.begin(Phase::ReadParent, parent_.rowCount);
        const bool lookup = in_.matching == Matching::LookupAsResult;
        collect(parent_, in_.parentMatchKind, in_.parentCondition, true, options().moreParentKeyColumns,
                lookup ? options().moreValueColumns : std::vector<int>());
    }

    void openChildTable(bool withValues) {
        child_.name = tableName(u"子表", in_.childPath, in_.childSheet);
        points_.begin(Phase::OpenChild);
        openTable(child_, in_.childPath, in_.childSheet, childColumns());
        step("create the child arrays", [&] { createArrays(child_, withValues); });
        step("take the child key column", [&] { child_.keyColumn = in_.childKeyColumn + 1; });
        points_.begin(Phase::ReadChild, child_.rowCount);
        collect(child_, in_.childMatchKind, in_.childCondition, withValues, options().moreChildKeyColumns);
    }

    MatchTables tables() const {
        return {parent_.columns.keys,  parent_.columns.values,     child_.columns.keys,
                child_.columns.values, parent_.columns.valueCells, child_.columns.valueCells};
    }

    // The keys as the run compares them: folded when the options say so.
    MatchTables matchedTables() {
        MatchTables t = tables();
        if (!options().folding.any()) return t;
        parentFolded_ = foldedKeys(t.parentKeys, options().folding, options().composite());
        childFolded_ = foldedKeys(t.childKeys, options().folding, options().composite());
        t.parentKeys = parentFolded_;
        t.childKeys = childFolded_;
        return t;
    }

    // A lookup takes the parent's value of the first row with the child's key (or of the last, all of
    // them or their number), and of the further value columns; further matching also compares the
    // values, and gives the parent's, the child's or both.
    void match() {
        const bool further = in_.matching == Matching::FurtherMatching;
        openChildTable(further);
        policy_.setStage(further ? u"匹配" : u"查找");
        // Each part of the matching is a safe point: at a million rows, each takes a good part of a
        // second.
        points_.begin(Phase::Match, 4);
        step(further ? "match the values" : "look up the values", [&] {
            const MatchTables t = matchedTables();
            const RunOptions& o = options();
            const DuplicateKeys taken = further ? DuplicateKeys::First : o.duplicates;
            const auto rows = further ? furtherMatchRows(t, in_.valueTest) : lookupRows(t, taken);
            points_.at(1);
            const MatchTables shown = tables();
            counts_ =
                countMatches(t, rows, {{shown.parentKeys, shown.childKeys, o.composite()}, o.folding, taken},
                             [&] { points_.at(2); });
            points_.at(3);
            edit_.cells =
                further ? resultRows(t, rows, in_.whose) : lookupResult(t, valueColumns(), rows, taken);
            points_.at(4);
            if (o.unmatched == Unmatched::WriteText) markUnmatched(edit_.cells, rows, o.unmatchedText);
        });
        // The result holds what the placement needs: the tables' columns go before it writes.
        parent_.columns = {};
        child_.columns = {};
    }

    // The parent's value cells of a lookup: the value column's, then the further ones'.
    std::vector<std::span<const sheets::CellValue>> valueColumns() const {
        std::vector<std::span<const sheets::CellValue>> columns{parent_.columns.valueCells};
        for (const auto& more : parent_.columns.moreValueCells) columns.emplace_back(more);
        return columns;
    }

    void placeResult() {
        points_.begin(Phase::WriteResult);
        switch (in_.placement) {
            case Placement::IntoChildSheet:
                intoChildSheet();
                break;
            case Placement::IntoNewWorkbook:
                intoNewWorkbook();
                break;
            case Placement::IntoThirdTable:
                intoThirdTable();
                break;
        }
    }

    // Two columns for the parent's and the child's values side by side, one for each value column
    // of a lookup, one for a count.
    int resultWidth() const { return std::max(edit_.cells.width, in_.whose == Whose::Both ? 2 : 1); }

    // "C", or "C、D" from 0-based column 2 for a result two columns wide.
    std::u16string resultColumns(int column) const {
        std::u16string letters;
        for (int c = column; c < column + resultWidth(); ++c)
            letters += (c > column ? u"、" : u"") + columnLetters(c);
        return letters;
    }

    // The clipboard shows the result as text while it is placed, but the sheet takes the cells from
    // the run's edit: each value stays one cell, of its own type and format, whatever it holds.
    void writeResult(const std::shared_ptr<sheets::Worksheet>& sheet, const std::u16string& address,
                     const Destination& where) {
        step("clear the clipboard", [&] { window_.clipboard().clear(); });
        step("put the result on the clipboard",
             [&] { window_.clipboard().setText(resultText(edit_.cells)); });
        placementStep("select the first cell", false, where.file, [&] { deref(sheet).select(address); });
        if (placementStep("write the result", false, where.file, [&] { deref(sheet).apply(edit_); }))
            destination_ = where;
        step("clear the clipboard", [&] { window_.clipboard().clear(); });
    }

    // The result's columns: inserted at `column` (none for a new workbook), one, or two for the
    // parent's and the child's values side by side, and written from row 1 of the first.
    void planEdit(int column, bool inserting) {
        edit_.insertAt = inserting ? column : 0;
        edit_.insertCount = inserting ? resultWidth() : 0;
        edit_.firstColumn = column;
    }

    // Closes with a save request, recording what became of the file. The parent on its own holds
    // no result: closing it is no placement step.
    void closeAndStore(const char* what, const std::shared_ptr<sheets::Workbook>& book,
                       const std::u16string& path, std::optional<bool> save, bool holdsResult = true) {
        policy_.setStage(u"保存 " + fileNameOf(path));
        const auto close = [&] { stores_.push_back(deref(book).close(save)); };
        holdsResult ? placementStep(what, true, fileNameOf(path), close) : step(what, close);
    }

    // A workbook that has two roles is closed once, in the last of them: the parent as the child
    // saves the result once; a child that is the third workbook is asked about like any third one.
    void closeParentAndChild() {
        if (!parentShared_ && !sameBook(parent_.book, child_.book) && !sameBook(parent_.book, thirdBook_))
            closeAndStore("close the parent workbook", parent_.book, in_.parentPath, true, false);
        // Under a new workbook, the child too holds no result; a child whose result could not be
        // written is not stored.
        const bool holdsResult = in_.placement == Placement::IntoChildSheet;
        if (!sameBook(child_.book, thirdBook_))
            closeAndStore("close the child workbook", child_.book, in_.childPath,
                          !holdsResult || destination_, holdsResult);
    }

    void intoChildSheet() {
        const Destination where{fileNameOf(in_.childPath), trim(in_.childSheet),
                                resultColumns(in_.childTargetColumn)};
        policy_.setStage(u"写入结果到" + child_.name);
        planEdit(in_.childTargetColumn + 1, true);
        step("hide the application", [&] { deref(app_).setVisible(false); });
        step("activate the child sheet", [&] { deref(child_.sheet).activate(); });
        writeResult(child_.sheet, in_.childTargetLetter + u"1", where);
        beginSaving();
        closeParentAndChild();
        step("quit the application", [&] { deref(app_).quit(); });
    }

    // The office stays running and visible with the new, unsaved workbook.
    void intoNewWorkbook() {
        policy_.setStage(u"写入结果到新工作簿");
        step("show the application", [&] { deref(app_).setVisible(true); });
        step("add a workbook", [&] { deref(app_).add(); });
        step("take the new sheet", [&] { targetSheet_ = deref(app_).activeWorksheet(1); });
        planEdit(1, false);
        writeResult(targetSheet_, u"A1", {u"", u"1", resultColumns(0)});
        beginSaving();
        closeParentAndChild();
    }

    void intoThirdTable() {
        const Destination where{fileNameOf(in_.thirdPath), u"1", resultColumns(in_.thirdTargetColumn)};
        policy_.setStage(u"写入结果到第三个工作簿（" + where.file + u"，第 1 个工作表）");
        step("open the third workbook", [&] { thirdBook_ = deref(app_).open(in_.thirdPath); });
        step("take the third sheet", [&] { targetSheet_ = deref(thirdBook_).worksheet(1); });
        planEdit(in_.thirdTargetColumn + 1, true);
        step("activate the third sheet", [&] { deref(targetSheet_).activate(); });
        writeResult(targetSheet_, in_.thirdTargetLetter + u"1", where);
        beginSaving();
        closeParentAndChild();
        // No save choice: the user is asked about a changed third table, unless the result never
        // reached it.
        closeAndStore("close the third workbook", thirdBook_, in_.thirdPath,
                      destination_ ? std::nullopt : std::optional<bool>(false));
        step("quit the application", [&] { deref(app_).quit(); });
    }

    // The last safe point: from here the run finishes what it has begun.
    void beginSaving() {
        points_.begin(Phase::Save);
        desktop_.saving();
    }

    void releaseArrays() {
        child_.columns = {};
        parent_.columns = {};
        parentFolded_ = {};
        childFolded_ = {};
        edit_ = {};
    }

    RunSummary summary() const {
        // A cancel that came once the save had begun could no longer stop the run.
        return {counts_,
                policy_.skipped(),
                policy_.skippedCount(),
                destination_,
                stores_,
                notPlaced_,
                window_.cancelled(),
                officeBecause_,
                optionsSummary(options())};
    }

    // The saved workbook that holds the result, and the copies of the files stored over.
    Completion completion(const RunSummary& done) const {
        Completion c{std::u16string(kDoneText),
                     std::u16string(kDoneTitle),
                     informativeText(done),
                     summaryText(done),
                     {},
                     {},
                     done};
        for (const auto& store : stores_) {
            if (store.how == sheets::StoreReport::How::NotStored) continue;
            if (destination_ && fileNameOf(store.path) == destination_->file) c.resultFile = store.path;
            if (!store.backupPath.empty()) c.backups.push_back(store.backupPath);
        }
        return c;
    }

    void complete() {
        const RunSummary done = summary();
        releaseArrays();
        window_.setFrameEnabled(true);
        window_.setStartEnabled(true);
        window_.showCompletion(completion(done));
        releaseObjects();
    }

    // Sheets and workbooks go before the application that owns them.
    void releaseObjects() {
        targetSheet_.reset();
        thirdBook_.reset();
        child_.sheet.reset();
        child_.book.reset();
        parent_.sheet.reset();
        parent_.book.reset();
        app_.reset();
    }

    // After a malformed condition or a cancel nothing the run opened is kept: no workbook is saved
    // and the office ends, also one that was shown. Nothing has been stored yet at that point.
    void closeUnsaved(const char* after) {
        auto quietly = [after](const char* what, auto&& action) {
            try {
                action();
            } catch (const std::exception& e) {
                std::cerr << "pellucor: " << what << ' ' << after << " failed: " << e.what() << '\n';
            }
        };
        if (parent_.book) quietly("closing the parent workbook", [&] { parent_.book->close(false); });
        if (child_.book && child_.book != parent_.book)
            quietly("closing the child workbook", [&] { child_.book->close(false); });
        if (thirdBook_ && !sameBook(thirdBook_, child_.book) && !sameBook(thirdBook_, parent_.book))
            quietly("closing the third workbook", [&] { thirdBook_->close(false); });
        if (app_) quietly("quitting the application", [&] { app_->quit(); });
        releaseArrays();
        releaseObjects();
    }

    template <class Action>
    bool step(const char* what, Action&& action) {
        return policy_.step(what, std::forward<Action>(action));
    }

    // A step without which the result is not written or not saved: the first such failure is what
    // the completion tells first.
    template <class Action>
    bool placementStep(const char* what, bool saving, const std::u16string& file, Action&& action) {
        if (step(what, std::forward<Action>(action))) return true;
        if (!notPlaced_)
            notPlaced_ = NotPlaced{saving, file, policy_.lastSkipped(), policy_.lastOwnFailure()};
        return false;
    }

    const RunInputs& in_;
    KeyCondition& condition_;
    RunWindow& window_;
    sheets::ApplicationFactory& factory_;
    ErrorPolicy policy_;
    SafePoints points_;
    RunDesktop desktop_;
    std::u16string officeBecause_;
    SharedParent* shared_;
    const bool parentShared_;  // the parent was read by an earlier run

    std::unique_ptr<sheets::Application> app_;
    Table parent_;
    Table child_;
    std::shared_ptr<sheets::Workbook> thirdBook_;
    std::shared_ptr<sheets::Worksheet> targetSheet_;
    KeyCollector keys_;                                       // keeps mode 3's holder across tables
    sheets::SheetEdit edit_;                                  // the result and where it goes
    std::vector<std::u16string> parentFolded_, childFolded_;  // the keys compared, when folded

    std::optional<MatchCounts> counts_;
    std::optional<Destination> destination_;
    std::vector<sheets::StoreReport> stores_;
    std::optional<NotPlaced> notPlaced_;
};

void runOnce(const RunInputs& inputs, KeyCondition& condition, RunWindow& window,
             sheets::ApplicationFactory& factory, SharedParent* shared) {
    try {
        LookupRun(inputs, condition, window, factory, {}, shared).run();
    } catch (const sheets::NeedsOffice& needs) {
        std::cerr << "pellucor: " << needs.detail << "; the run starts again on the office\n";
        LookupRun(inputs, condition, window, factory, needs.reason, shared).run();
    }
}

}  // namespace

void lookupRun(const RunInputs& inputs, KeyCondition& condition, RunWindow& window,
               sheets::ApplicationFactory& factory) {
    runOnce(inputs, condition, window, factory, nullptr);
}

void lookupRunSharing(const RunInputs& inputs, KeyCondition& condition, RunWindow& window,
                      sheets::ApplicationFactory& factory, SharedParent& parent) {
    runOnce(inputs, condition, window, factory, &parent);
}

}  // namespace run
