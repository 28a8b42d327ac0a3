#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sheets/application.h"
#include "sheets/clipboard.h"
#include "sheets/failure.h"

// The spreadsheet interface in memory, for the run tests: workbooks on a "disk" by path, one open
// workbook per path and application, saves that land on the disk, a log of every operation and
// failures injected into chosen ones.
namespace memory {

struct Sheet {
    std::map<std::pair<std::int32_t, int>, sheets::CellValue> cells;  // (row, column), no empty cells

    void set(std::int32_t row, int column, sheets::CellValue value);
    // Rows of texts from A1; "" leaves a cell empty.
    static Sheet fromRows(const std::vector<std::vector<std::u16string>>& rows);
    // One column as texts from row 1 to its last non-empty cell, "" for empty and error cells.
    std::vector<std::u16string> columnTexts(int column) const;
};

struct Book {
    std::vector<Sheet> sheets{Sheet{}};
};

class MemoryClipboard : public sheets::Clipboard {
public:
    void clear() override { text_.reset(); }
    void setText(const std::u16string& text) override { text_ = text; }
    std::u16string text() const override { return text_.value_or(u""); }
    bool empty() const { return !text_; }

private:
    std::optional<std::u16string> text_;
};

// A workbook an application opened ("" for an added one), as it is now.
struct OpenedBook {
    std::u16string path;
    Book data;
    bool open = true;
    bool modified = false;
};

// What an application did to itself, kept by the office after it is gone.
struct ApplicationRecord {
    bool visible = false;
    bool everShown = false;
    bool quit = false;
    bool destroyed = false;
    std::vector<std::shared_ptr<OpenedBook>> books;
};

class Office : public sheets::ApplicationFactory {
public:
    std::unique_ptr<sheets::Application> create(sheets::Desktop& desktop,
                                                const sheets::RunFiles& files = {}) override;

    std::map<std::u16string, Book> disk;

    // Every operation as "kind argument...", e.g. "open /d/child.xls", "worksheet 2", "column 1 10",
    // "select C1", "apply insert 1 at 3 write C1", "close child.xls true" ("ask" without a choice),
    // "backup child.xls", "quit".
    const std::vector<std::string>& log() const { return log_; }
    // Operations whose entry starts with prefix fail with cause: the nth such one (from 1), or all
    // when nth is 0. Storing a workbook over its file is preceded by "backup <file name>".
    void fail(std::string prefix, int nth = 0, sheets::FailureCause cause = {}) {
        rules_.push_back({std::move(prefix), nth, 0, std::move(cause)});
    }
    // The first operation whose entry starts with prefix throws NeedsOffice, as an application that
    // cannot read something with certainty does; later ones go through.
    void needsOfficeOnce(std::string prefix) { needsOffice_ = std::move(prefix); }
    const std::deque<ApplicationRecord>& applications() const { return records_; }
    // What the last run said it would open.
    sheets::RunFiles lastFiles;
    // Hears every operation as it is logged, on the thread that carries it out.
    std::function<void(const std::string&)> onOperation;

    void operation(const std::string& entry);  // logs, then throws when a rule says so

private:
    struct Rule {
        std::string prefix;
        int nth, seen;
        sheets::FailureCause cause;
    };
    std::vector<std::string> log_;
    std::vector<Rule> rules_;
    std::string needsOffice_;
    std::deque<ApplicationRecord> records_;
};

}  // namespace memory
