#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "sheets/backup.h"
#include "sheets/failure.h"
#include "sheets/sheet_edit.h"

namespace sheets {

// The columns a run wrote its result into, in one sheet of a file.
struct ResultColumns {
    int sheetPosition = 1;
    std::u16string sheetName;
    int firstColumn = 1;  // 1-based
    int count = 1;

    bool operator==(const ResultColumns&) const = default;
};

// A file a run stored over, as the run's backup folder records it: the copy of it from before the
// run, and its size and digest right after the run's store.
struct StoredFile {
    std::filesystem::path original;
    std::filesystem::path backup;
    std::uintmax_t size = 0;
    std::uint64_t digest = 0;
    std::vector<ResultColumns> results;
};

// A run that stored files, by its backup folder.
struct RecordedRun {
    std::filesystem::path folder;
    std::vector<StoredFile> files;
    std::string undoes;   // an undo: the folder name of the run it undid
    bool undone = false;  // an undo that still stands put its files back
};

// What an undo did: the files put back, those left alone and why, and the folder that keeps the files
// as they were before the undo (itself a run that can be undone).
struct UndoOutcome {
    struct Refused {
        enum class Why { Changed, BackupGone, Failed };
        std::filesystem::path file;
        Why why = Why::Failed;  // changed since the run wrote it, its copy gone, or a failure
        FailureCause cause;     // of a failure
        std::string detail;
    };
    std::vector<std::filesystem::path> restored;
    std::vector<Refused> refused;
    std::filesystem::path backupFolder;
};

// The columns a sheet's edit wrote: its first column on, as wide as its cells or its inserted columns.
ResultColumns resultColumnsOf(const WorkbookEdit& edit);

// Notes in the run's backup folder what `file` holds now, right after the run stored it over the copy
// `backup` made before, and where the result went. Returns false when the note could not be written:
// the run's store stands, but cannot be undone.
bool recordStored(const RunBackup& run, const std::filesystem::path& backup,
                  const std::filesystem::path& file, const std::vector<ResultColumns>& results);

// The run recorded in a backup folder; nullopt when it recorded no stored file.
std::optional<RecordedRun> recordedRun(const std::filesystem::path& folder);
// The run whose backup folder holds the copy `backup`.
std::optional<RecordedRun> runOfBackup(const std::filesystem::path& backup);
// The recorded runs under the backup root, newest first, each marked when an undo put its files back.
std::vector<RecordedRun> recordedRuns(const std::filesystem::path& root = backupRoot());

// Puts back every file the run stored, from its copy, unless the file is no longer exactly what the
// run wrote. Each file is first copied as it is into a new backup folder under root, where the undo is
// recorded like a run, so that it can be undone in turn. Throws nothing; what could not be done is in
// the outcome.
UndoOutcome undoRun(const RecordedRun& run, const std::filesystem::path& root = backupRoot(),
                    int keptRuns = 30);

}  // namespace sheets
