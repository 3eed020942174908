#include "platform/FolderUse.h"

#include <climits>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string_view>
#include <unistd.h>
#include <vector>

#include "platform/FileSystem.h"

namespace platform {

namespace {

std::string ReadLink(const std::string& path) {
    std::vector<char> buffer(PATH_MAX + 1);
    const ssize_t size = readlink(path.c_str(), buffer.data(), buffer.size() - 1);
    return size > 0 ? std::string(buffer.data(), static_cast<std::size_t>(size)) : std::string{};
}

// /proc names a file that was deleted while in use with this suffix.
std::string_view WithoutDeletedMark(std::string_view path) {
    constexpr std::string_view kDeleted = " (deleted)";
    if (path.size() > kDeleted.size() && path.substr(path.size() - kDeleted.size()) == kDeleted) {
        path.remove_suffix(kDeleted.size());
    }
    return path;
}

bool Inside(std::string_view path, const std::string& root) {
    path = WithoutDeletedMark(path);
    return path.size() >= root.size() && path.substr(0, root.size()) == root &&
           (path.size() == root.size() || path[root.size()] == '/' || root == "/");
}

bool MapsInside(const std::string& mapsFile, const std::string& root) {
    std::ifstream maps(mapsFile);
    std::string line;
    while (std::getline(maps, line)) {
        // address perms offset dev inode pathname; the path starts at the first '/'.
        const auto slash = line.find('/');
        if (slash != std::string::npos && Inside(std::string_view(line).substr(slash), root)) {
            return true;
        }
    }
    return false;
}

bool ProcessUses(const std::string& pid, const std::string& root) {
    const std::string base = "/proc/" + pid + "/";
    for (const char* link : {"cwd", "exe", "root"}) {
        const std::string target = ReadLink(base + link);
        if (!target.empty() && Inside(target, root)) {
            return true;
        }
    }
    TFolderEnumeration descriptors(base + "fd");
    while (const auto entry = descriptors.Next()) {
        const std::string target = ReadLink(base + "fd/" + entry->Name);
        if (!target.empty() && target.front() == '/' && Inside(target, root)) {
            return true;
        }
    }
    return MapsInside(base + "maps", root);
}

} // namespace

bool FolderInUse(const std::string& folder) {
    // /proc shows resolved paths, so the folder is compared in its resolved form.
    std::unique_ptr<char, decltype(&std::free)> resolved(realpath(folder.c_str(), nullptr),
                                                         &std::free);
    if (!resolved) {
        return false;
    }
    const std::string root(resolved.get());
    TFolderEnumeration processes("/proc");
    while (const auto entry = processes.Next()) {
        if (entry->Name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        if (ProcessUses(entry->Name, root)) {
            return true;
        }
    }
    return false;
}

} // namespace platform
