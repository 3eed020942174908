#include "platform/FirebirdFolder.h"

#include <utility>
#include <vector>

#include "platform/win32/WindowsSupport.h"

namespace platform {

namespace {

// Owns an open registry key.
class TRegistryKey {
public:
    TRegistryKey() = default;
    ~TRegistryKey() {
        if (Key_ != nullptr) {
            RegCloseKey(Key_);
        }
    }
    TRegistryKey(const TRegistryKey&) = delete;
    TRegistryKey& operator=(const TRegistryKey&) = delete;
    HKEY* Receive() { return &Key_; }
    HKEY Get() const { return Key_; }

private:
    HKEY Key_ = nullptr;
};

} // namespace

TFirebirdFolderLookup LookUpFirebirdFolder() {
    using TOutcome = TFirebirdFolderLookup::TOutcome;
    constexpr REGSAM kReadAccess = 0x20019; // KEY_READ
    TRegistryKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Firebird Project\\Firebird Server\\Instances",
                      0, kReadAccess, key.Receive()) != ERROR_SUCCESS) {
        return {};
    }
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key.Get(), L"DefaultInstance", nullptr, &type, nullptr, &size) !=
        ERROR_SUCCESS) {
        return {};
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) {
        return {TOutcome::WrongType, "DefaultInstance"};
    }
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key.Get(), L"DefaultInstance", nullptr, &type,
                         reinterpret_cast<BYTE*>(buffer.data()), &size) != ERROR_SUCCESS) {
        return {};
    }
    // Taken as stored, up to the first zero character, not expanded.
    return {TOutcome::Found, win32::Narrow(std::wstring_view(buffer.data()))};
}

} // namespace platform
