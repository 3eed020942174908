// Whether a folder lies on a drive of this computer, as opposed to a network, optical or
// memory drive.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

enum class TDriveClass {
    Disk,    // a fixed or removable disk: accepted as local
    Network, // NFS, SMB/CIFS, network FUSE mounts, 9p, Ceph, AFS and the like
    Optical, // CD/DVD file systems
    Memory,  // tmpfs, ramfs
    Undetermined
};

// Linux: the class of a file system given by its `statfs` type number and, for FUSE mounts,
// the subtype named in the mount table (`sshfs` for "fuse.sshfs"; "blk" for "fuseblk").
// Unknown type numbers are Undetermined.
TDriveClass ClassifyFileSystem(std::uint64_t fsType, const std::string& fuseSubtype);

#ifdef _WIN32
// Windows: the class of a drive type as GetDriveType reports it. Only removable (2) and fixed (3)
// drives are Disk, the drives an installation is accepted on; remote (4) is Network, cdrom (5)
// Optical, ramdisk (6) Memory; unknown (0), no root folder (1) and any other number are
// Undetermined.
TDriveClass ClassifyDriveType(unsigned driveType);
#endif

// The class of the drive that holds the existing folder `path`.
// Windows: ClassifyDriveType of the path's drive root.
// Linux: the file system that holds the folder, by ClassifyFileSystem.
TDriveClass DriveClassOf(const std::string& path);

// Only disk drives count as local.
inline bool IsLocalDrive(const std::string& path) {
    return DriveClassOf(path) == TDriveClass::Disk;
}

} // namespace platform
