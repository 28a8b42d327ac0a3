#include "sheets/run_history.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <vector>

#include "sheets/descriptor.h"
#include "sheets/file_identity.h"
#include "sheets/file_locks.h"
#include "sheets/file_replace.h"
#include "sheets/utf8.h"

namespace sheets {
namespace {

namespace fs = std::filesystem;

// One line per stored file and per result written into it, and for an undo the run it undid:
//   file <TAB> copy <TAB> size <TAB> digest <TAB> original path
//   result <TAB> copy <TAB> sheet position <TAB> first column <TAB> column count <TAB> sheet name
//   undoes <TAB> folder name
// Paths and names in UTF-8, the copy relative to the folder.
constexpr const char* kRecord = "stored.txt";

struct FileState {
    std::uintmax_t size = 0;
    std::uint64_t digest = 0;
    bool operator==(const FileState&) const = default;
};

std::uint64_t mixed(std::uint64_t h) {
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    return h;
}

// The size and a 64-bit digest of a file's bytes; nullopt when it cannot be read, error then
// holding the errno.
std::optional<FileState> stateOf(const fs::path& file, int& error) {
    Descriptor in(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    error = errno;
    if (!in.valid()) return std::nullopt;
    std::vector<unsigned char> buffer(1 << 20);
    FileState state;
    std::uint64_t h = 0x9E3779B97F4A7C15ull;
    for (;;) {
        const ssize_t n = ::read(in.get(), buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return error = errno, std::nullopt;
        if (n == 0) break;
        // Whole words; a read shorter than the buffer is the file's end, so only the last has a tail.
        std::size_t i = 0;
        for (; i + 8 <= static_cast<std::size_t>(n); i += 8) {
            std::uint64_t w;
            std::memcpy(&w, buffer.data() + i, 8);
            h = (h ^ mixed(w)) * 0x9FB21C651E98DF25ull;
        }
        for (; i < static_cast<std::size_t>(n); ++i) h = (h ^ buffer[i]) * 0x100000001B3ull;
        state.size += static_cast<std::uintmax_t>(n);
    }
    state.digest = mixed(h ^ state.size);
    return state;
}

std::vector<std::string> fields(const std::string& line) {
    std::vector<std::string> out(1);
    for (const char c : line) {
        if (c == '\t')
            out.emplace_back();
        else
            out.back().push_back(c);
    }
    return out;
}

// Appends to the folder's record, synced like the backup's other notes.
bool appendLines(const fs::path& folder, const std::string& lines) {
    Descriptor out(::open((folder / kRecord).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600));
    if (!out.valid()) return false;
    const bool written = ::write(out.get(), lines.data(), lines.size()) == static_cast<ssize_t>(lines.size());
    return written && ::fsync(out.get()) == 0 && out.close() == 0;
}

// Run folders sort by their names, "…-SS" before "…-SS-2".
bool newerFirst(const RecordedRun& a, const RecordedRun& b) {
    const std::string x = a.folder.filename().string(), y = b.folder.filename().string();
    if (x.compare(0, 19, y, 0, 19) != 0) return x > y;
    return x.size() != y.size() ? x.size() > y.size() : x > y;
}

// Whether an undo of the run named stands: one that no later undo has undone in turn. An undo names
// a run made before it, so the chain ends.
bool standsUndone(const std::vector<RecordedRun>& runs, const std::string& name) {
    for (const RecordedRun& undo : runs)
        if (undo.undoes == name && !standsUndone(runs, undo.folder.filename().string())) return true;
    return false;
}

// Why the file cannot be put back, if it cannot: it cannot be read, it is no longer what the run
// wrote, its copy is gone, or another program holds it or it cannot be written.
std::optional<UndoOutcome::Refused> refusal(const StoredFile& f) {
    using Why = UndoOutcome::Refused::Why;
    int error = 0;
    const auto now = stateOf(f.original, error);
    if (!now)
        return UndoOutcome::Refused{f.original, Why::Failed, causeOfErrno(error, f.original.string()),
                                    "cannot read it"};
    if (*now != FileState{f.size, f.digest})
        return UndoOutcome::Refused{f.original, Why::Changed, {}, "changed since the run stored it"};
    if (!fs::is_regular_file(f.backup))
        return UndoOutcome::Refused{
            f.original, Why::BackupGone, {}, "its copy " + f.backup.string() + " is gone"};
    // Another program that has it open would write its own content back over it.
    if (auto why = whyNotStorable(f.original.string()))
        return UndoOutcome::Refused{f.original, Why::Failed, std::move(*why), "it cannot be written now"};
    return std::nullopt;
}

// Copies the file as it is into the undo's folder, then replaces it with the run's copy, unless
// another program saves over it meanwhile. Throws Failure.
void putBack(const StoredFile& f, RunBackup& before) {
    const auto identity = identityOf(f.original);
    const fs::path copy = before.copy(f.original);
    replaceFile(f.original.string(), identity, [&](const std::string& newFile) {
        std::error_code error;
        fs::copy_file(f.backup, newFile, fs::copy_options::overwrite_existing, error);
        if (error)
            throw Failure("cannot copy " + f.backup.string() + ": " + error.message(),
                          causeOfErrno(error.value(), f.original.string()));
    });
    if (!recordStored(before, copy, f.original, f.results))
        std::cerr << "pellucor: the undo of " << f.original << " cannot itself be undone\n";
}

}  // namespace

ResultColumns resultColumnsOf(const WorkbookEdit& e) {
    return {e.sheetPosition, e.sheetName, e.edit.firstColumn,
            std::max(e.edit.cells.width, e.edit.insertCount)};
}

bool recordStored(const RunBackup& run, const fs::path& backup, const fs::path& file,
                  const std::vector<ResultColumns>& results) {
    int error = 0;
    const auto state = stateOf(file, error);
    if (!state || run.folder().empty()) return false;
    const std::string copy = fs::relative(backup, run.folder()).string();
    std::ostringstream lines;
    lines << "file\t" << copy << '\t' << state->size << '\t' << std::hex << state->digest << std::dec << '\t'
          << file.string() << '\n';
    for (const ResultColumns& r : results)
        lines << "result\t" << copy << '\t' << r.sheetPosition << '\t' << r.firstColumn << '\t' << r.count
              << '\t' << toUtf8(r.sheetName) << '\n';
    return appendLines(run.folder(), lines.str());
}

std::optional<RecordedRun> recordedRun(const fs::path& folder) {
    std::ifstream in(folder / kRecord);
    RecordedRun run{folder, {}, {}, false};
    for (std::string line; std::getline(in, line);) {
        const auto f = fields(line);
        try {
            if (f.size() == 5 && f[0] == "file") {
                run.files.push_back(
                    {f[4], folder / f[1], std::stoull(f[2]), std::stoull(f[3], nullptr, 16), {}});
            } else if (f.size() == 6 && f[0] == "result") {
                for (auto& file : run.files)
                    if (file.backup == folder / f[1])
                        file.results.push_back(
                            {std::stoi(f[2]), fromUtf8(f[5]), std::stoi(f[3]), std::stoi(f[4])});
            } else if (f.size() == 2 && f[0] == "undoes") {
                run.undoes = f[1];
            }
        } catch (const std::exception&) {
            // A line that cannot be read is left out; its file then cannot be put back.
        }
    }
    if (run.files.empty()) return std::nullopt;
    return run;
}

std::optional<RecordedRun> runOfBackup(const fs::path& backup) {
    // A second file of one name lies in a numbered subfolder of the run's folder.
    for (const fs::path& folder : {backup.parent_path(), backup.parent_path().parent_path()})
        if (const auto run = recordedRun(folder))
            for (const auto& f : run->files)
                if (f.backup == backup) return run;
    return std::nullopt;
}

std::vector<RecordedRun> recordedRuns(const fs::path& root) {
    std::vector<RecordedRun> runs;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(root, error))
        if (entry.is_directory(error))
            if (auto run = recordedRun(entry.path())) runs.push_back(std::move(*run));
    std::sort(runs.begin(), runs.end(), newerFirst);
    for (RecordedRun& run : runs) run.undone = standsUndone(runs, run.folder.filename().string());
    return runs;
}

UndoOutcome undoRun(const RecordedRun& run, const fs::path& root, int keptRuns) {
    UndoOutcome outcome;
    RunBackup before(root, keptRuns);
    for (const StoredFile& f : run.files) {
        if (auto refused = refusal(f)) {
            outcome.refused.push_back(std::move(*refused));
            continue;
        }
        try {
            putBack(f, before);
            if (outcome.restored.empty() &&
                !appendLines(before.folder(), "undoes\t" + run.folder.filename().string() + "\n"))
                std::cerr << "pellucor: cannot note in " << before.folder() << " which run it undoes\n";
            outcome.restored.push_back(f.original);
        } catch (const Failure& failure) {
            outcome.refused.push_back(
                {f.original, UndoOutcome::Refused::Why::Failed, failure.cause(), failure.what()});
        }
    }
    outcome.backupFolder = before.folder();
    return outcome;
}

}  // namespace sheets
