#include "sheets/direct/direct_application.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <iostream>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

#include "sheets/backup.h"
#include "sheets/failure.h"
#include "sheets/file_identity.h"
#include "sheets/file_locks.h"
#include "sheets/office_locale.h"
#include "sheets/run_history.h"
#include "sheets/utf8.h"
#include "sheets/workbook_file.h"
#include "sheets/xlsx/workbook_reader.h"
#include "sheets/xlsx/xlsx_writer.h"

namespace sheets::direct {
namespace {

constexpr int kRows = 1048576;
constexpr int kColumns = 16384;

class DirectWorkbook;

// What an application and its workbooks share; once it has quit, using them fails.
struct Session {
    Session(Desktop& d, xlsx::NumberLocale l) : desktop(d), locale(l) {}
    Desktop& desktop;
    xlsx::NumberLocale locale;
    bool ended = false;
    std::vector<std::shared_ptr<DirectWorkbook>> workbooks;
    RunBackup backups;
};

std::u16string fileNameOf(const std::string& path) {
    return fromUtf8(path.substr(path.rfind('/') + 1));
}

class DirectWorkbook : public Workbook, public std::enable_shared_from_this<DirectWorkbook> {
public:
    DirectWorkbook(std::weak_ptr<Session> session, std::string path)
        : session_(std::move(session)),
          path_(std::move(path)),
          identity_(identityOf(path_)),
          reader_(path_, session_.lock()->locale) {}

    const std::string& path() const { return path_; }

    std::shared_ptr<Session> session() const {
        auto s = session_.lock();
        if (!s || s->ended) throw Failure("the spreadsheet application of " + path_ + " has quit");
        if (closed_) throw Failure("workbook " + path_ + " is closed");
        return s;
    }

    std::shared_ptr<Worksheet> worksheet(double index) override;

    StoreReport close(std::optional<bool> saveChanges) override {
        auto s = session();
        const bool modified = !edits_.empty();
        bool store = false;
        if (saveChanges)
            store = *saveChanges && modified;
        else if (modified)
            store = s->desktop.askSaveChanges(fileNameOf(path_));
        if (store && editFailed_) {
            forget();
            throw Failure("not storing " + path_ + ": a change to it failed part-way");
        }
        StoreReport report;
        if (store) report = save(*s);
        forget();
        return report;
    }

    // Closed without saving, for quitting.
    void discard() { closed_ = true; }

    // Reads a sheet at a position from 1, the columns given; progress goes to the desktop. A reading
    // made ahead of the same sheet holding those columns is taken as it is.
    std::unique_ptr<xlsx::SheetReader> read(int position, std::vector<int> columns) {
        auto s = session();
        if (!edits_.empty()) throw Failure("reading " + path_ + " after a change to it");
        auto ahead = std::move(ahead_);
        if (ahead && aheadPosition_ == position &&
            std::all_of(columns.begin(), columns.end(), [&](int c) { return ahead->holds(c); }))
            return ahead;
        Desktop& desktop = s->desktop;
        return reader_.read(position, std::move(columns), [&desktop](std::int64_t done, std::int64_t total) {
            desktop.progress(done, total);
        });
    }
    const std::string& sheetName(int position) const { return reader_.sheetName(position); }
    int sheetCount() const { return reader_.sheetCount(); }

    // Reads a sheet before the run asks for it, on another thread than the run's, which must not touch
    // this workbook meanwhile; progress goes to `progress`, not to the desktop.
    void readAhead(int position, std::vector<int> columns, const xlsx::ReadProgress& progress) {
        ahead_ = reader_.read(position, std::move(columns), progress);
        aheadPosition_ = position;
    }

    void edited(WorkbookEdit edit) { edits_.push_back(std::move(edit)); }
    void editFailed() { editFailed_ = true; }

private:
    StoreReport save(Session& s) {
        StoreReport report{StoreReport::How::InPlace, fromUtf8(path_), {}, {}, {}};
        // Another program that holds the file now, or a file or folder that cannot be written.
        if (const auto why = whyNotStorable(path_)) throw Failure("not storing " + path_, *why);
        if (identity_ && identityOf(path_) != identity_)
            throw Failure("not storing " + path_ + ": another program changed it since it was opened",
                          causeAbout(FailureCause::Kind::FileChanged, path_));
        if (edits_.size() != 1)
            throw NeedsOffice{"more than one change to " + path_, u"更改不止插入的列和结果"};
        // The file as it is on disk is copied before it is written over; without a copy there is none.
        report.backupPath = fromUtf8(s.backups.copy(path_).string());
        try {
            xlsx::applyInPlace(path_, edits_.front(), identity_);
        } catch (const Unsupported& u) {
            throw NeedsOffice{path_ + " cannot take the change in place: " + u.what(),
                              u"结果无法直接写入文件（" + u.reason() + u"）"};
        }
        // What the file holds now, so that an undo can tell whether it has changed since.
        if (!recordStored(s.backups, toUtf8(report.backupPath), path_, {resultColumnsOf(edits_.front())}))
            std::cerr << "pellucor: the store of " << path_
                      << " cannot be undone: its state was not recorded\n";
        return report;
    }

