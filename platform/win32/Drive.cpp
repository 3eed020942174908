#include "platform/Drive.h"

#include "platform/win32/WindowsSupport.h"

namespace platform {

TDriveClass ClassifyFileSystem(std::uint64_t, const std::string&) {
    // Windows decides by drive type, not by file system.
    return TDriveClass::Undetermined;
}

namespace {

// The drive part of a full path with a backslash appended: "C:\" or "\\server\share\".
std::string DriveRoot(const std::string& path) {
    if (path.size() >= 2 && path[1] == ':') {
        return path.substr(0, 2) + "\\";
    }
    if (path.rfind("\\\\", 0) == 0) {
        const auto serverEnd = path.find('\\', 2);
        if (serverEnd == std::string::npos) {
            return path + "\\";
        }
        const auto shareEnd = path.find('\\', serverEnd + 1);
        return path.substr(0, shareEnd) + "\\";
    }
    return {};
}

} // namespace

TDriveClass ClassifyDriveType(unsigned driveType) {
    switch (driveType) {
    case DRIVE_REMOVABLE:
    case DRIVE_FIXED:
        return TDriveClass::Disk;
    case DRIVE_REMOTE:
        return TDriveClass::Network;
    case DRIVE_CDROM:
        return TDriveClass::Optical;
    case DRIVE_RAMDISK:
        return TDriveClass::Memory;
    default:
        return TDriveClass::Undetermined;
    }
}

TDriveClass DriveClassOf(const std::string& path) {
    return ClassifyDriveType(GetDriveTypeW(win32::Widen(DriveRoot(path)).c_str()));
}

} // namespace platform
