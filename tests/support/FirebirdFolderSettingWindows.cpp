#include "tests/support/FirebirdFolderSetting.h"

#include <optional>
#include <stdexcept>
#include <vector>

#include "platform/win32/WindowsSupport.h"

namespace {

// The key that LookUpFirebirdFolder reads, one level at a time, so that the levels this object
// makes are known and removed again.
const wchar_t* const kLevels[] = {L"Software\\Firebird Project",
                                  L"Software\\Firebird Project\\Firebird Server",
                                  L"Software\\Firebird Project\\Firebird Server\\Instances"};
const wchar_t* const kValue = L"DefaultInstance";

} // namespace

struct TFirebirdFolder::TPrevious {
    HKEY Key = nullptr;
    std::vector<const wchar_t*> Made; // the levels this object made, outermost first
    std::optional<std::pair<DWORD, std::vector<BYTE>>> Value;
};

TFirebirdFolder::TFirebirdFolder(const std::string& folder) : Previous_(new TPrevious) {
    for (const wchar_t* level : kLevels) {
        if (Previous_->Key != nullptr) {
            RegCloseKey(Previous_->Key);
            Previous_->Key = nullptr;
        }
        DWORD disposition = 0;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, level, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &Previous_->Key, &disposition) != ERROR_SUCCESS) {
            throw std::runtime_error("cannot write the Firebird server's registry key");
        }
        if (disposition == REG_CREATED_NEW_KEY) {
            Previous_->Made.push_back(level);
        }
    }
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(Previous_->Key, kValue, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
        std::vector<BYTE> data(size);
        RegQueryValueExW(Previous_->Key, kValue, nullptr, &type, data.data(), &size);
        Previous_->Value.emplace(type, std::move(data));
    }
    const std::wstring text = platform::win32::Widen(folder);
    RegSetValueExW(Previous_->Key, kValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

TFirebirdFolder::~TFirebirdFolder() {
    if (Previous_->Value) {
        RegSetValueExW(Previous_->Key, kValue, 0, Previous_->Value->first,
                       Previous_->Value->second.data(),
                       static_cast<DWORD>(Previous_->Value->second.size()));
    } else {
        RegDeleteValueW(Previous_->Key, kValue);
    }
    RegCloseKey(Previous_->Key);
    for (auto level = Previous_->Made.rbegin(); level != Previous_->Made.rend(); ++level) {
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, *level);
    }
}
