#include "platform/FirebirdFolder.h"

#include <gtest/gtest.h>
#include <random>
#include <vector>

#include "platform/win32/WindowsSupport.h"

namespace {

using platform::LookUpFirebirdFolderAt;
using TOutcome = platform::TFirebirdFolderLookup::TOutcome;

// A key of HKEY_LOCAL_MACHINE of the test's own, named uniquely so that test programs running
// side by side do not meet, and deleted with its values when the test ends.
class TScratchKey {
public:
    TScratchKey() {
        std::random_device random;
        SubKey_ = "Software\\UpdaterTest-" + std::to_string(GetCurrentProcessId()) + "-" +
                  std::to_string(random());
        Status_ = RegCreateKeyExW(HKEY_LOCAL_MACHINE, platform::win32::Widen(SubKey_).c_str(), 0,
                                  nullptr, 0, KEY_ALL_ACCESS, nullptr, &Key_, nullptr);
    }
    ~TScratchKey() {
        if (Status_ == ERROR_SUCCESS) {
            RegCloseKey(Key_);
            RegDeleteKeyW(HKEY_LOCAL_MACHINE, platform::win32::Widen(SubKey_).c_str());
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
