#include <csignal>
#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/KilledChildCommon.h"

TChildPartRegistration::TChildPartRegistration(const char* name, TChildPart part) {
    ChildParts()[name] = part;
}

bool RunKilledChild(const char* name, const std::vector<std::string>& arguments) {
    const TChildPart part = ChildParts().at(name);
    const pid_t child = fork();
    if (child == 0) {
        part(arguments);
        _exit(0);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFSIGNALED(status) &&
           WTERMSIG(status) == SIGKILL;
}

void KillThisProcess() {
    std::raise(SIGKILL);
    std::abort();
}
