// A small ext4 file system in an image file, mounted on a folder for as long as the object
// lives: a real full disk for the tests. Needs the right to mount (root) and loop devices;
// Available() is false where the machine does not allow it.
#pragma once

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>
#include <vector>

class TSmallDisk {
public:
    TSmallDisk(const std::filesystem::path& folder, int megabytes) : Mount_(folder / "disk") {
        Image_ = folder / "disk.img";
        std::filesystem::create_directories(Mount_);
        const std::string prepare = "truncate -s " + std::to_string(megabytes) + "M '" +
                                    Image_.string() + "' && mkfs.ext4 -q -m 0 '" + Image_.string() +
                                    "' 2>/dev/null && mount -o loop '" + Image_.string() + "' '" +
                                    Mount_.string() + "' 2>/dev/null";
        Mounted_ = std::system(prepare.c_str()) == 0;
    }
    ~TSmallDisk() {
        if (Mounted_) {
            std::system(("umount '" + Mount_.string() + "'").c_str());
        }
    }
    TSmallDisk(const TSmallDisk&) = delete;
    TSmallDisk& operator=(const TSmallDisk&) = delete;

    bool Available() const { return Mounted_; }
    const std::filesystem::path& Path() const { return Mount_; }

    // True when the whole content of `file` (on this disk) has reached the disk image: every
    // extent has its place on the disk (none still waiting in memory for its allocation), and
    // the image holds the file's bytes there. What only the page cache holds fails.
    bool HoldsOnDisk(const std::filesystem::path& file) const {
        std::ifstream in(file, std::ios::binary);
        const std::string content((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
        const int descriptor = open(file.c_str(), O_RDONLY);
        if (descriptor < 0 || content.empty()) {
            if (descriptor >= 0) {
                close(descriptor);
            }
            return false;
        }
        constexpr unsigned kExtents = 64;
        std::vector<char> buffer(sizeof(fiemap) + kExtents * sizeof(fiemap_extent));
        auto* map = reinterpret_cast<fiemap*>(buffer.data());
        map->fm_length = FIEMAP_MAX_OFFSET;
        map->fm_extent_count = kExtents;
        const bool mapped = ioctl(descriptor, FS_IOC_FIEMAP, map) == 0;
        close(descriptor);
        if (!mapped || map->fm_mapped_extents == 0) {
            return false;
        }
        std::ifstream image(Image_, std::ios::binary);
        std::uint64_t covered = 0;
        for (unsigned i = 0; i < map->fm_mapped_extents; ++i) {
            const fiemap_extent& extent = map->fm_extents[i];
            if ((extent.fe_flags & (FIEMAP_EXTENT_DELALLOC | FIEMAP_EXTENT_UNKNOWN |
                                    FIEMAP_EXTENT_NOT_ALIGNED | FIEMAP_EXTENT_DATA_INLINE)) != 0 ||
                extent.fe_logical >= content.size()) {
                return false;
            }
            const auto size = static_cast<std::size_t>(
                std::min<std::uint64_t>(extent.fe_length, content.size() - extent.fe_logical));
            std::string bytes(size, '\0');
            image.seekg(static_cast<std::streamoff>(extent.fe_physical));
            if (!image.read(bytes.data(), static_cast<std::streamsize>(size)) ||
                bytes != content.substr(extent.fe_logical, size)) {
                return false;
            }
            covered += size;
        }
        return covered == content.size();
    }

private:
    std::filesystem::path Image_;
    std::filesystem::path Mount_;
    bool Mounted_ = false;
};

// Marks a file or folder immutable (chattr +i) for as long as the object lives: even root can
// then neither change nor delete it, as with a locked file. Available() is false where the file
// system or the machine does not allow it.
class TImmutable {
public:
    explicit TImmutable(const std::filesystem::path& path) : Path_(path) {
        Set_ = std::system(("chattr +i '" + Path_.string() + "' 2>/dev/null").c_str()) == 0;
    }
    ~TImmutable() { Release(); }
    TImmutable(const TImmutable&) = delete;
    TImmutable& operator=(const TImmutable&) = delete;
    bool Available() const { return Set_; }
    void Release() {
        if (Set_) {
            std::system(("chattr -i '" + Path_.string() + "'").c_str());
            Set_ = false;
        }
    }

private:
    std::filesystem::path Path_;
    bool Set_ = false;
};
