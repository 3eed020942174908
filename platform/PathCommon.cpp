// The part of path handling that is the same on every system.
#include "platform/Path.h"

namespace platform {

std::string JoinPath(std::string_view folder, std::string_view child) {
    std::string result(folder);
    if (result.empty() || result.back() != PathDelimiter) {
        result += PathDelimiter;
    }
    result += child;
    return result;
}

} // namespace platform
