// The name and version of the operating system the program runs on, for the run record.
#pragma once

#include <string>

namespace platform {

// One line, e.g. "Linux 6.1.0-13-amd64 x86_64, Debian GNU/Linux 12 (bookworm)" or
// "Windows 10.0.19045 (x86_64 build), Wine 8.0". Parts that cannot be read are left out; never
// fails.
std::string OperatingSystemName();

} // namespace platform
