// Reading the running program's own file, which carries the updater's payload.
#pragma once

#include <string>

namespace platform {

// A path by which the running program's own file can be opened for reading.
// Linux: "/proc/self/exe", which reaches the very file that runs, also after it was renamed or
// replaced on disk (a full path would then name another file or none).
// Windows: the module file name of the executable; the system keeps a running program's file
// from being renamed or replaced.
std::string OwnProgramFileForReading();

} // namespace platform
