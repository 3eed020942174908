// Starting another program in a given working folder and waiting for its end.
#pragma once

#include <optional>
#include <string>

namespace platform {

// One started program. Move-only; the destructor releases the system's handles without
// waiting (Linux: a program never waited for stays a zombie until the updater ends).
class TProcess {
public:
    TProcess() = default;
    ~TProcess();
    TProcess(TProcess&& other) noexcept;
    TProcess& operator=(TProcess&& other) noexcept;
    TProcess(const TProcess&) = delete;
    TProcess& operator=(const TProcess&) = delete;

    // Starts `program` (an absolute path) with the updater's environment and `workingFolder` as
    // its current folder, inheriting no handles but the standard ones.
    // Windows: the command line is the program path immediately followed by `parameters`, with
    // no quotes or separator added, in a new console shown with `showMode`; it fails, rather
    // than cutting, when the command line would exceed 511 characters or the folder 255.
    // Linux: the path is executed as it is (blanks included, no shell); `parameters` are split
    // at blanks into arguments; `showMode` has no meaning.
    static TProcess Start(const std::string& program, const std::optional<std::string>& parameters,
                          const std::string& workingFolder, int showMode);

    bool IsStarted() const;
    // Waits without a time limit for the program to end and returns its exit code. Linux: a
    // program ended by a signal gives 128 plus the signal number, as shells report it.
    int Wait();

private:
#ifdef _WIN32
    void* Process_ = nullptr;
    void* Thread_ = nullptr;
#else
    int Pid_ = -1;
#endif
};

} // namespace platform
