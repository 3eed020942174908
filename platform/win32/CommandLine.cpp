#include "platform/CommandLine.h"

#include "platform/win32/WindowsSupport.h"

#include <shellapi.h>

namespace platform {

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) {
        // Cannot happen short of memory running out; the ANSI form is better than nothing.
        return std::vector<std::string>(argv, argv + argc);
    }
    std::vector<std::string> arguments;
    arguments.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        arguments.push_back(win32::Narrow(wide[i]));
    }
    LocalFree(wide);
    return arguments;
}

} // namespace platform
