#pragma once

#include <stdexcept>
#include <string>
#include <utility>

namespace sheets {

// Why an operation could not be carried out, in terms the user can act on; the run turns it into
// its own words. Fields that do not apply to a kind stay empty.
struct FailureCause {
    enum class Kind {
        Unknown,
        FileMissing,     // file
        NotAWorkbook,    // file (also an empty file)
        NoSuchSheet,     // file, sheetCount, sheetPosition
        ErrorValue,      // cell, errorValue ("#DIV/0!")
        ReadOnly,        // file
        NoSpace,         // file
        NoPermission,    // file
        NoFile,          // a new workbook that has no file to be saved in
        BackupFailed,    // file, systemError: why the copy could not be made
        NeverObtained,   // an object an earlier step did not obtain
        Damaged,         // file: a workbook of its kind whose content cannot be read
        FileChanged,     // file: changed on disk by another program since the run opened it
        HeldByProgram,   // file, program ("LibreOffice", "Microsoft Excel", "WPS Office"), user, since
        FolderReadOnly,  // file: its folder cannot be written
        OfficeStalled,   // seconds: the office did nothing for so long and was ended
    };
    FailureCause() = default;
    explicit FailureCause(Kind k, std::u16string fileName = {}) : kind(k), file(std::move(fileName)) {}

    Kind kind = Kind::Unknown;
    std::u16string file;  // the file's name without its folder
    int sheetCount = 0;
    double sheetPosition = 0;
    std::u16string cell;  // "B7"
    std::u16string errorValue;
    std::u16string user;
    std::u16string since;
    int systemError = 0;  // errno of a file operation, 0 when none
    std::u16string program;
    int seconds = 0;
};

// A cause about a file, named by its path (UTF-8): the file's name without its folder.
FailureCause causeAbout(FailureCause::Kind kind, const std::string& path);
// The cause a file operation's errno stands for (Unknown for the rest), with the errno kept.
FailureCause causeOfErrno(int error, const std::string& path);

// A spreadsheet operation that could not be carried out. what() is a detail for standard error;
// cause() is what the user is told.
class Failure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    Failure(const std::string& detail, FailureCause cause)
        : std::runtime_error(detail), cause_(std::move(cause)) {}

    const FailureCause& cause() const { return cause_; }

private:
    FailureCause cause_;
};

}  // namespace sheets
