#pragma once

#include <string>

#include "sheets/failure.h"

namespace sheets {

// The lock file an office keeps beside a document it has open (".~lock.NAME#").
std::string officeLockPath(const std::string& documentPath);

// Why a document that another office holds, or that could only be opened read-only, cannot be
// stored: who holds its lock, from the lock file beside it (",<office user>,<system user>,<host>,
// <since>,<profile>;"), or else the file's or its folder's permissions.
Failure storeRefusal(const std::string& path);

}  // namespace sheets
