#include "platform/OwnProgramFile.h"

namespace platform {

std::string OwnProgramFileForReading() {
    return "/proc/self/exe";
}

} // namespace platform
