#pragma once
// The Calc application, workbooks and worksheets; private to sheets/calc.

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/table/CellRangeAddress.hpp>
#include <com/sun/star/util/XNumberFormats.hpp>

#include "sheets/application.h"
#include "sheets/backup.h"
#include "sheets/calc/hosted_frame.h"
#include "sheets/calc/office_process.h"
#include "sheets/calc/office_watch.h"
#include "sheets/calc/uno_support.h"
#include "sheets/file_identity.h"
#include "sheets/run_history.h"

namespace sheets::calc {

class CalcWorkbook;

// What a number in a cell of a number format is: a plain number, a date or a boolean, and the
// format it is shown in (null for the general format).
struct ShownAs {
    CellValue::Kind kind = CellValue::Kind::Number;
    std::shared_ptr<const NumberFormat> format;
};

// Number formats ordered by code, then locale.
struct FormatOrder {
    bool operator()(const NumberFormat& a, const NumberFormat& b) const {
        return a.code != b.code ? a.code < b.code : a.locale < b.locale;
    }
};

struct CellPosition {
    sal_Int32 column = 0;
    sal_Int32 row = 0;
};

// What an application and everything it handed out share. Workbooks hold it weakly: once the
// application is gone, using them fails.
struct Session {
    Session(sheets::Desktop& desktop, bool headless);

    sheets::Desktop& desktop;
    OfficeProcess office;
    OfficeWatch watch;
    Reference<css::uno::XComponentContext> context;
    Reference<css::frame::XDesktop2> frames;
    // The frames of the workbooks loaded from files, each in an invisible window of its own.
    std::vector<HostedFrame> hostedFrames;
    bool ended = false;
    bool visible = false;
    // Open workbooks, the active one last.
    std::vector<std::shared_ptr<CalcWorkbook>> workbooks;
    // The copies of the files this application stores over, one folder for all of them.
    RunBackup backups;

    // Copies the file before it is stored over; returns the copy's path. Throws Failure.
    std::u16string backUp(const std::string& path);

    void checkRunning() const;
    // Carries out one call to the office under the watch (office_watch.h): a call the watch cut short
    // by ending the office fails saying why.
    template <class Call>
    auto watched(Call&& call) -> decltype(call()) {
        const OfficeWatch::Call during(watch);
        try {
            return call();
        } catch (const Failure& f) {
            throwIfEndedByWatch(f.what());
            throw;
        }
    }
    void throwIfEndedByWatch(const std::string& detail) const;
    bool canShow() const { return !office.headless(); }
    void makeActive(const std::shared_ptr<CalcWorkbook>& workbook);
    void forget(const CalcWorkbook* workbook);
    std::shared_ptr<CalcWorkbook> findByPath(const std::string& path) const;
    // Tells the guard whether a workbook is on the screen.
    void updateShown();
    // The window that shows a frame: its host for a hosted frame, else its own container window.
    Reference<css::awt::XWindow> windowOf(const Reference<css::frame::XFrame>& frame) const;
    // Disposes what hosted a frame whose document is closed.
    void releaseHost(const Reference<css::frame::XFrame>& frame) noexcept;
};

class CalcWorkbook : public sheets::Workbook, public std::enable_shared_from_this<CalcWorkbook> {
public:
    // path: canonical absolute path, empty for a new workbook. lockedElsewhere: the document is a copy
    // of a file that another office holds. identity: the file as it was when it was loaded.
    CalcWorkbook(std::weak_ptr<Session> session, Reference<css::lang::XComponent> document, std::string path,
                 bool lockedElsewhere, std::optional<FileIdentity> identity);

    std::shared_ptr<sheets::Worksheet> worksheet(double index) override;
    StoreReport close(std::optional<bool> saveChanges) override;

    const std::string& path() const { return path_; }
    // Path or title, for failure details.
    std::string label() const;
    std::u16string fileName() const;
    // The session, when this workbook is still open in a running application; throws Failure otherwise.
    std::shared_ptr<Session> session() const;
    const Reference<css::lang::XComponent>& document() const { return document_; }
    // How a number in a cell of a number format key is read.
    const ShownAs& shownAs(sal_Int32 key);
    // Days to add to a date of this document to count them from 1899-12-30 (files of the 1904 date
    // system count from 1904-01-01).
    double dateOffset();
    // Shows the cells of the ranges in a number format, adding it to the document when it is new.
    void applyFormat(const NumberFormat& format, const std::vector<css::table::CellRangeAddress>& ranges);
    // What the run changed in the workbook: an edit applied, or one that failed part-way, after
    // which the workbook is not stored.
    void edited(WorkbookEdit edit);
    void editFailed() { editFailed_ = true; }
    void setWindowVisible(bool visible);
    bool windowShown() const { return shown_; }
    // Closes without saving and without any question; for quitting.
    void discard() noexcept;
    void activateSheet(const Reference<css::sheet::XSpreadsheet>& sheet);

private:
    std::shared_ptr<sheets::Worksheet> sheetAt(double index);
    StoreReport closeAndStore(std::optional<bool> saveChanges);
    StoreReport save();
    bool writeInPlace(StoreReport& report);
    void storeByOffice(StoreReport& report);
    void closeDocument();

    std::weak_ptr<Session> session_;
    Reference<css::lang::XComponent> document_;
    Reference<css::util::XNumberFormats> numberFormats();

    Reference<css::util::XNumberFormats> formats_;
    std::map<sal_Int32, ShownAs> shownAs_;
    std::optional<double> dateOffset_;
    std::string path_;
    bool lockedElsewhere_;
    std::optional<FileIdentity> identity_;
    std::vector<WorkbookEdit> edits_;
    bool editFailed_ = false;
    bool closed_ = false;
    bool shown_ = false;
};

class CalcWorksheet : public sheets::Worksheet {
public:
    CalcWorksheet(std::shared_ptr<CalcWorkbook> workbook, Reference<css::sheet::XSpreadsheet> sheet,
                  int position);

    std::int32_t usedRowCount() override;
    CellValue cell(std::int32_t row, int column) override;
    std::vector<std::vector<CellValue>> columns(const std::vector<int>& columns, std::int32_t rows) override;
    void activate() override;
    void select(const std::u16string& address) override;
    void apply(const SheetEdit& edit) override;

private:
    // Rows [firstRow, firstRow + rows) of a column, 0-based, as the run sees them.
    std::vector<CellValue> readColumn(sal_Int32 column, sal_Int32 firstRow, sal_Int32 rows);
    std::string where() const;
    void check() const;
    // Carries out a call to the office under its watch (Session::watched).
    template <class Call>
    auto watched(Call&& call) -> decltype(call()) {
        return workbook_->session()->watched(std::forward<Call>(call));
    }
    std::int32_t usedRows();
    void writeEdit(const SheetEdit& edit);
    void insertColumns(int at, int count);
    void writeCells(const CellRows& rows, CellPosition from);

    std::shared_ptr<CalcWorkbook> workbook_;
    Reference<css::sheet::XSpreadsheet> sheet_;
    int position_;
};

// The frame that shows a document, or none (a document the user closed in the office, say).
Reference<css::frame::XFrame> frameOf(const Reference<css::lang::XComponent>& document) noexcept;

// What the workbook at path holds of the features the office's store is known to change; checked
// cheaply, without reading the sheets' cells.
std::vector<StoreReport::Feature> featuresTheStoreChanges(const Reference<css::lang::XComponent>& document,
                                                          const std::string& path);

// Parts of an address such as "C1": 0-based column and row, or nullopt.
std::optional<CellPosition> parseCellAddress(const std::u16string& address);

}  // namespace sheets::calc
