#include "platform/IniFile.h"

#include "platform/win32/WindowsSupport.h"

#include <vector>

namespace platform {

std::string ReadIniString(const std::string& fileName, std::string_view section,
                          std::string_view key, const std::string& defaultValue) {
    const std::wstring file = win32::Widen(fileName);
    const std::wstring sectionName = win32::Widen(section);
    const std::wstring keyName = win32::Widen(key);
    const std::wstring fallback = win32::Widen(defaultValue);
    // The profile function truncates silently; grow the buffer until the value fits.
    std::vector<wchar_t> buffer(256);
    for (;;) {
        const DWORD length = GetPrivateProfileStringW(
            sectionName.c_str(), keyName.c_str(), fallback.c_str(), buffer.data(),
            static_cast<DWORD>(buffer.size()), file.c_str());
        if (length + 1 < buffer.size()) {
            return win32::Narrow(std::wstring_view(buffer.data(), length));
        }
        buffer.resize(buffer.size() * 2);
    }
}

} // namespace platform
