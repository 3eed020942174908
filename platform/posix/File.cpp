#include "platform/File.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "platform/posix/CopyData.h"

namespace platform {

TFile::~TFile() {
    if (Descriptor_ >= 0) {
        close(Descriptor_);
    }
}

TFile::TFile(TFile&& other) noexcept : Descriptor_(std::exchange(other.Descriptor_, -1)) {}

TFile& TFile::operator=(TFile&& other) noexcept {
    if (this != &other) {
        if (Descriptor_ >= 0) {
            close(Descriptor_);
        }
        Descriptor_ = std::exchange(other.Descriptor_, -1);
    }
    return *this;
}

TFile TFile::OpenRead(const std::string& path) {
    TFile file;
    file.Descriptor_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    return file;
}

TFile TFile::Create(const std::string& path, bool executable) {
    TFile file;
    file.Descriptor_ =
        open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, executable ? 0755 : 0644);
    if (file.Descriptor_ >= 0 && executable) {
        // An existing file keeps its old mode through O_TRUNC; the package must be runnable.
        fchmod(file.Descriptor_, 0755);
    }
    return file;
}

TFile TFile::CreateNew(const std::string& path) {
    TFile file;
    file.Descriptor_ = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    return file;
}

TFile TFile::OpenAppend(const std::string& path) {
    TFile file;
    file.Descriptor_ = open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    return file;
}

bool TFile::IsOpen() const {
    return Descriptor_ >= 0;
}

std::optional<std::uint64_t> TFile::Size() const {
    struct stat info {};
    if (fstat(Descriptor_, &info) != 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(info.st_size);
}

bool TFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t size) const {
    auto* bytes = static_cast<char*>(buffer);
    while (size > 0) {
        const ssize_t got = pread(Descriptor_, bytes, size, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        bytes += got;
        size -= static_cast<std::size_t>(got);
        offset += static_cast<std::uint64_t>(got);
    }
    return true;
}

bool TFile::Write(const void* data, std::size_t size) {
    return posix::WriteAll(Descriptor_, data, size);
}

bool TFile::AppendFrom(const TFile& source, std::uint64_t offset, std::uint64_t size) {
    return posix::CopyData(source.Descriptor_, static_cast<off_t>(offset), Descriptor_, size);
}

bool TFile::SetPermissions(unsigned mode) {
    return fchmod(Descriptor_, static_cast<mode_t>(mode & 0777)) == 0;
}

bool TFile::SetModifiedTime(std::time_t seconds) {
    const timespec times[2] = {{0, UTIME_OMIT}, {seconds, 0}};
    return futimens(Descriptor_, times) == 0;
}

bool TFile::Truncate(std::uint64_t size) {
    return ftruncate(Descriptor_, static_cast<off_t>(size)) == 0;
}

bool TFile::Flush() {
    return fsync(Descriptor_) == 0;
}

bool TFile::Close() {
    if (Descriptor_ < 0) {
        return false;
    }
    return close(std::exchange(Descriptor_, -1)) == 0;
}

} // namespace platform
