// RunCommand of Command.h for the Windows build under Wine. Wine starts a Linux program that a
// Windows program names in CreateProcess, but hands back neither its output nor its end: the
// process handle it returns is ended at once. So the command's output and exit code go to files,
// written by the Linux shell, and the exit code's file is renamed into place as the last step.
#include "tests/support/Command.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "platform/win32/WindowsSupport.h"

namespace {

namespace fs = std::filesystem;

std::string Quoted(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

std::string Contents(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

std::string HostPath(const std::string& path) {
    if (path.size() >= 3 && (path[0] == 'Z' || path[0] == 'z') && path[1] == ':' &&
        (path[2] == '\\' || path[2] == '/')) {
        std::string host = path.substr(2);
        for (char& c : host) {
            c = c == '\\' ? '/' : c;
        }
        return host;
    }
    return path;
}

TCommandResult RunCommand(const std::string& command, bool withErrors) {
    static std::atomic<int> counter{0};
    const fs::path folder = fs::path(UPDATER_TEST_SCRATCH) / "commands";
    fs::create_directories(folder);
    const std::string stem =
        (folder / ("c" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++)))
            .string();
    const fs::path script = stem + ".sh", output = stem + ".out", code = stem + ".code";
    {
        std::ofstream file(script, std::ios::binary);
        file << "(\n"
             << command << "\n) >" << Quoted(HostPath(output.string()))
             << (withErrors ? " 2>&1" : " 2>/dev/null") << " </dev/null\n"
             << "echo $? >" << Quoted(HostPath(code.string()) + ".partial") << "\n"
             << "mv " << Quoted(HostPath(code.string()) + ".partial") << " "
             << Quoted(HostPath(code.string())) << "\n";
    }
    TCommandResult result;
    std::string line = "/bin/sh " + HostPath(script.string());
    std::vector<char> buffer(line.begin(), line.end());
    buffer.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION information{};
    if (!CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &information)) {
        fs::remove(script);
        return result;
    }
    CloseHandle(information.hThread);
    CloseHandle(information.hProcess);
    // Longer than any test's own time limit: a command that hangs is ended by that limit.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(10);
    std::error_code error;
    while (!fs::exists(code, error) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (fs::exists(code, error)) {
        const std::string exitCode = Contents(code);
        result.ExitCode = exitCode.empty() ? -1 : std::stoi(exitCode);
        result.Output = Contents(output);
    }
    fs::remove(script, error);
    fs::remove(output, error);
    fs::remove(code, error);
    return result;
}
