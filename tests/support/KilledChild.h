// A part of a test that runs in a child process and ends by being killed at a chosen moment, as
// a kill or a power cut ends the program: no destructor, no exit handler, no buffer written out.
// Linux forks; Windows has no fork, so there the test program is started again and runs only the
// part. The part is therefore a registered function of text arguments, the same on both.
#pragma once

#include <string>
#include <vector>

using TChildPart = void (*)(const std::vector<std::string>& arguments);

// Makes `part` known under `name` to the child processes of this test program. A namespace-scope
// object, so that it is known before any test runs.
struct TChildPartRegistration {
    TChildPartRegistration(const char* name, TChildPart part);
};

// Runs the part registered as `name` with `arguments` in a child process and waits for it; true
// when the child ended through KillThisProcess.
bool RunKilledChild(const char* name, const std::vector<std::string>& arguments);

#ifdef _WIN32
// Starts the part registered as `name` with `arguments` in a child process that runs beside the
// test, and returns its process handle (nullptr when it could not be started). The test ends it
// (TerminateProcess) and closes the handle.
void* StartChild(const char* name, const std::vector<std::string>& arguments);
#endif

// Ends this process at once, as a kill from outside would (Linux: SIGKILL; Windows:
// TerminateProcess with an exit code of its own).
[[noreturn]] void KillThisProcess();
