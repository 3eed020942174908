// An open file with positioned reads and kernel-side copies between files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

namespace platform {

// Owns one open file of the system; closed when destroyed. Move-only.
class TFile {
public:
    TFile() = default;
    ~TFile();
    TFile(TFile&& other) noexcept;
    TFile& operator=(TFile&& other) noexcept;
    TFile(const TFile&) = delete;
    TFile& operator=(const TFile&) = delete;

    // Opens an existing file for reading; check IsOpen().
    static TFile OpenRead(const std::string& path);
    // Creates the file for writing, truncating an existing one. `executable` gives the new file
    // the run permission on Linux (Windows decides by the name).
    static TFile Create(const std::string& path, bool executable);
    // Creates a file for writing that must not exist yet: anything of that name, a link
    // included, makes it fail, so nothing is ever written through a link.
    static TFile CreateNew(const std::string& path);
    // Opens a file for reading and appending, creating it when it is not there; every Write goes
    // to its end. Others may read, write, rename and delete the file while it is open.
    static TFile OpenAppend(const std::string& path);

    bool IsOpen() const;
    std::optional<std::uint64_t> Size() const;
    // Reads exactly `size` bytes at `offset`; false on a short read or an error.
    bool ReadAt(std::uint64_t offset, void* buffer, std::size_t size) const;
    // Appends exactly `size` bytes.
    bool Write(const void* data, std::size_t size);
    // Appends `size` bytes of `source` starting at `offset`, inside the kernel where it can.
    bool AppendFrom(const TFile& source, std::uint64_t offset, std::uint64_t size);
    // Linux: the permission bits `mode & 0777`. Windows has none: the file becomes read-only
    // when the owner's write bit (0200) is missing and stays writable otherwise. Windows needs
    // the right to read the attributes, which only a file of CreateNew is opened with.
    bool SetPermissions(unsigned mode);
    // The time of the last change, in seconds since 1970 (UTC).
    bool SetModifiedTime(std::time_t seconds);
    // Cuts the file to `size` bytes; later writes go to the new end.
    bool Truncate(std::uint64_t size);
    // Puts what was written on stable storage (fsync; FlushFileBuffers).
    bool Flush();
    // Closes the file and reports whether everything written reached it.
    bool Close();

private:
#ifdef _WIN32
    void* Handle_ = nullptr;
#else
    int Descriptor_ = -1;
#endif
};

} // namespace platform
