// A small program that the process tests start. It writes to the file named by the environment
// variable UPDATER_CHILD_REPORT, one item a line in UTF-8: its command line as it received it,
// its current folder, its own path and the show mode it was started with (-1 for none). It ends
// with the exit code given as the command line's last word when that is a number, else 0.
// Everything comes from the system, not from the C runtime's parsed arguments, so that the tests
// see what the program was really given.
#include <cstdio>
#include <cwctype>
#include <string>

#include "platform/win32/WindowsSupport.h"

namespace {

using platform::win32::Narrow;

std::wstring CurrentFolder() {
    std::wstring folder(GetCurrentDirectoryW(0, nullptr), L'\0');
    folder.resize(GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data()));
    // The system keeps the current folder with a closing delimiter and usually drops it when
    // asked; near the length limit Wine sometimes hands it out. It names the same folder.
    if (folder.size() > 3 && folder.back() == L'\\') {
        folder.pop_back();
    }
    return folder;
}

std::wstring OwnPath() {
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return path;
}

int ShowMode() {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    GetStartupInfoW(&startup);
    return (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : -1;
}

int ExitCodeOf(const std::wstring& commandLine) {
    std::size_t end = commandLine.size();
    while (end > 0 && std::iswspace(commandLine[end - 1])) {
        --end;
    }
    std::size_t start = end;
    while (start > 0 && std::iswdigit(commandLine[start - 1])) {
        --start;
    }
    // Only a word of its own, and small: exit codes keep their low 8 bits under Wine.
    if (start == end || end - start > 3 || start == 0 || !std::iswspace(commandLine[start - 1])) {
        return 0;
    }
    return std::stoi(commandLine.substr(start, end - start));
}

} // namespace

int main() {
    const std::wstring commandLine = GetCommandLineW();
    wchar_t reportFile[32768] = {};
    if (GetEnvironmentVariableW(L"UPDATER_CHILD_REPORT", reportFile, 32768) > 0) {
        std::FILE* report = _wfopen(reportFile, L"wb");
        if (report == nullptr) {
            return 100;
        }
        const std::string text = Narrow(commandLine) + "\n" + Narrow(CurrentFolder()) + "\n" +
                                 Narrow(OwnPath()) + "\n" + std::to_string(ShowMode()) + "\n";
        std::fwrite(text.data(), 1, text.size(), report);
        std::fclose(report);
    }
    return ExitCodeOf(commandLine);
}
