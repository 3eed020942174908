#include "platform/Path.h"

#include <climits>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {

const char* const DefaultInstallationRoot = "/opt/QUV/Kormant";
const char PathDelimiter = '/';
const std::size_t MaxPathLength = PATH_MAX - 1;

std::size_t PathLength(std::string_view path) {
    return path.size();
}

namespace {

std::string CurrentFolder() {
    std::vector<char> buffer(PATH_MAX);
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) {
            return "/";
        }
        buffer.resize(buffer.size() * 2);
    }
    return buffer.data();
}

} // namespace

std::string FullPath(std::string_view path) {
    if (path.empty()) {
        return {};
    }
    std::string text(path);
    if (text.front() != '/') {
        text = CurrentFolder() + "/" + text;
    }
    const bool trailing = text.back() == '/';

    // Lexical resolution, like the system's full-path call: ".." never climbs above the root.
    std::vector<std::string_view> segments;
    std::string_view rest(text);
    while (!rest.empty()) {
        const auto slash = rest.find('/');
        const std::string_view segment = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view{} : rest.substr(slash + 1);
        if (segment.empty() || segment == ".") {
            continue;
        }
        if (segment == "..") {
            if (!segments.empty()) {
                segments.pop_back();
            }
            continue;
        }
        segments.push_back(segment);
    }

    std::string result;
    for (const auto segment : segments) {
        result += '/';
        result += segment;
    }
    if (result.empty() || trailing) {
        result += '/';
    }
    return result;
}

bool SamePath(std::string_view a, std::string_view b) {
    // "/" stays itself; "//" and "/" are the same root.
    const auto trimmed = [](std::string_view path) {
        while (path.size() > 1 && path.back() == '/') {
            path.remove_suffix(1);
        }
        return path;
    };
    return trimmed(a) == trimmed(b);
}

bool FolderExists(const std::string& path) {
    struct stat info {};
    return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace platform
