#include "platform/Drive.h"

#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>

namespace platform {

namespace {

// Type numbers from the kernel's magic.h and the file systems' own headers.
constexpr std::uint64_t kExt = 0xEF53;
constexpr std::uint64_t kXfs = 0x58465342;
constexpr std::uint64_t kBtrfs = 0x9123683E;
constexpr std::uint64_t kOverlay = 0x794C7630;
constexpr std::uint64_t kMsdos = 0x4D44;
constexpr std::uint64_t kExfat = 0x2011BAB0;
constexpr std::uint64_t kNtfs = 0x5346544E;
constexpr std::uint64_t kNtfs3 = 0x7366746E;
constexpr std::uint64_t kF2fs = 0xF2F52010;
constexpr std::uint64_t kJfs = 0x3153464A;
constexpr std::uint64_t kReiserfs = 0x52654973;
constexpr std::uint64_t kZfs = 0x2FC12FC1;
constexpr std::uint64_t kHfsPlus = 0x482B;
constexpr std::uint64_t kNilfs = 0x3434;
constexpr std::uint64_t kBcachefs = 0xCA451A4E;
constexpr std::uint64_t kSquashfs = 0x73717368;

constexpr std::uint64_t kNfs = 0x6969;
constexpr std::uint64_t kSmb = 0x517B;
constexpr std::uint64_t kCifs = 0xFF534D42;
constexpr std::uint64_t kSmb2 = 0xFE534D42;
constexpr std::uint64_t kFuse = 0x65735546;
constexpr std::uint64_t k9p = 0x01021997;
constexpr std::uint64_t kCeph = 0x00C36400;
constexpr std::uint64_t kAfs = 0x5346414F;
constexpr std::uint64_t kKafs = 0x6B414653;
constexpr std::uint64_t kCoda = 0x73757245;
constexpr std::uint64_t kNcp = 0x564C;
constexpr std::uint64_t kOcfs2 = 0x7461636F;
constexpr std::uint64_t kGfs2 = 0x01161970;

constexpr std::uint64_t kIso9660 = 0x9660;
constexpr std::uint64_t kUdf = 0x15013346;

constexpr std::uint64_t kTmpfs = 0x01021994;
constexpr std::uint64_t kRamfs = 0x858458F6;

// FUSE subtypes that are backed by a local block device.
bool IsLocalFuse(const std::string& subtype) {
    return subtype == "blk" || subtype == "ntfs-3g" || subtype == "ntfs" || subtype == "exfat" ||
           subtype == "ext4";
}

// The FUSE subtype of the mount that holds `path`, from the mount table: the mount whose
// device number matches the folder's ("fuse.sshfs" gives "sshfs", "fuseblk" gives "blk").
std::string FuseSubtypeOf(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        return {};
    }
    std::ifstream table("/proc/self/mountinfo");
    std::string line;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string id, parent, device;
        fields >> id >> parent >> device;
        const auto colon = device.find(':');
        if (colon == std::string::npos) {
            continue;
        }
        const unsigned major = std::stoul(device.substr(0, colon));
        const unsigned minor = std::stoul(device.substr(colon + 1));
        if (makedev(major, minor) != info.st_dev) {
            continue;
        }
        const auto dash = line.find(" - ");
        if (dash == std::string::npos) {
            continue;
        }
        std::istringstream tail(line.substr(dash + 3));
        std::string type;
        tail >> type;
        if (type.rfind("fuse.", 0) == 0) {
            return type.substr(5);
        }
        if (type.rfind("fuse", 0) == 0) {
            return type.substr(4);
        }
    }
    return {};
}

} // namespace

TDriveClass ClassifyFileSystem(std::uint64_t fsType, const std::string& fuseSubtype) {
    switch (fsType) {
    case kExt:
    case kXfs:
    case kBtrfs:
    case kOverlay:
    case kMsdos:
    case kExfat:
    case kNtfs:
    case kNtfs3:
    case kF2fs:
    case kJfs:
    case kReiserfs:
    case kZfs:
    case kHfsPlus:
    case kNilfs:
    case kBcachefs:
    case kSquashfs:
        return TDriveClass::Disk;
    case kNfs:
    case kSmb:
    case kCifs:
    case kSmb2:
    case k9p:
    case kCeph:
    case kAfs:
    case kKafs:
    case kCoda:
    case kNcp:
    case kOcfs2:
    case kGfs2:
        return TDriveClass::Network;
    case kFuse:
        return IsLocalFuse(fuseSubtype) ? TDriveClass::Disk : TDriveClass::Network;
    case kIso9660:
    case kUdf:
        return TDriveClass::Optical;
    case kTmpfs:
    case kRamfs:
        return TDriveClass::Memory;
    default:
        return TDriveClass::Undetermined;
    }
}

TDriveClass DriveClassOf(const std::string& path) {
    struct statfs info {};
    if (statfs(path.c_str(), &info) != 0) {
        return TDriveClass::Undetermined;
    }
    const auto type = static_cast<std::uint64_t>(static_cast<std::uint32_t>(info.f_type));
    return ClassifyFileSystem(type, type == kFuse ? FuseSubtypeOf(path) : std::string{});
}

} // namespace platform