    void forget() {
        closed_ = true;
        if (auto s = session_.lock()) std::erase(s->workbooks, shared_from_this());
    }

    std::weak_ptr<Session> session_;
    std::string path_;
    std::optional<FileIdentity> identity_;
    xlsx::WorkbookReader reader_;
    std::unique_ptr<xlsx::SheetReader> ahead_;
    int aheadPosition_ = 0;
    std::vector<WorkbookEdit> edits_;
    bool editFailed_ = false;
    bool closed_ = false;
};

std::vector<int> validColumns(std::vector<int> columns) {
    std::erase_if(columns, [](int c) { return c < 1 || c > kColumns; });
    return columns;
}

// "C1": 0-based column and row, or nothing.
bool isCellAddress(const std::u16string& address) {
    std::size_t i = 0;
    int column = 0;
    while (i < address.size() && i < 3 && ((address[i] | 0x20) >= u'a' && (address[i] | 0x20) <= u'z'))
        column = column * 26 + ((address[i++] | 0x20) - u'a' + 1);
    if (i == 0 || column > kColumns || i == address.size() || address[i] == u'0') return false;
    long row = 0;
    for (; i < address.size(); ++i) {
        if (address[i] < u'0' || address[i] > u'9' || row > kRows) return false;
        row = row * 10 + (address[i] - u'0');
    }
    return row >= 1 && row <= kRows;
}

class DirectWorksheet : public Worksheet {
public:
    DirectWorksheet(std::shared_ptr<DirectWorkbook> book, int position)
        : book_(std::move(book)), position_(position) {}

    void willRead(const std::vector<int>& columns) override { expected_ = columns; }

    std::int32_t usedRowCount() override {
        if (!reading_) reading_ = book_->read(position_, validColumns(expected_));
        return reading_->usedRows();
    }

    CellValue cell(std::int32_t row, int column) override {
        book_->session();
        if (row < 1 || row > kRows || column < 1 || column > kColumns)
            throw Failure("no cell at row " + std::to_string(row) + ", column " + std::to_string(column) +
                          " of " + where());
        return book_->read(position_, {column})->cell(column, row);
    }

    std::vector<std::vector<CellValue>> columns(const std::vector<int>& columns, std::int32_t rows) override {
        book_->session();
        for (const int c : columns)
            if (c < 1 || c > kColumns || rows < 0 || rows > kRows)
                throw Failure("cannot read rows 1 to " + std::to_string(rows) + " of column " +
                              std::to_string(c) + " of " + where());
        const bool read = reading_ && std::all_of(columns.begin(), columns.end(),
                                                  [&](int c) { return reading_->holds(c); });
        auto reading = read ? std::move(reading_) : book_->read(position_, columns);
        reading_.reset();
        std::vector<std::vector<CellValue>> out;
        for (const int c : columns) out.push_back(reading->column(c, rows));
        return out;
    }

    void activate() override { book_->session(); }

    void select(const std::u16string& address) override {
        book_->session();
        if (!isCellAddress(address))
            throw Failure("not a single cell address: \"" + toUtf8(address) + "\" (" + where() + ")");
    }

    void apply(const SheetEdit& edit) override {
        book_->session();
        const auto rows = edit.cells.rowCount();
        const bool inserting = edit.insertCount > 0;
        if (edit.insertCount < 0 ||
            (inserting && (edit.insertAt < 1 || edit.insertAt + edit.insertCount > kColumns)) ||
            edit.firstColumn < 1 || rows > static_cast<std::size_t>(kRows) ||
            (rows > 0 && edit.cells.width > 0 && edit.firstColumn + edit.cells.width - 1 > kColumns)) {
            book_->editFailed();
            throw Failure("the edit reaches beyond " + where());
        }
        reading_.reset();
        book_->edited({position_, fromUtf8(book_->sheetName(position_)), edit});
    }

private:
    std::string where() const { return "sheet " + std::to_string(position_) + " of " + book_->path(); }

    std::shared_ptr<DirectWorkbook> book_;
    int position_;
    std::vector<int> expected_;
    std::unique_ptr<xlsx::SheetReader> reading_;
};

std::shared_ptr<Worksheet> DirectWorkbook::worksheet(double index) {
    session();
    if (!std::isfinite(index)) throw Failure("no sheet at a position that is not a number in " + path_);
    const double position = std::nearbyint(index);
    const int count = reader_.sheetCount();
    if (position < 1 || position > count) {
        FailureCause cause = causeAbout(FailureCause::Kind::NoSuchSheet, path_);
        cause.sheetCount = count;
        cause.sheetPosition = index;
        throw Failure("workbook " + path_ + " has " + std::to_string(count) + " sheet(s), none at position " +
                          std::to_string(index),
                      cause);
    }
    return std::make_shared<DirectWorksheet>(shared_from_this(), static_cast<int>(position));
}

// A sheet read on a thread of its own while the run reads the sheet before it, so that a run's two
// tables take both cores. Its progress is kept for the run to show once it comes to the sheet. A
// reading that fails is dropped: the run's own reading then meets the failure as it would have.
class ReadAhead {
public:
    ReadAhead(std::shared_ptr<DirectWorkbook> book, int position, std::vector<int> columns)
        : book_(std::move(book)), thread_([this, position, c = std::move(columns)] { read(position, c); }) {}
    ~ReadAhead() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    const std::string& file() const { return book_->path(); }

