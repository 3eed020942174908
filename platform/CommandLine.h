// The program's command-line arguments as UTF-8, the program's encoding.
#pragma once

#include <string>
#include <vector>

namespace platform {

// Every argument, the program's own name first. On Windows the arguments are read from the
// system's Unicode command line, so that a path with letters outside the ANSI code page arrives
// whole (`argv` there holds the ANSI form, with '?' for such letters); elsewhere they are `argv`
// as given.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

} // namespace platform
