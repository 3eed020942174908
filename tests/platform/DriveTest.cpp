#include "platform/Drive.h"

#include <cctype>
#include <filesystem>
#include <gtest/gtest.h>

#include "tests/support/TempFolder.h"

namespace {

using platform::ClassifyFileSystem;
using platform::TDriveClass;

struct TFsCase {
    const char* Name;
    std::uint64_t Type;
    const char* FuseSubtype;
    TDriveClass Expected;
};

#ifndef _WIN32
// Linux decides by the file system; Windows by the drive type.
class FileSystemTable : public ::testing::TestWithParam<TFsCase> {};

TEST_P(FileSystemTable, Classifies) {
    EXPECT_EQ(ClassifyFileSystem(GetParam().Type, GetParam().FuseSubtype), GetParam().Expected)
        << GetParam().Name;
}

INSTANTIATE_TEST_SUITE_P(
    KnownTypes, FileSystemTable,
    ::testing::Values(TFsCase{"ext4", 0xEF53, "", TDriveClass::Disk},
                      TFsCase{"xfs", 0x58465342, "", TDriveClass::Disk},
                      TFsCase{"btrfs", 0x9123683E, "", TDriveClass::Disk},
                      TFsCase{"overlay", 0x794C7630, "", TDriveClass::Disk},
                      TFsCase{"vfat", 0x4D44, "", TDriveClass::Disk},
                      TFsCase{"exfat", 0x2011BAB0, "", TDriveClass::Disk},
                      TFsCase{"ntfs3", 0x7366746E, "", TDriveClass::Disk},
                      TFsCase{"fuseblk", 0x65735546, "blk", TDriveClass::Disk},
                      TFsCase{"nfs", 0x6969, "", TDriveClass::Network},
                      TFsCase{"cifs", 0xFF534D42, "", TDriveClass::Network},
                      TFsCase{"smb2", 0xFE534D42, "", TDriveClass::Network},
                      TFsCase{"smbfs", 0x517B, "", TDriveClass::Network},
                      TFsCase{"sshfs", 0x65735546, "sshfs", TDriveClass::Network},
                      TFsCase{"fuse of unknown kind", 0x65735546, "", TDriveClass::Network},
                      TFsCase{"9p", 0x01021997, "", TDriveClass::Network},
                      TFsCase{"ceph", 0x00C36400, "", TDriveClass::Network},
                      TFsCase{"afs", 0x5346414F, "", TDriveClass::Network},
                      TFsCase{"iso9660", 0x9660, "", TDriveClass::Optical},
                      TFsCase{"udf", 0x15013346, "", TDriveClass::Optical},
                      TFsCase{"tmpfs", 0x01021994, "", TDriveClass::Memory},
                      TFsCase{"ramfs", 0x858458F6, "", TDriveClass::Memory},
                      TFsCase{"procfs", 0x9FA0, "", TDriveClass::Undetermined},
                      TFsCase{"unknown", 0x12345678, "", TDriveClass::Undetermined}),
    [](const ::testing::TestParamInfo<TFsCase>& info) {
        std::string name = info.param.Name;
        for (char& c : name) {
            if (!std::isalnum(static_cast<unsigned char>(c))) {
                c = '_';
            }
        }
        return name;
    });

#endif

TEST(DriveClassOf, BuildTreeIsOnALocalDisk) {
    TTempFolder temp;
    EXPECT_TRUE(platform::IsLocalDrive(temp.Str()));
}

#ifdef _WIN32
TEST(DriveClassOf, AMissingDriveLetterAndANetworkShareAreNotLocal) {
    EXPECT_EQ(platform::DriveClassOf("Q:\\QUV\\Kormant"), TDriveClass::Undetermined);
    EXPECT_FALSE(platform::IsLocalDrive("\\\\server\\share\\QUV\\Kormant"));
}
#else
TEST(DriveClassOf, MemoryFileSystemIsNotLocal) {
    if (!std::filesystem::is_directory("/dev/shm")) {
        GTEST_SKIP() << "no /dev/shm on this machine";
    }
    EXPECT_EQ(platform::DriveClassOf("/dev/shm"), TDriveClass::Memory);
    EXPECT_FALSE(platform::IsLocalDrive("/dev/shm"));
}

TEST(DriveClassOf, PseudoFileSystemAndMissingPathAreNotLocal) {
    EXPECT_FALSE(platform::IsLocalDrive("/proc"));
    EXPECT_EQ(platform::DriveClassOf("/no/such/folder/at/all"), TDriveClass::Undetermined);
}

#endif

} // namespace
