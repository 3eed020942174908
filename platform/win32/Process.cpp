#include "platform/Process.h"

#include <utility>
#include <vector>

#include "platform/win32/WindowsSupport.h"

namespace platform {

namespace {

// The command-line buffer of the original start holds 512 characters, its folder 256.
constexpr std::size_t kMaxCommandLine = 511;
constexpr std::size_t kMaxWorkingFolder = 255;

} // namespace

TProcess::~TProcess() {
    if (Thread_ != nullptr) {
        CloseHandle(Thread_);
    }
    if (Process_ != nullptr) {
        CloseHandle(Process_);
    }
}

TProcess::TProcess(TProcess&& other) noexcept
    : Process_(std::exchange(other.Process_, nullptr)),
      Thread_(std::exchange(other.Thread_, nullptr)) {}

TProcess& TProcess::operator=(TProcess&& other) noexcept {
    if (this != &other) {
        TProcess old(std::move(*this));
        Process_ = std::exchange(other.Process_, nullptr);
        Thread_ = std::exchange(other.Thread_, nullptr);
    }
    return *this;
}

TProcess TProcess::Start(const std::string& program, const std::optional<std::string>& parameters,
                         const std::string& workingFolder, int showMode) {
    std::wstring commandLine = win32::Widen(program + parameters.value_or(std::string{}));
    const std::wstring folder = win32::Widen(workingFolder);
    // Cutting either text would start another program or in another folder: refuse instead.
    if (commandLine.size() > kMaxCommandLine || folder.size() > kMaxWorkingFolder) {
        return {};
    }
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(showMode);
    PROCESS_INFORMATION information{};
    TProcess process;
    if (CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE,
                       CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS, nullptr, folder.c_str(),
                       &startup, &information)) {
        process.Process_ = information.hProcess;
        process.Thread_ = information.hThread;
    }
    return process;
}

bool TProcess::IsStarted() const {
    return Process_ != nullptr;
}

int TProcess::Wait() {
    WaitForSingleObject(Process_, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(Process_, &code);
    TProcess released(std::move(*this));
    return static_cast<int>(code);
}

} // namespace platform
