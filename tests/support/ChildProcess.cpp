#include "tests/support/ChildProcess.h"

#include <chrono>
#include <csignal>
#include <fstream>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

std::string ChildProgramPath() {
    return UPDATER_CHILD_PROGRAM;
}

pid_t ReadPidFile(const std::string& pidFile) {
    std::ifstream in(pidFile);
    pid_t pid = -1;
    return (in >> pid) ? pid : -1;
}

TBackgroundChild::TBackgroundChild(const std::vector<std::string>& arguments,
                                   const std::string& pidFile, const std::string& program) {
    std::vector<std::string> all{program};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& argument : all) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    if (posix_spawn(&Pid_, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        Pid_ = -1;
        return;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        if (ReadPidFile(pidFile) == Pid_) {
            Ready_ = true;
            return;
        }
        int status = 0;
        if (waitpid(Pid_, &status, WNOHANG) == Pid_) {
            Pid_ = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

TBackgroundChild::~TBackgroundChild() {
    if (Pid_ > 0) {
        kill(Pid_, SIGKILL);
        int status = 0;
        waitpid(Pid_, &status, 0);
    }
}
