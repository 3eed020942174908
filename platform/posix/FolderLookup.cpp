#include "platform/FolderLookup.h"

#include <dirent.h>
#include <memory>
#include <sys/stat.h>

namespace platform {

namespace {

struct TDirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};
using TDirHandle = std::unique_ptr<DIR, TDirCloser>;

bool IsKind(const std::string& path, TEntryKind kind) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        return false;
    }
    return kind == TEntryKind::Folder ? S_ISDIR(info.st_mode) : !S_ISDIR(info.st_mode);
}

} // namespace

std::optional<std::string> FindChild(const std::string& folder, std::string_view name,
                                     TEntryKind kind) {
    TDirHandle dir(opendir(folder.c_str()));
    if (!dir) {
        return std::nullopt;
    }
    const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    std::optional<std::string> found;
    while (const dirent* entry = readdir(dir.get())) {
        const std::string_view entryName(entry->d_name);
        if (!SameNameIgnoringCase(entryName, name) ||
            !IsKind(prefix + std::string(entryName), kind)) {
            continue;
        }
        if (entryName == name) {
            return std::string(entryName);
        }
        if (!found) {
            found = std::string(entryName);
        }
    }
    return found;
}

} // namespace platform
