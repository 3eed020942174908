#include "platform/Process.h"

#include <cerrno>
#include <spawn.h>
#include <sys/wait.h>
#include <utility>
#include <vector>

extern char** environ;

namespace platform {

namespace {

// Owns the spawn file actions for the duration of one start.
class TSpawnActions {
public:
    TSpawnActions() { posix_spawn_file_actions_init(&Actions_); }
    ~TSpawnActions() { posix_spawn_file_actions_destroy(&Actions_); }
    TSpawnActions(const TSpawnActions&) = delete;
    TSpawnActions& operator=(const TSpawnActions&) = delete;
    posix_spawn_file_actions_t* Get() { return &Actions_; }

private:
    posix_spawn_file_actions_t Actions_{};
};

} // namespace

TProcess::~TProcess() = default;

TProcess::TProcess(TProcess&& other) noexcept : Pid_(std::exchange(other.Pid_, -1)) {}

TProcess& TProcess::operator=(TProcess&& other) noexcept {
    Pid_ = std::exchange(other.Pid_, -1);
    return *this;
}

TProcess TProcess::Start(const std::string& program, const std::optional<std::string>& parameters,
                         const std::string& workingFolder, int /*showMode*/) {
    std::vector<std::string> arguments{program};
    if (parameters) {
        std::size_t position = 0;
        while ((position = parameters->find_first_not_of(" \t", position)) != std::string::npos) {
            const auto end = parameters->find_first_of(" \t", position);
            arguments.push_back(parameters->substr(position, end - position));
            position = end;
        }
    }
    std::vector<char*> argv;
    for (auto& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);

    TSpawnActions actions;
    // The Windows start inherits no handles; only the standard three go to the new program.
    if (posix_spawn_file_actions_addchdir_np(actions.Get(), workingFolder.c_str()) != 0 ||
        posix_spawn_file_actions_addclosefrom_np(actions.Get(), 3) != 0) {
        return {};
    }
    pid_t pid = -1;
    TProcess process;
    if (posix_spawn(&pid, program.c_str(), actions.Get(), nullptr, argv.data(), environ) == 0) {
        process.Pid_ = pid;
    }
    return process;
}

bool TProcess::IsStarted() const {
    return Pid_ > 0;
}

int TProcess::Wait() {
    int status = 0;
    pid_t result = -1;
    do {
        result = waitpid(Pid_, &status, 0);
    } while (result < 0 && errno == EINTR);
    Pid_ = -1;
    if (result < 0) {
        return -1;
    }
    if (WIFSIGNALED(status)) {
        return 128 + WTERMSIG(status);
    }
    return WEXITSTATUS(status);
}

} // namespace platform
