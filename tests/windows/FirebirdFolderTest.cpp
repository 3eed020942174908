#include "platform/FirebirdFolder.h"

#include <gtest/gtest.h>
#include <optional>
#include <random>
#include <utility>
#include <vector>

#include "platform/win32/WindowsSupport.h"

namespace {

using platform::LookUpFirebirdFolderAt;
using TOutcome = platform::TFirebirdFolderLookup::TOutcome;

std::string UniqueSubKey() {
    std::random_device random;
    return "Software\\UpdaterTest-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(random());
}

// A key of HKEY_LOCAL_MACHINE of the test's own, named uniquely so that test programs running
// side by side do not meet, and deleted with its values when the test ends; in the registry's
// 64-bit view unless another is named.
class TScratchKey {
public:
    explicit TScratchKey(std::string subKey = UniqueSubKey(), REGSAM view = KEY_WOW64_64KEY)
        : SubKey_(std::move(subKey)), View_(view) {
        Status_ = RegCreateKeyExW(HKEY_LOCAL_MACHINE, platform::win32::Widen(SubKey_).c_str(), 0,
                                  nullptr, 0, KEY_ALL_ACCESS | View_, nullptr, &Key_, nullptr);
    }
    ~TScratchKey() {
        if (Status_ == ERROR_SUCCESS) {
            RegCloseKey(Key_);
            RegDeleteKeyExW(HKEY_LOCAL_MACHINE, platform::win32::Widen(SubKey_).c_str(), View_, 0);
        }
    }
    TScratchKey(const TScratchKey&) = delete;
    TScratchKey& operator=(const TScratchKey&) = delete;

