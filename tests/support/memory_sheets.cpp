#include "memory_sheets.h"

#include <cmath>

#include "sheets/failure.h"

namespace memory {
namespace {

using sheets::CellValue;
using sheets::Failure;

std::string number(double v) {
    std::string s = std::to_string(v);
    while (s.find('.') != std::string::npos && (s.back() == '0' || s.back() == '.')) s.pop_back();
    return s;
}

struct BookState {
    std::u16string path;  // empty for an added workbook
    Book data;
    bool open = true;
    bool modified = false;
    std::map<std::size_t, std::pair<std::int32_t, int>> selection;  // per sheet, default A1
};

struct ApplicationState {
    Office* office;
    sheets::Desktop* desktop;
    std::size_t index;
    std::map<std::u16string, std::shared_ptr<sheets::Workbook>> byPath;
    std::vector<std::shared_ptr<BookState>> books;  // everything it opened or added
    std::shared_ptr<BookState> active;

    ApplicationRecord& record() { return office->record(index); }
    void op(std::string entry) {
        if (record().quit) {
            office->operation(entry + " (after quit)");
            throw Failure("the application has quit");
        }
        office->operation(std::move(entry));
    }
    void noteOpenBooks() {
        record().openBooks.clear();
        for (const auto& b : books)
            if (b->open) record().openBooks.emplace_back(b->path, b->data);
    }
};

std::shared_ptr<sheets::Worksheet> sheetOf(const std::shared_ptr<ApplicationState>& app,
                                           const std::shared_ptr<BookState>& book, double index);

class MemorySheet : public sheets::Worksheet {
public:
    MemorySheet(std::shared_ptr<ApplicationState> app, std::shared_ptr<BookState> book, std::size_t index)
        : app_(std::move(app)), book_(std::move(book)), index_(index) {}

    std::int32_t usedRowCount() override {
        Sheet& s = sheet("usedRowCount");
        if (s.cells.empty()) return 1;
        std::int32_t low = s.cells.begin()->first.first, high = low;
        for (const auto& [at, value] : s.cells) high = std::max(high, at.first);
        return high - low + 1;
    }

    CellValue cell(std::int32_t row, int column) override {
        Sheet& s = sheet("cell " + std::to_string(row) + " " + std::to_string(column));
        if (row < 1 || column < 1) throw Failure("no such cell");
        return s.at(row, column);
    }

    std::vector<CellValue> column(int column, std::int32_t rows) override {
        Sheet& s = sheet("column " + std::to_string(column) + " " + std::to_string(rows));
        if (column < 1 || rows < 0) throw Failure("no such column");
        std::vector<CellValue> out;
        out.reserve(static_cast<std::size_t>(rows));
        for (std::int32_t r = 1; r <= rows; ++r) out.push_back(s.at(r, column));
        return out;
    }

    void insertColumn(int n) override {
        Sheet& s = sheet("insertColumn " + std::to_string(n));
        if (n < 1 || n > 26) throw Failure("no such column");
        std::map<std::pair<std::int32_t, int>, CellValue> moved;
        for (auto& [at, value] : s.cells)
            moved.emplace(std::pair(at.first, at.second >= n ? at.second + 1 : at.second), std::move(value));
        s.cells = std::move(moved);
        book_->modified = true;
    }

    void activate() override {
        sheet("activate");
        app_->active = book_;
    }

    void select(const std::u16string& address) override {
        sheet("select " + narrow(address));
        std::size_t i = 0;
        int column = 0;
        while (i < address.size() && address[i] >= u'A' && address[i] <= u'Z')
            column = column * 26 + (address[i++] - u'A' + 1);
        std::int32_t row = 0;
        const std::size_t digits = i;
        while (i < address.size() && address[i] >= u'0' && address[i] <= u'9')
            row = row * 10 + (address[i++] - u'0');
        if (column == 0 || digits == i || i != address.size() || row < 1) throw Failure("not a cell address");
        book_->selection[index_] = {row, column};
    }

    void paste() override {
        Sheet& s = sheet("paste");
        const auto it = book_->selection.find(index_);
        const auto [top, leftColumn] =
            it == book_->selection.end() ? std::pair<std::int32_t, int>(1, 1) : it->second;
        const std::u16string text = app_->desktop->clipboard().text();
        std::int32_t row = top;
        int column = leftColumn;
        std::u16string cell;
        auto put = [&] {
            s.set(row, column, cell.empty() ? CellValue() : CellValue::text(cell));
            cell.clear();
        };
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == u'\t') {
                put();
                ++column;
            } else if (text[i] == u'\r') {
                put();
                ++row;
                column = leftColumn;
            } else {
                cell.push_back(text[i]);
            }
        }
        if (!cell.empty()) put();
        book_->modified = true;
    }

private:
    Sheet& sheet(std::string entry) {
        app_->op(std::move(entry));
        if (!book_->open) throw Failure("the workbook is closed");
        return book_->data.sheets.at(index_);
    }

    std::shared_ptr<ApplicationState> app_;
    std::shared_ptr<BookState> book_;
    std::size_t index_;
};

std::shared_ptr<sheets::Worksheet> sheetOf(const std::shared_ptr<ApplicationState>& app,
                                           const std::shared_ptr<BookState>& book, double index) {
    if (!book->open) throw Failure("the workbook is closed");
    const double position = std::nearbyint(index);
    if (!(position >= 1 && position <= static_cast<double>(book->data.sheets.size())))
        throw Failure("no sheet at that position");
    return std::make_shared<MemorySheet>(app, book, static_cast<std::size_t>(position) - 1);
}

