#include "platform/Drive.h"

#include <gtest/gtest.h>

#include "platform/win32/WindowsSupport.h"

namespace {

using platform::ClassifyDriveType;
using platform::DriveClassOf;
using platform::IsLocalDrive;
using platform::TDriveClass;

struct TDriveTypeCase {
    const char* Name;
    unsigned Type; // as GetDriveType reports it
    TDriveClass Expected;
};

void PrintTo(const TDriveTypeCase& row, std::ostream* out) {
    *out << row.Name;
}

class DriveTypeTable : public ::testing::TestWithParam<TDriveTypeCase> {};

// Only removable and fixed drives take an installation.
TEST_P(DriveTypeTable, Classifies) {
    EXPECT_EQ(ClassifyDriveType(GetParam().Type), GetParam().Expected) << GetParam().Name;
}

INSTANTIATE_TEST_SUITE_P(
    AllTypes, DriveTypeTable,
    ::testing::Values(TDriveTypeCase{"unknown", 0, TDriveClass::Undetermined},
                      TDriveTypeCase{"no_root_folder", 1, TDriveClass::Undetermined},
                      TDriveTypeCase{"removable", 2, TDriveClass::Disk},
                      TDriveTypeCase{"fixed", 3, TDriveClass::Disk},
                      TDriveTypeCase{"remote", 4, TDriveClass::Network},
                      TDriveTypeCase{"cdrom", 5, TDriveClass::Optical},
                      TDriveTypeCase{"ramdisk", 6, TDriveClass::Memory},
                      TDriveTypeCase{"beyond_the_known_types", 7, TDriveClass::Undetermined}),
    [](const ::testing::TestParamInfo<TDriveTypeCase>& info) { return info.param.Name; });

// A letter that no drive of this computer (or Wine prefix) uses, from the end of the alphabet
// down; 0 when every letter is taken.
char UnusedDriveLetter() {
    const DWORD used = GetLogicalDrives();
    for (char letter = 'Y'; letter >= 'D'; --letter) {
        if ((used & (1u << (letter - 'A'))) == 0) {
            return letter;
        }
    }
    return 0;
}

TEST(DriveClassOfOnWindows, TheSystemDriveIsAFixedDisk) {
    wchar_t windows[MAX_PATH] = {};
    ASSERT_GT(GetSystemWindowsDirectoryW(windows, MAX_PATH), 0u);
    const std::string folder = platform::win32::Narrow(windows);
    EXPECT_EQ(DriveClassOf(folder), TDriveClass::Disk) << folder;
    EXPECT_TRUE(IsLocalDrive(folder)) << folder;
}

TEST(DriveClassOfOnWindows, ALetterWithoutADriveIsNotLocal) {
    const char letter = UnusedDriveLetter();
    ASSERT_NE(letter, 0) << "every drive letter is in use";
    const std::string folder = std::string(1, letter) + ":\\QUV\\Kormant";
    EXPECT_EQ(DriveClassOf(folder), TDriveClass::Undetermined) << folder;
    EXPECT_FALSE(IsLocalDrive(folder)) << folder;
}

TEST(DriveClassOfOnWindows, ANetworkShareIsNotLocal) {
    const std::string folder = "\\\\server\\share\\Kormant";
    EXPECT_NE(DriveClassOf(folder), TDriveClass::Disk);
    EXPECT_FALSE(IsLocalDrive(folder));
}

} // namespace
