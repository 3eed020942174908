#include "platform/SystemName.h"

#include <fstream>
#include <sys/utsname.h>

namespace platform {

namespace {

// PRETTY_NAME of /etc/os-release, unquoted; empty when there is none.
std::string Distribution() {
    std::ifstream release("/etc/os-release");
    std::string line;
    while (std::getline(release, line)) {
        if (line.rfind("PRETTY_NAME=", 0) == 0) {
            std::string value = line.substr(12);
            if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
                value = value.substr(1, value.size() - 2);
            }
            return value;
        }
    }
    return {};
}

} // namespace

std::string OperatingSystemName() {
    std::string name;
    utsname system{};
    if (uname(&system) == 0) {
        name = std::string(system.sysname) + " " + system.release + " " + system.machine;
    }
    const std::string distribution = Distribution();
    if (!distribution.empty()) {
        name += (name.empty() ? "" : ", ") + distribution;
    }
    return name.empty() ? "Linux" : name;
}

} // namespace platform
