#include "platform/DynamicLibrary.h"

#include "platform/win32/WindowsSupport.h"

#include <string>
#include <utility>
#include <vector>

namespace platform {

namespace {

TOsError LastOsError() {
    const DWORD code = GetLastError();
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text(buffer != nullptr ? buffer : L"", length);
    LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n')) {
        text.pop_back();
    }
    return {code, win32::Narrow(text)};
}

bool IsFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The system folder, or with `windows` the Windows folder.
std::wstring SystemFolder(bool windows) {
    std::wstring folder(MAX_PATH, L'\0');
    const UINT length = windows ? GetWindowsDirectoryW(folder.data(), MAX_PATH)
                                : GetSystemDirectoryW(folder.data(), MAX_PATH);
    folder.resize(length < MAX_PATH ? length : 0);
    return folder;
}

// Where the system's standard search would find the library `name` (a plain file name), the
// current folder left out: the program's folder, the system folder, the Windows folder, then the
// absolute folders of PATH in their order. Empty when none of them holds it. The client library
// and the engine are loaded by plain names, and a program run with administrator rights must not
// take a library that someone placed in whatever folder it was started from. SetDllDirectory("")
// would take the current folder out of the system's own search, but not everywhere (Wine keeps
// it); this search does not depend on it.
std::wstring FoundOutsideTheCurrentFolder(const std::wstring& name) {
    std::vector<std::wstring> folders;
    std::wstring program(32768, L'\0');
    program.resize(GetModuleFileNameW(nullptr, program.data(), 32768));
    const std::size_t cut = program.find_last_of(L"\\/");
    if (cut != std::wstring::npos) {
        folders.push_back(program.substr(0, cut));
    }
    folders.push_back(SystemFolder(false));
    folders.push_back(SystemFolder(true));
    const DWORD size = GetEnvironmentVariableW(L"PATH", nullptr, 0);
    std::wstring path(size, L'\0');
    path.resize(size > 0 ? GetEnvironmentVariableW(L"PATH", path.data(), size) : 0);
    for (std::size_t start = 0; start <= path.size();) {
        std::size_t end = path.find(L';', start);
        if (end == std::wstring::npos) {
            end = path.size();
        }
        std::wstring folder = path.substr(start, end - start);
        if (folder.size() >= 2 && folder.front() == L'"' && folder.back() == L'"') {
            folder = folder.substr(1, folder.size() - 2);
        }
        // Only absolute folders: "." or a relative entry would be the current folder again.
        const bool absolute = (folder.size() >= 3 && folder[1] == L':' &&
                               (folder[2] == L'\\' || folder[2] == L'/')) ||
                              folder.rfind(L"\\\\", 0) == 0;
        if (absolute) {
            folders.push_back(folder);
        }
        start = end + 1;
    }
    for (std::wstring folder : folders) {
        if (folder.empty()) {
            continue;
        }
        if (folder.back() != L'\\' && folder.back() != L'/') {
            folder += L'\\';
        }
        // As the loader does, a name without an extension is a ".dll".
        const std::wstring file = name.find(L'.') == std::wstring::npos ? name + L".dll" : name;
        if (IsFile(folder + file)) {
            return folder + file;
        }
    }
    return {};
}

// A plain file name, which the system would look for along its search.
bool IsPlainName(const std::wstring& name) {
    return name.find_first_of(L"\\/:") == std::wstring::npos;
}

} // namespace

// Windows resolves the name itself with its own search order; no mapping applies.
std::vector<std::string> LibraryFileNames(std::string_view fileName) {
    return {std::string(fileName)};
}

TDynamicLibrary TDynamicLibrary::Load(std::string_view fileName, TOsError* error) {
    const std::wstring name = win32::Widen(fileName);
    HMODULE module = nullptr;
    if (!IsPlainName(name) || GetModuleHandleW(name.c_str()) != nullptr) {
        // A path is loaded as given; a library already loaded (a system one among them) is
        // taken as the system has it.
        module = LoadLibraryW(name.c_str());
    } else if (const std::wstring found = FoundOutsideTheCurrentFolder(name); !found.empty()) {
        // Its own folder first for what it needs in turn (the client's runtime beside it).
        module = LoadLibraryExW(found.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    } else {
        SetLastError(ERROR_MOD_NOT_FOUND);
    }
    if (module == nullptr) {
        if (error != nullptr) {
            *error = LastOsError();
        }
        return {};
    }
    return TDynamicLibrary(static_cast<void*>(module));
}

TProcAddress TDynamicLibrary::Find(const char* name, TOsError* error) const {
    if (Handle_ == nullptr) {
        if (error != nullptr) {
            *error = {ERROR_INVALID_HANDLE, "no library is loaded"};
        }
        return nullptr;
    }
    FARPROC address = GetProcAddress(static_cast<HMODULE>(Handle_), name);
    if (address == nullptr) {
        if (error != nullptr) {
            *error = LastOsError();
        }
        return nullptr;
    }
    return reinterpret_cast<TProcAddress>(address);
}

void TDynamicLibrary::Free() {
    if (Handle_ != nullptr) {
        FreeLibrary(static_cast<HMODULE>(std::exchange(Handle_, nullptr)));
    }
}

} // namespace platform