    // Waits for the reading, its progress shown on `desktop`, which may throw to stop it. The workbook
    // holding the reading, or null when the reading failed.
    std::shared_ptr<DirectWorkbook> finish(Desktop& desktop) {
        std::unique_lock lock(mutex_);
        while (!finishedChanged_.wait_for(lock, std::chrono::milliseconds(100), [&] { return finished_; })) {
            lock.unlock();
            if (total_ > 0) desktop.progress(done_, total_);
            lock.lock();
        }
        lock.unlock();
        thread_.join();
        return failed_ ? nullptr : book_;
    }

private:
    struct Stopped {};

    void read(int position, std::vector<int> columns) {
        try {
            book_->readAhead(position, std::move(columns), [this](std::int64_t done, std::int64_t total) {
                if (stop_) throw Stopped{};
                done_ = done;
                total_ = total;
            });
        } catch (...) {
            failed_ = true;
        }
        const std::lock_guard lock(mutex_);
        finished_ = true;
        finishedChanged_.notify_all();
    }

    std::shared_ptr<DirectWorkbook> book_;
    std::atomic<bool> stop_ = false;
    std::atomic<std::int64_t> done_ = 0, total_ = 0;
    bool failed_ = false;  // written before finished_, read after it
    std::mutex mutex_;
    std::condition_variable finishedChanged_;
    bool finished_ = false;
    std::thread thread_;  // last: it starts once the rest is made
};

class DirectApplication : public Application {
public:
    DirectApplication(Desktop& desktop, xlsx::NumberLocale locale, const RunFiles& files)
        : session_(std::make_shared<Session>(desktop, locale)) {
        readAhead(files.reads);
    }
    ~DirectApplication() override { end(); }

    void setVisible(bool) override { check(); }

    std::shared_ptr<Workbook> open(const std::u16string& path) override {
        check();
        const std::string file = existingWorkbookFile(path);
        for (const auto& w : session_->workbooks)
            if (w->path() == file) return w;
        auto book = readAheadOf(file);
        if (!book) book = std::make_shared<DirectWorkbook>(session_, file);
        session_->workbooks.push_back(book);
        return book;
    }

    std::shared_ptr<Workbook> add() override {
        check();
        throw NeedsOffice{"a new workbook is shown in the office", u"结果要放入新工作簿"};
    }

    std::shared_ptr<Worksheet> activeWorksheet(double index) override {
        check();
        if (session_->workbooks.empty()) throw Failure("there is no active workbook");
        return session_->workbooks.back()->worksheet(index);
    }

    void quit() override {
        check();
        end();
    }

private:
    // The run's second sheet, when it is in another workbook than the first.
    void readAhead(const std::vector<SheetRead>& reads) {
        if (reads.size() < 2) return;
        const SheetRead& read = reads[1];
        try {
            const std::string file = existingWorkbookFile(read.path);
            if (file == existingWorkbookFile(reads[0].path)) return;
            auto book = std::make_shared<DirectWorkbook>(session_, file);
            const double position = std::nearbyint(read.sheet);
            if (!std::isfinite(position) || position < 1 || position > book->sheetCount()) return;
            ahead_ = std::make_unique<ReadAhead>(std::move(book), static_cast<int>(position),
                                                 validColumns(read.columns));
        } catch (...) {
            // The run meets whatever this was in its own course.
        }
    }

    std::shared_ptr<DirectWorkbook> readAheadOf(const std::string& file) {
        if (!ahead_ || ahead_->file() != file) return nullptr;
        const auto ahead = std::move(ahead_);
        return ahead->finish(session_->desktop);
    }

    void check() const {
        if (session_->ended) throw Failure("the spreadsheet application has quit");
    }
    void end() noexcept {
        ahead_.reset();
        session_->ended = true;
        for (const auto& w : session_->workbooks) w->discard();
        session_->workbooks.clear();
    }

    std::shared_ptr<Session> session_;
    std::unique_ptr<ReadAhead> ahead_;
};

}  // namespace

std::unique_ptr<Application> DirectApplicationFactory::create(Desktop& desktop, const RunFiles& files) {
    const std::string locale = officeNumberLocale();
    if (locale == "en-US")
        return std::make_unique<DirectApplication>(desktop, xlsx::NumberLocale::EnUs, files);
    if (locale == "zh-CN")
        return std::make_unique<DirectApplication>(desktop, xlsx::NumberLocale::ZhCn, files);
    throw NeedsOffice{"numbers are read in " + locale + ", whose formats are not known here",
                      u"系统区域设置为 " + fromUtf8(locale) + u"，其数字格式只有 LibreOffice 能确定"};
}

}  // namespace sheets::direct
