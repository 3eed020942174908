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

// The value in one view of the registry (KEY_WOW64_32KEY or KEY_WOW64_64KEY).
TFirebirdFolderLookup LookUpInView(const std::string& subKey, REGSAM view) {
    using TOutcome = TFirebirdFolderLookup::TOutcome;
    constexpr REGSAM kReadAccess = 0x20019; // KEY_READ: the updater never writes this key
    constexpr const wchar_t* kValueName = L"DefaultInstance";
    TRegistryKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, win32::Widen(subKey).c_str(), 0, kReadAccess | view,
                      key.Receive()) != ERROR_SUCCESS) {
        return {};
    }
    DWORD type = 0;
    DWORD size = 0;
    // Asked first for the type and size; asked again when the value grew in between.
    LSTATUS status = RegQueryValueExW(key.Get(), kValueName, nullptr, &type, nullptr, &size);
    std::vector<wchar_t> buffer;
    for (;;) {
        if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) {
            return {};
        }
        if (type != REG_SZ && type != REG_EXPAND_SZ) {
            return {TOutcome::WrongType, win32::Narrow(kValueName)};
        }
        if (status == ERROR_SUCCESS && !buffer.empty()) {
            // Taken as stored, up to the first zero character; an expandable value is not
            // expanded.
            return {TOutcome::Found, win32::Narrow(std::wstring_view(buffer.data()))};
        }
        // Room for an odd byte count and for a closing zero the stored text may lack.
        buffer.assign((size + 1) / sizeof(wchar_t) + 1, L'\0');
        size = static_cast<DWORD>((buffer.size() - 1) * sizeof(wchar_t));
        status = RegQueryValueExW(key.Get(), kValueName, nullptr, &type,
                                  reinterpret_cast<BYTE*>(buffer.data()), &size);
    }
}

} // namespace

// The 32-bit view first: the sites' servers are 32-bit, and a 32-bit server installer writes
// its key there, where 64-bit Windows keeps it apart from the 64-bit software's keys. A 64-bit
// server's key is in the 64-bit view. The views are named explicitly, so a 32-bit and a 64-bit
// Updater.exe read the same keys in the same order.
TFirebirdFolderLookup LookUpFirebirdFolderAt(const std::string& subKey) {
    TFirebirdFolderLookup lookup = LookUpInView(subKey, KEY_WOW64_32KEY);
    if (lookup.Outcome == TFirebirdFolderLookup::TOutcome::NotFound) {
        lookup = LookUpInView(subKey, KEY_WOW64_64KEY);
    }
    return lookup;
}

TFirebirdFolderLookup LookUpFirebirdFolder() {
    return LookUpFirebirdFolderAt("Software\\Firebird Project\\Firebird Server\\Instances");
}

} // namespace platform
