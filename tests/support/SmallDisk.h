// A small ext4 file system in an image file, mounted on a folder for as long as the object
// lives: a real full disk for the tests. Needs the right to mount (root) and loop devices;
// Available() is false where the machine does not allow it.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

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
