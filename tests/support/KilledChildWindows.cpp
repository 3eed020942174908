// The child is the test program itself, started with the running test as its only test and the
// part's name and arguments in its environment. A global test environment, set up before any
// test runs, finds them there, runs the part and ends the child.
#include <gtest/gtest.h>

#include "platform/win32/WindowsSupport.h"
#include "tests/support/KilledChildCommon.h"

namespace {

using platform::win32::Narrow;
using platform::win32::Widen;

// An exit code that no ordinary end of a test program gives.
constexpr UINT kKilled = 0x4B1D;
const wchar_t* const kNameVariable = L"UPDATER_KILLED_CHILD";
const wchar_t* const kArgumentsVariable = L"UPDATER_KILLED_CHILD_ARGUMENTS";
// After each argument: a character no path or number holds.
constexpr char kSeparator = '\n';

std::string Variable(const wchar_t* name) {
    std::wstring value(32768, L'\0');
    const DWORD size = GetEnvironmentVariableW(name, value.data(), 32768);
    value.resize(size < 32768 ? size : 0);
    return Narrow(value);
}

class TChildRunner : public ::testing::Environment {
public:
    void SetUp() override {
        const std::string name = Variable(kNameVariable);
        if (name.empty()) {
            return;
        }
        std::vector<std::string> arguments;
        const std::string joined = Variable(kArgumentsVariable);
        for (std::size_t start = 0, end = 0;
             (end = joined.find(kSeparator, start)) != std::string::npos; start = end + 1) {
            arguments.push_back(joined.substr(start, end - start));
        }
        ChildParts().at(name)(arguments);
        ExitProcess(0);
    }
};

} // namespace

TChildPartRegistration::TChildPartRegistration(const char* name, TChildPart part) {
    static const bool added =
        (::testing::AddGlobalTestEnvironment(new TChildRunner), true); // gtest owns it
    static_cast<void>(added);
    ChildParts()[name] = part;
}

void* StartChild(const char* name, const std::vector<std::string>& arguments) {
    std::string joined;
    for (const auto& argument : arguments) {
        joined += argument + kSeparator;
    }
    std::wstring program(32768, L'\0');
    program.resize(GetModuleFileNameW(nullptr, program.data(), 32768));
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::wstring commandLine = L"\"" + program + L"\" --gtest_filter=" +
                               Widen(std::string(test->test_suite_name()) + "." + test->name());
    SetEnvironmentVariableW(kNameVariable, Widen(name).c_str());
    SetEnvironmentVariableW(kArgumentsVariable, Widen(joined).c_str());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION information{};
    const BOOL started = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr,
                                        FALSE, 0, nullptr, nullptr, &startup, &information);
    SetEnvironmentVariableW(kNameVariable, nullptr);
    SetEnvironmentVariableW(kArgumentsVariable, nullptr);
    if (!started) {
        return nullptr;
    }
    CloseHandle(information.hThread);
    return information.hProcess;
}

bool RunKilledChild(const char* name, const std::vector<std::string>& arguments) {
    const HANDLE process = StartChild(name, arguments);
    if (process == nullptr) {
        return false;
    }
    WaitForSingleObject(process, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    CloseHandle(process);
    return code == kKilled;
}

void KillThisProcess() {
    TerminateProcess(GetCurrentProcess(), kKilled);
    ExitProcess(kKilled);
}
