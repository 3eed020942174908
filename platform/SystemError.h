// What the system said about the call that just failed, for texts that name the cause.
#pragma once

#include <string>

namespace platform {

enum class TSystemErrorKind {
    NoAccess, // the file or folder may not be written (permissions, a read-only medium)
    NoRoom,   // the disk or the user's quota is full
    Other
};

struct TSystemError {
    TSystemErrorKind Kind = TSystemErrorKind::Other;
    std::string Text; // the system's own words, UTF-8, one line
};

// The calling thread's last system error (errno on Linux, GetLastError on Windows). Read it
// right after the failed call: later calls may overwrite it.
TSystemError LastSystemError();

} // namespace platform
