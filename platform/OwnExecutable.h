// The file of the running program itself.
#pragma once

#include <string>

namespace platform {

// The full path of the running program's executable file; empty when the system cannot tell.
std::string OwnExecutablePath();

// A path by which the running program's own file can be opened for reading.
// Linux: "/proc/self/exe", which reaches the very file that runs, also after it was renamed or
// replaced on disk (a full path would then name another file or none).
// Windows: the executable's full path; the system keeps a running program's file from being
// renamed or replaced.
std::string OwnProgramFileForReading();

} // namespace platform
