#include "platform/FolderLookup.h"

#include "platform/Path.h"
#include "platform/win32/WindowsSupport.h"

namespace platform {

std::optional<std::string> FindChild(const std::string& folder, std::string_view name,
                                     TEntryKind kind) {
    // The file system itself compares without regard to case; the search returns the stored
    // spelling.
    WIN32_FIND_DATAW data{};
    const std::wstring pattern = win32::Widen(JoinPath(folder, name));
    win32::TFindHandle find(FindFirstFileW(pattern.c_str(), &data));
    if (!find) {
        return std::nullopt;
    }
    const bool isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (isFolder != (kind == TEntryKind::Folder)) {
        return std::nullopt;
    }
    return win32::Narrow(data.cFileName);
}

} // namespace platform
