// The file of the running program itself.
#pragma once

#include <string>

namespace platform {

// The full path of the running program's executable file; empty when the system cannot tell.
std::string OwnExecutablePath();

} // namespace platform