    bool Created() const { return Status_ == ERROR_SUCCESS; }
    const std::string& SubKey() const { return SubKey_; }
    LSTATUS Set(const wchar_t* name, DWORD type, const std::vector<BYTE>& data) const {
        return RegSetValueExW(Key_, name, 0, type, data.data(), static_cast<DWORD>(data.size()));
    }

private:
    std::string SubKey_;
    REGSAM View_;
    HKEY Key_ = nullptr;
    LSTATUS Status_ = ERROR_INVALID_FUNCTION;
};

// The bytes of a wide text as the registry stores it, with or without its closing zero.
std::vector<BYTE> Bytes(std::wstring_view text, bool closingZero = true) {
    const auto* begin = reinterpret_cast<const BYTE*>(text.data());
    std::vector<BYTE> bytes(begin, begin + text.size() * sizeof(wchar_t));
    if (closingZero) {
        bytes.insert(bytes.end(), sizeof(wchar_t), 0);
    }
    return bytes;
}

struct TValueCase {
    const char* Name;
    const wchar_t* ValueName;
    DWORD Type;
    std::vector<BYTE> Data;
    TOutcome Outcome;
    std::string Folder;
};

void PrintTo(const TValueCase& row, std::ostream* out) {
    *out << row.Name;
}

class FirebirdFolderValue : public ::testing::TestWithParam<TValueCase> {};

TEST_P(FirebirdFolderValue, IsReadAsStored) {
    const TValueCase& row = GetParam();
    TScratchKey key;
    ASSERT_TRUE(key.Created()) << "cannot create HKLM\\" << key.SubKey();
    ASSERT_EQ(key.Set(row.ValueName, row.Type, row.Data), ERROR_SUCCESS);
    const auto lookup = LookUpFirebirdFolderAt(key.SubKey());
    EXPECT_EQ(lookup.Outcome, row.Outcome);
    EXPECT_EQ(lookup.Folder, row.Folder);
}

const DWORD kNumber = 3;

INSTANTIATE_TEST_SUITE_P(
    Values, FirebirdFolderValue,
    ::testing::Values(
        TValueCase{"Text", L"DefaultInstance", REG_SZ,
                   Bytes(L"C:\\Program Files\\Firebird\\Firebird_3_0\\"), TOutcome::Found,
                   "C:\\Program Files\\Firebird\\Firebird_3_0\\"},
        TValueCase{"CyrillicText", L"DefaultInstance", REG_SZ,
                   Bytes(L"C:\\Программы\\Сервер Firebird\\"), TOutcome::Found,
                   "C:\\Программы\\Сервер Firebird\\"},
        TValueCase{"ExpandableTextKeptUnexpanded", L"DefaultInstance", REG_EXPAND_SZ,
                   Bytes(L"%ProgramFiles%\\Firebird"), TOutcome::Found, "%ProgramFiles%\\Firebird"},
        TValueCase{"TextUpToTheFirstZero", L"DefaultInstance", REG_SZ,
                   Bytes(std::wstring_view(L"C:\\Firebird\0D:\\Other", 20)), TOutcome::Found,
                   "C:\\Firebird"},
        TValueCase{"TextWithoutClosingZero", L"DefaultInstance", REG_SZ,
                   Bytes(L"C:\\Firebird", false), TOutcome::Found, "C:\\Firebird"},
        TValueCase{"EmptyText", L"DefaultInstance", REG_SZ, Bytes(L""), TOutcome::Found, ""},
        TValueCase{"Number", L"DefaultInstance", REG_DWORD,
                   std::vector<BYTE>(reinterpret_cast<const BYTE*>(&kNumber),
                                     reinterpret_cast<const BYTE*>(&kNumber) + sizeof kNumber),
                   TOutcome::WrongType, "DefaultInstance"},
        TValueCase{"Binary", L"DefaultInstance", REG_BINARY, Bytes(L"C:\\Firebird"),
                   TOutcome::WrongType, "DefaultInstance"},
        TValueCase{"ListOfTexts", L"DefaultInstance", REG_MULTI_SZ,
                   Bytes(std::wstring_view(L"C:\\Firebird\0\0", 13)), TOutcome::WrongType,
                   "DefaultInstance"},
        TValueCase{"OnlyAnotherValue", L"Instance", REG_SZ, Bytes(L"C:\\Firebird"),
                   TOutcome::NotFound, ""}),
    [](const ::testing::TestParamInfo<TValueCase>& info) { return info.param.Name; });

// A 32-bit server records its folder in the registry's 32-bit view, a 64-bit one in the 64-bit
// view; the 32-bit view is read first. A null text: no key in that view.
struct TViewCase {
    const char* Name;
    const wchar_t* In32BitView;
    const wchar_t* In64BitView;
    std::string Folder;
};

void PrintTo(const TViewCase& row, std::ostream* out) {
    *out << row.Name;
}

class FirebirdFolderView : public ::testing::TestWithParam<TViewCase> {};

TEST_P(FirebirdFolderView, The32BitViewIsReadFirst) {
    const TViewCase& row = GetParam();
    const std::string subKey = UniqueSubKey();
    std::optional<TScratchKey> key32;
    std::optional<TScratchKey> key64;
    if (row.In32BitView != nullptr) {
        key32.emplace(subKey, KEY_WOW64_32KEY);
        ASSERT_TRUE(key32->Created()) << "cannot create HKLM\\" << subKey << " (32-bit view)";
        ASSERT_EQ(key32->Set(L"DefaultInstance", REG_SZ, Bytes(row.In32BitView)), ERROR_SUCCESS);
    }
    if (row.In64BitView != nullptr) {
        key64.emplace(subKey, KEY_WOW64_64KEY);
        ASSERT_TRUE(key64->Created()) << "cannot create HKLM\\" << subKey << " (64-bit view)";
        ASSERT_EQ(key64->Set(L"DefaultInstance", REG_SZ, Bytes(row.In64BitView)), ERROR_SUCCESS);
    }
    const auto lookup = LookUpFirebirdFolderAt(subKey);
    EXPECT_EQ(lookup.Outcome, TOutcome::Found);
    EXPECT_EQ(lookup.Folder, row.Folder);
}

INSTANTIATE_TEST_SUITE_P(
    Views, FirebirdFolderView,
    ::testing::Values(
        TViewCase{"Only32BitView", L"C:\\Program Files (x86)\\Firebird\\Firebird_3_0\\", nullptr,
                  "C:\\Program Files (x86)\\Firebird\\Firebird_3_0\\"},
        TViewCase{"Both32BitWins", L"C:\\Program Files (x86)\\Firebird\\Firebird_3_0\\",
                  L"C:\\Program Files\\Firebird\\Firebird_3_0\\",
                  "C:\\Program Files (x86)\\Firebird\\Firebird_3_0\\"},
        TViewCase{"Only64BitView", nullptr, L"C:\\Program Files\\Firebird\\Firebird_3_0\\",
                  "C:\\Program Files\\Firebird\\Firebird_3_0\\"}),
    [](const ::testing::TestParamInfo<TViewCase>& info) { return info.param.Name; });

TEST(FirebirdFolderKey, AnAbsentKeyRecordsNoFolder) {
    std::string subKey;
    {
        TScratchKey gone;
        ASSERT_TRUE(gone.Created());
        subKey = gone.SubKey();
    }
    const auto lookup = LookUpFirebirdFolderAt(subKey);
    EXPECT_EQ(lookup.Outcome, TOutcome::NotFound);
    EXPECT_EQ(lookup.Folder, "");
}

TEST(FirebirdFolderKey, TheServerKeyIsAbsentInTheTestPrefix) {
    HKEY key = nullptr;
    const LSTATUS status =
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Firebird Project\\Firebird Server\\Instances",
                      0, KEY_READ, &key);
    if (status == ERROR_SUCCESS) {
        RegCloseKey(key);
    }
    ASSERT_EQ(status, ERROR_FILE_NOT_FOUND) << "a Firebird server is recorded on this computer";
    EXPECT_EQ(platform::LookUpFirebirdFolder().Outcome, TOutcome::NotFound);
}

} // namespace
