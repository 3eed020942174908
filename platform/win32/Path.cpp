#include "platform/Path.h"

#include "platform/win32/WindowsSupport.h"

namespace platform {

const char* const DefaultInstallationRoot = "C:\\QUV\\Kormant";
const char PathDelimiter = '\\';
const std::size_t MaxPathLength = MAX_PATH - 1;

std::size_t PathLength(std::string_view path) {
    return win32::Widen(path).size();
}

std::string FullPath(std::string_view path) {
    if (path.empty()) {
        return {};
    }
    const std::wstring wide = win32::Widen(path);
    DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (size == 0) {
        return std::string(path);
    }
    std::wstring result(size, L'\0');
    size = GetFullPathNameW(wide.c_str(), size, result.data(), nullptr);
    result.resize(size);
    return win32::Narrow(result);
}

bool SamePath(std::string_view a, std::string_view b) {
    // Both delimiters: the system takes "/" as one too.
    const auto trimmed = [](std::string_view path) {
        while (path.size() > 1 && (path.back() == '\\' || path.back() == '/')) {
            path.remove_suffix(1);
        }
        return win32::Widen(path);
    };
    const std::wstring left = trimmed(a);
    const std::wstring right = trimmed(b);
    // The ordinal comparison without case is the file system's own: letters of every alphabet
    // compared by their upper-case form, no locale, no normalisation.
    return CompareStringOrdinal(left.data(), static_cast<int>(left.size()), right.data(),
                                static_cast<int>(right.size()), TRUE) == CSTR_EQUAL;
}

bool FolderExists(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    const DWORD attributes = GetFileAttributesW(win32::Widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

} // namespace platform
