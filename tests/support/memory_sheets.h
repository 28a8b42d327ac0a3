#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sheets/application.h"

// The spreadsheet interface in memory, for tests: workbooks on a "disk" by path, one open workbook
// per path and application, saves that land on the disk, a log of every operation made and failures
// injected into any chosen one.
namespace memory {

struct Sheet {
    std::map<std::pair<std::int32_t, int>, sheets::CellValue> cells;  // (row, column), no empty cells

    void set(std::int32_t row, int column, sheets::CellValue value);
    sheets::CellValue at(std::int32_t row, int column) const;
    std::u16string textAt(std::int32_t row, int column) const;  // "" for empty and error cells
    // Rows of texts from A1; "" leaves a cell empty.
    static Sheet fromRows(const std::vector<std::vector<std::u16string>>& rows);
    // One column of texts from row 1, "" for empty cells, up to the last used row.
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

class Office;

// The state an application leaves behind, kept by the office after it is gone.
struct ApplicationRecord {
    bool visible = false;
    bool everShown = false;
    bool quit = false;
    bool destroyed = false;
    // The workbooks open (path, "" for an added one) and their contents, as of the last close, quit
    // or the end of the application object.
    std::vector<std::pair<std::u16string, Book>> openBooks;
};

// The factory and the shared world of the applications it creates.
class Office : public sheets::ApplicationFactory {
public:
    Office();
    ~Office() override;

    std::unique_ptr<sheets::Application> create(sheets::Desktop& desktop) override;

    std::map<std::u16string, Book> disk;

    // Every operation as "kind argument...", for example "open /d/child.xls", "worksheet 2",
    // "column 1 10", "insertColumn 3", "select C1", "paste", "close child.xls true", "quit".
    const std::vector<std::string>& log() const { return log_; }
    // Operations whose log entry starts with prefix fail: the nth such call (1-based), or every
    // one when nth is 0.
    void fail(std::string prefix, int nth = 0);

    const std::vector<ApplicationRecord>& applications() const { return records_; }
    ApplicationRecord& record(std::size_t i) { return records_.at(i); }

    // For the classes in the .cpp.
    void operation(std::string entry);

private:
    struct Rule {
        std::string prefix;
        int nth;
        int seen = 0;
    };
    std::vector<std::string> log_;
    std::vector<Rule> rules_;
    std::vector<ApplicationRecord> records_;
};

// The file name of a path, without its folder.
std::u16string fileName(const std::u16string& path);
std::string narrow(const std::u16string& s);

}  // namespace memory
