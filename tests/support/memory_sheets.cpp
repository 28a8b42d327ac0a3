#include "memory_sheets.h"

#include <cmath>
#include <sstream>

#include "sheets/failure.h"

namespace memory {
namespace {

using sheets::CellValue;
using sheets::Failure;
using sheets::FailureCause;

// The tests' paths and addresses are ASCII.
std::string narrow(const std::u16string& s) {
    return std::string(s.begin(), s.end());
}

std::u16string fileName(const std::u16string& path) {
    const auto slash = path.find_last_of(u"/\\");
    return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

// What an application and its workbooks and sheets share.
struct AppState {
    Office& office;
    sheets::Desktop& desktop;
    ApplicationRecord& record;
    std::map<std::u16string, std::shared_ptr<sheets::Workbook>> byPath;
    std::shared_ptr<OpenedBook> active;

    void op(const std::string& entry) {
        office.operation(record.quit ? entry + " (after quit)" : entry);
        if (record.quit) throw Failure("the application has quit");
    }
};
using App = std::shared_ptr<AppState>;
using BookPtr = std::shared_ptr<OpenedBook>;

class MemorySheet : public sheets::Worksheet {
public:
    MemorySheet(App app, BookPtr book, std::size_t index)
        : app_(std::move(app)), book_(std::move(book)), index_(index) {}

    std::int32_t usedRowCount() override {
        const auto& cells = sheet("usedRowCount").cells;  // ordered by row: first and last used rows
        return cells.empty() ? 1 : cells.rbegin()->first.first - cells.begin()->first.first + 1;
    }

    // The run reads whole columns in one request each, never a single cell.
    CellValue cell(std::int32_t, int) override { throw Failure("a single cell read"); }

    std::vector<std::vector<CellValue>> columns(const std::vector<int>& columns, std::int32_t rows) override {
        std::vector<std::vector<CellValue>> out;
        for (const int column : columns) {
            const auto& cells = sheet("column " + std::to_string(column) + " " + std::to_string(rows)).cells;
            auto& values = out.emplace_back(static_cast<std::size_t>(std::max(rows, 0)));
            for (const auto& [at, value] : cells)
                if (at.second == column && at.first <= rows)
                    values[static_cast<std::size_t>(at.first - 1)] = value;
        }
        return out;
    }

    void activate() override { sheet("activate"); }

    void select(const std::u16string& address) override {
        sheet("select " + narrow(address));
        if (address.size() < 2 || address[0] < u'A' || address[0] > u'Z' ||
            address.find_first_not_of(u"0123456789", 1) != address.npos)
            throw Failure("not a cell address the run uses");
    }

    void apply(const sheets::SheetEdit& edit) override {
        Sheet& s = sheet("apply insert " + std::to_string(edit.insertCount) + " at " +
                         std::to_string(edit.insertAt) + " write " +
                         std::string(1, static_cast<char>('A' + edit.firstColumn - 1)) + "1");
        if (edit.insertCount > 0 && (edit.insertAt < 1 || edit.insertAt > 26))
            throw Failure("no such column");
        book_->modified = true;
        decltype(s.cells) moved;
        for (auto& [at, value] : s.cells)
            moved[{at.first, at.second >= edit.insertAt ? at.second + edit.insertCount : at.second}] = value;
        s.cells = std::move(moved);
        const auto& rows = edit.cells;
        for (std::size_t r = 0; r < rows.rowCount(); ++r)
            for (int c = 0; c < rows.width; ++c)
                s.set(1 + static_cast<std::int32_t>(r), edit.firstColumn + c, rows.at(r, c));
    }

private:
    Sheet& sheet(const std::string& entry) {
        app_->op(entry);
        if (!book_->open) throw Failure("the workbook is closed");
        return book_->data.sheets.at(index_);
    }

    App app_;
    BookPtr book_;
    std::size_t index_;
};

std::shared_ptr<sheets::Worksheet> sheetOf(const App& app, const BookPtr& book, double index) {
    if (!book->open) throw Failure("the workbook is closed");
    const double position = std::nearbyint(index);
    if (!(position >= 1 && position <= static_cast<double>(book->data.sheets.size()))) {
        FailureCause cause(FailureCause::Kind::NoSuchSheet, fileName(book->path));
        cause.sheetCount = static_cast<int>(book->data.sheets.size());
        cause.sheetPosition = index;
        throw Failure("no sheet at that position", cause);
    }
    return std::make_shared<MemorySheet>(app, book, static_cast<std::size_t>(position) - 1);
}

std::string withNumber(const char* kind, double index) {
    std::ostringstream s;
    s << kind << ' ' << index;
    return s.str();
}

class MemoryWorkbook : public sheets::Workbook {
public:
    MemoryWorkbook(App app, BookPtr book) : app_(std::move(app)), book_(std::move(book)) {}

    std::shared_ptr<sheets::Worksheet> worksheet(double index) override {
        app_->op(withNumber("worksheet", index));
        return sheetOf(app_, book_, index);
    }

    sheets::StoreReport close(std::optional<bool> saveChanges) override {
        const std::string name = narrow(fileName(book_->path));
        app_->op("close " + name + " " + (saveChanges ? (*saveChanges ? "true" : "false") : "ask"));
        if (!book_->open) throw Failure("the workbook is closed");
        sheets::StoreReport report;
        // only a changed workbook is stored or asked about
        if (book_->modified &&
            (saveChanges ? *saveChanges : app_->desktop.askSaveChanges(fileName(book_->path)))) {
            if (book_->path.empty())
                throw Failure("a new workbook has no file", FailureCause(FailureCause::Kind::NoFile));
            app_->op("backup " + name);
            report = {sheets::StoreReport::How::ByOffice,
                      book_->path,
                      u"/backups/" + fileName(book_->path),
                      {},
                      {}};
            app_->office.disk[book_->path] = book_->data;
        }
        book_->open = false;
        app_->byPath.erase(book_->path);
        return report;
    }

private:
    App app_;
    BookPtr book_;
};

class MemoryApplication : public sheets::Application {
public:
    explicit MemoryApplication(App app) : app_(std::move(app)) {}

    ~MemoryApplication() override {
        app_->record.destroyed = true;
        // An office never shown ends with its application object and keeps nothing open.
        if (!app_->record.everShown)
            for (const auto& b : app_->record.books) b->open = false;
    }

    void setVisible(bool visible) override {
        app_->op(std::string("setVisible ") + (visible ? "true" : "false"));
        app_->record.visible = visible;
        app_->record.everShown |= visible;
    }

    std::shared_ptr<sheets::Workbook> open(const std::u16string& path) override {
        app_->op("open " + narrow(path));
        if (const auto it = app_->byPath.find(path); it != app_->byPath.end()) return it->second;
        const auto file = app_->office.disk.find(path);
        if (file == app_->office.disk.end())
            throw Failure("no such file", FailureCause(FailureCause::Kind::FileMissing, fileName(path)));
        return app_->byPath[path] = added(path, file->second);
    }

    std::shared_ptr<sheets::Workbook> add() override {
        app_->op("add");
        return added(u"", Book{});
    }

    std::shared_ptr<sheets::Worksheet> activeWorksheet(double index) override {
        app_->op(withNumber("activeWorksheet", index));
        if (!app_->active) throw Failure("no active workbook");
        return sheetOf(app_, app_->active, index);
    }

    void quit() override {
        app_->op("quit");
        for (const auto& b : app_->record.books) b->open = false;
        app_->byPath.clear();
        app_->record.quit = true;
    }

private:
    std::shared_ptr<sheets::Workbook> added(const std::u16string& path, const Book& data) {
        app_->active = std::make_shared<OpenedBook>(OpenedBook{path, data});
        app_->record.books.push_back(app_->active);
        return std::make_shared<MemoryWorkbook>(app_, app_->active);
    }

    App app_;
};

}  // namespace

void Sheet::set(std::int32_t row, int column, CellValue value) {
    if (value.kind() == CellValue::Kind::Empty) {
        cells.erase({row, column});
    } else {
        cells[{row, column}] = std::move(value);
    }
}

Sheet Sheet::fromRows(const std::vector<std::vector<std::u16string>>& rows) {
    Sheet s;
    for (std::size_t r = 0; r < rows.size(); ++r)
        for (std::size_t c = 0; c < rows[r].size(); ++c)
            if (!rows[r][c].empty())
                s.set(static_cast<std::int32_t>(r + 1), static_cast<int>(c + 1), CellValue::text(rows[r][c]));
    return s;
}

std::vector<std::u16string> Sheet::columnTexts(int column) const {
    std::vector<std::u16string> out;
    for (const auto& [at, value] : cells) {
        const std::u16string text = value.isError() ? u"" : value.toText();
        if (at.second != column || text.empty()) continue;
        out.resize(std::max(out.size(), static_cast<std::size_t>(at.first)));
        out[static_cast<std::size_t>(at.first - 1)] = text;
    }
    return out;
}

std::unique_ptr<sheets::Application> Office::create(sheets::Desktop& desktop, const sheets::RunFiles& files) {
    operation("create");
    lastFiles = files;
    return std::make_unique<MemoryApplication>(
        std::make_shared<AppState>(AppState{*this, desktop, records_.emplace_back(), {}, {}}));
}

void Office::operation(const std::string& entry) {
    log_.push_back(entry);
    if (onOperation) onOperation(entry);
    if (!needsOffice_.empty() && entry.starts_with(needsOffice_)) {
        needsOffice_.clear();
        throw sheets::NeedsOffice{"injected: " + entry, u"公式没有保存的结果"};
    }
    for (Rule& rule : rules_)
        if (entry.starts_with(rule.prefix) && (++rule.seen == rule.nth || rule.nth == 0))
            throw Failure("injected failure: " + entry, rule.cause);
}

}  // namespace memory