class MemoryWorkbook : public sheets::Workbook {
public:
    MemoryWorkbook(std::shared_ptr<ApplicationState> app, std::shared_ptr<BookState> book)
        : app_(std::move(app)), book_(std::move(book)) {}

    std::shared_ptr<sheets::Worksheet> worksheet(double index) override {
        app_->op("worksheet " + number(index));
        return sheetOf(app_, book_, index);
    }

    void close(std::optional<bool> saveChanges) override {
        app_->op("close " + narrow(fileName(book_->path)) + " " +
                 (saveChanges ? (*saveChanges ? "true" : "false") : "ask"));
        if (!book_->open) throw Failure("the workbook is closed");
        bool save = saveChanges.value_or(false);
        if (!saveChanges && book_->modified) save = app_->desktop->askSaveChanges(fileName(book_->path));
        if (save && book_->modified) {
            if (book_->path.empty()) throw Failure("a new workbook has no file");
            app_->office->disk[book_->path] = book_->data;
        }
        book_->open = false;
        app_->byPath.erase(book_->path);
        app_->noteOpenBooks();
    }

private:
    std::shared_ptr<ApplicationState> app_;
    std::shared_ptr<BookState> book_;
};

class MemoryApplication : public sheets::Application {
public:
    explicit MemoryApplication(std::shared_ptr<ApplicationState> state) : state_(std::move(state)) {}

    ~MemoryApplication() override {
        ApplicationRecord& r = state_->record();
        r.destroyed = true;
        // An office never shown ends with its application object and keeps nothing open.
        if (!r.quit && !r.everShown)
            for (const auto& b : state_->books) b->open = false;
        state_->noteOpenBooks();
    }

    void setVisible(bool visible) override {
        state_->op(std::string("setVisible ") + (visible ? "true" : "false"));
        state_->record().visible = visible;
        if (visible) state_->record().everShown = true;
    }

    std::shared_ptr<sheets::Workbook> open(const std::u16string& path) override {
        state_->op("open " + narrow(path));
        if (const auto it = state_->byPath.find(path); it != state_->byPath.end()) return it->second;
        const auto file = state_->office->disk.find(path);
        if (file == state_->office->disk.end()) throw Failure("no such file");
        auto book = std::make_shared<BookState>();
        book->path = path;
        book->data = file->second;
        state_->books.push_back(book);
        state_->active = book;
        auto workbook = std::make_shared<MemoryWorkbook>(state_, book);
        state_->byPath[path] = workbook;
        state_->noteOpenBooks();
        return workbook;
    }

    std::shared_ptr<sheets::Workbook> add() override {
        state_->op("add");
        auto book = std::make_shared<BookState>();
        state_->books.push_back(book);
        state_->active = book;
        state_->noteOpenBooks();
        return std::make_shared<MemoryWorkbook>(state_, book);
    }

    std::shared_ptr<sheets::Worksheet> activeWorksheet(double index) override {
        state_->op("activeWorksheet " + number(index));
        if (!state_->active) throw Failure("no active workbook");
        return sheetOf(state_, state_->active, index);
    }

    void quit() override {
        state_->op("quit");
        for (const auto& b : state_->books) b->open = false;
        state_->byPath.clear();
        state_->record().quit = true;
        state_->noteOpenBooks();
    }

private:
    std::shared_ptr<ApplicationState> state_;
};

}  // namespace

void Sheet::set(std::int32_t row, int column, CellValue value) {
    if (value.kind() == CellValue::Kind::Empty) {
        cells.erase({row, column});
    } else {
        cells[{row, column}] = std::move(value);
    }
}

CellValue Sheet::at(std::int32_t row, int column) const {
    const auto it = cells.find({row, column});
    return it == cells.end() ? CellValue() : it->second;
}

std::u16string Sheet::textAt(std::int32_t row, int column) const {
    const CellValue v = at(row, column);
    return v.isError() ? u"" : v.toText();
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
    std::int32_t last = 0;
    for (const auto& [at, value] : cells) last = std::max(last, at.first);
    std::vector<std::u16string> out;
    for (std::int32_t r = 1; r <= last; ++r) out.push_back(textAt(r, column));
    while (!out.empty() && out.back().empty()) out.pop_back();
    return out;
}

Office::Office() = default;
Office::~Office() = default;

std::unique_ptr<sheets::Application> Office::create(sheets::Desktop& desktop) {
    operation("create");
    records_.emplace_back();
    auto state = std::make_shared<ApplicationState>();
    state->office = this;
    state->desktop = &desktop;
    state->index = records_.size() - 1;
    return std::make_unique<MemoryApplication>(std::move(state));
}

void Office::fail(std::string prefix, int nth) {
    rules_.push_back({std::move(prefix), nth});
}

void Office::operation(std::string entry) {
    log_.push_back(entry);
    for (Rule& rule : rules_) {
        if (entry.compare(0, rule.prefix.size(), rule.prefix) != 0) continue;
        ++rule.seen;
        if (rule.nth == 0 || rule.nth == rule.seen) throw Failure("injected failure: " + entry);
    }
}

std::u16string fileName(const std::u16string& path) {
    const auto slash = path.find_last_of(u"/\\");
    return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

std::string narrow(const std::u16string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        char32_t c = s[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size())
            c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

}  // namespace memory
