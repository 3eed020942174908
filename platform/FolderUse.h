// Whether running programs use a folder tree.
#pragma once

#include <string>

namespace platform {

// True when some running program, this one included, has a file under `folder` open, has
// its current folder there, runs a program file from there or has a file from there mapped.
// Windows: always false, since the system itself refuses to rename such a folder.
// Linux: a rename does not refuse, so /proc is searched; processes whose details this user
// may not read are passed over.
bool FolderInUse(const std::string& folder);

} // namespace platform
