#include "tests/support/Command.h"

#include <sys/wait.h>

#include <array>
#include <cstdio>

TCommandResult RunCommand(const std::string& command, bool withErrors) {
    TCommandResult result;
    std::FILE* pipe = popen((command + (withErrors ? " 2>&1" : " 2>/dev/null")).c_str(), "r");
    if (pipe == nullptr) {
        return result;
    }
    std::array<char, 4096> buffer{};
    while (const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), pipe)) {
        result.Output.append(buffer.data(), got);
    }
    const int status = pclose(pipe);
    result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string HostPath(const std::string& path) {
    return path;
}
