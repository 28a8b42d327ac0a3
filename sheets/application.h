#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sheets/cell_value.h"
#include "sheets/sheet_edit.h"

namespace sheets {

// Every operation throws Failure when it cannot be carried out; an operation on a closed workbook or
// on a sheet of one fails. Rows and columns count from 1.
class Worksheet {
public:
    virtual ~Worksheet() = default;

    // The columns a later columns() request will ask for, told before the used rows are counted: a
    // sheet read from its file takes them from the same reading. Any other request still works.
    virtual void willRead(const std::vector<int>& columns) { (void)columns; }
    // Rows of the used range (used cells in rows 3 to 10 give 8; an empty sheet gives 1).
    virtual std::int32_t usedRowCount() = 0;
    virtual CellValue cell(std::int32_t row, int column) = 0;
    // Rows 1..rows of each of the columns in one request, in the order given; error cells come back as
    // CellValue::error(). A sheet read from its file reads it once for all of them.
    virtual std::vector<std::vector<CellValue>> columns(const std::vector<int>& columns,
                                                        std::int32_t rows) = 0;
    std::vector<CellValue> column(int column, std::int32_t rows) {
        return std::move(columns({column}, rows).front());
    }
    virtual void activate() = 0;
    // A single cell address such as "A1" or "C1".
    virtual void select(const std::u16string& address) = 0;
    // Inserts the edit's empty columns (the old column at the insertion point and those right of it
    // move right), then writes its cells from row 1 of its first column, each value with its type
    // and number format; nothing is parsed or split on the way. When it fails, its workbook is not
    // stored by a later close.
    virtual void apply(const SheetEdit& edit) = 0;
};

// What closing a workbook did with its file, for the run's summary.
struct StoreReport {
    enum class How { NotStored, InPlace, ByOffice };
    // What a workbook can hold that the office's store is known to change.
    enum class Feature { PivotTables, Tables, ConditionalFormats, Charts, Comments, Macros, FormControls };

    How how = How::NotStored;
    std::u16string path;
    std::u16string backupPath;  // the copy of the file made before the store
    // Stored by the office: the features it changes that the workbook holds, as far as they are
    // checked for.
    std::vector<Feature> features;
    // An .xlsx, .xlsm or .xls stored by the office: why its file could not take the change in place.
    std::u16string notInPlaceBecause;
};

class Workbook {
public:
    virtual ~Workbook() = default;

    // The sheet at a position counted from 1 at the left; the index is rounded half to even.
    virtual std::shared_ptr<Worksheet> worksheet(double index) = 0;
    // saveChanges true: save when changed, in the file's own format, then close.
    // saveChanges false: close without saving. No choice: a changed workbook asks the user.
    // A file is backed up before it is stored over; when the backup fails nothing is stored.
    virtual StoreReport close(std::optional<bool> saveChanges = std::nullopt) = 0;
};

class Application {
public:
    virtual ~Application() = default;

    virtual void setVisible(bool visible) = 0;
    // Opens by path exactly as given; a path already open in this application gives the same workbook.
    virtual std::shared_ptr<Workbook> open(const std::u16string& path) = 0;
    // A new empty workbook, which becomes the active one.
    virtual std::shared_ptr<Workbook> add() = 0;
    // Worksheets(index) of the active workbook.
    virtual std::shared_ptr<Worksheet> activeWorksheet(double index) = 0;
    // Closes what is still open without saving and ends the application.
    virtual void quit() = 0;
};

// What a run lends to an application: the question it asks before closing a changed workbook that
// was closed without a save choice, and where it tells how far a long reading has come.
class Desktop {
public:
    virtual ~Desktop() = default;
    // true: save, false: don't save. fileName is the workbook's file name without its folder.
    virtual bool askSaveChanges(const std::u16string& fileName) = 0;
    // Whether the run wants to stop: an operation that would go on waiting may give up, and fail,
    // once it does. Asked from any thread.
    virtual bool stopRequested() { return false; }
    // done of total rows of a sheet being read, at least once a second while the application reads a
    // file on its own. It may throw to stop the reading, which then leaves everything as it was.
    virtual void progress(std::int64_t done, std::int64_t total) {
        (void)done;
        (void)total;
    }
};

// A sheet a run reads: its workbook as the run opens it, its position, the columns (from 1).
struct SheetRead {
    std::u16string path;
    double sheet = 1;
    std::vector<int> columns;
};

// What a run is going to open, for a factory that chooses its application by the files.
struct RunFiles {
    std::vector<std::u16string> paths;  // every workbook the run opens
    bool addsWorkbook = false;          // a new workbook is added and shown to the user
    // Not empty when the run starts again on the office: why the first application could not go on.
    std::u16string officeBecause = {};
    // The sheets the run reads, in its order, for an application that can read one ahead of the run.
    std::vector<SheetRead> reads = {};
};

// Thrown by an application that meets what it cannot read or write with certainty, a formula without
// a saved result say, before anything is stored: the run starts again on the office. Deliberately not
// a std::exception, so that no step takes it for a failure of its own.
struct NeedsOffice {
    std::string detail;     // for standard error
    std::u16string reason;  // for the user, in Chinese
};

// Starts one new application for a run. An application destroyed without quit() ends its office
// without saving unless a workbook of it has been shown to the user, who then keeps it.
class ApplicationFactory {
public:
    virtual ~ApplicationFactory() = default;
    virtual std::unique_ptr<Application> create(Desktop& desktop, const RunFiles& files = {}) = 0;
};

}  // namespace sheets
