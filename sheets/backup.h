#pragma once

#include <filesystem>
#include <string>

namespace sheets {

// $XDG_DATA_HOME/Pellucor/backups, or ~/.local/share/Pellucor/backups when XDG_DATA_HOME is unset.
std::filesystem::path backupRoot();

// The copies of the files one run stores over, in a folder of the run's own named by its date and
// time. The folder is made at the first copy; then only the newest keptRuns run folders stay.
class RunBackup {
public:
    explicit RunBackup(std::filesystem::path root = backupRoot(), int keptRuns = 30);

    // Copies the file byte for byte into the run's folder under its own name and notes its original
    // path in the folder's "originals.txt". Returns the copy's path. Throws Failure (BackupFailed)
    // when no complete copy could be made; nothing half-written is left under the copy's name.
    std::filesystem::path copy(const std::filesystem::path& file);

    const std::filesystem::path& folder() const { return folder_; }

private:
    void makeFolder();
    void removeOldRuns() const;

    std::filesystem::path root_;
    int keptRuns_;
    std::filesystem::path folder_;
};

}  // namespace sheets
