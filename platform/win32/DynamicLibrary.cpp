#include "platform/DynamicLibrary.h"

#include "platform/win32/WindowsSupport.h"

#include <utility>

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

} // namespace

// Windows resolves the name itself with its own search order; no mapping applies.
std::vector<std::string> LibraryFileNames(std::string_view fileName) {
    return {std::string(fileName)};
}

TDynamicLibrary TDynamicLibrary::Load(std::string_view fileName, TOsError* error) {
    const std::wstring name = win32::Widen(fileName);
    HMODULE module = LoadLibraryW(name.c_str());
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
