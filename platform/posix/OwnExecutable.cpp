#include "platform/OwnExecutable.h"

#include <filesystem>
#include <system_error>

namespace platform {

std::string OwnExecutablePath() {
    std::error_code error;
    const std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : path.string();
}

std::string OwnProgramFileForReading() {
    return "/proc/self/exe";
}

} // namespace platform
