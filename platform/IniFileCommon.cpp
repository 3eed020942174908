#include "platform/IniFile.h"

namespace platform {

std::string SettingsFileFor(std::string_view executablePath) {
    const std::size_t nameStart = executablePath.find_last_of("/\\");
    const std::size_t dot = executablePath.rfind('.');
    const bool hasExtension =
        dot != std::string_view::npos && (nameStart == std::string_view::npos || dot > nameStart);
    std::string result(hasExtension ? executablePath.substr(0, dot) : executablePath);
    return result + ".ini";
}

} // namespace platform
