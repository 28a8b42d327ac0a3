#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>

namespace sheets {

// Which file a path named when a run opened it, and its state then: another program that saves over
// it, by writing into it or by renaming a new file over it, changes at least one of these.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    std::int64_t modifiedNs = 0;  // modification time in nanoseconds since the epoch

    bool operator==(const FileIdentity&) const = default;
};

// The identity of the file a path names (a symbolic link followed); nullopt when it cannot be read.
std::optional<FileIdentity> identityOf(const std::string& path);

}  // namespace sheets
