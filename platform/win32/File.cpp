#include "platform/File.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "platform/win32/WindowsSupport.h"

namespace platform {

namespace {

HANDLE AsHandle(void* handle) {
    return handle == nullptr ? INVALID_HANDLE_VALUE : static_cast<HANDLE>(handle);
}

void* FromHandle(HANDLE handle) {
    return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
}

} // namespace

TFile::~TFile() {
    if (Handle_ != nullptr) {
        CloseHandle(AsHandle(Handle_));
    }
}

TFile::TFile(TFile&& other) noexcept : Handle_(std::exchange(other.Handle_, nullptr)) {}

TFile& TFile::operator=(TFile&& other) noexcept {
    if (this != &other) {
        if (Handle_ != nullptr) {
            CloseHandle(AsHandle(Handle_));
        }
        Handle_ = std::exchange(other.Handle_, nullptr);
    }
    return *this;
}

TFile TFile::OpenRead(const std::string& path) {
    TFile file;
    file.Handle_ = FromHandle(CreateFileW(win32::Widen(path).c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file;
}

TFile TFile::Create(const std::string& path, bool /*executable*/) {
    TFile file;
    file.Handle_ = FromHandle(CreateFileW(win32::Widen(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file;
}

TFile TFile::CreateNew(const std::string& path) {
    TFile file;
    // Reading the attributes is a right of its own, which SetPermissions needs.
    file.Handle_ =
        FromHandle(CreateFileW(win32::Widen(path).c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES, 0,
                               nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file;
}

TFile TFile::OpenAppend(const std::string& path) {
    TFile file;
    file.Handle_ = FromHandle(CreateFileW(win32::Widen(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER none{};
    if (file.Handle_ != nullptr) {
        SetFilePointerEx(AsHandle(file.Handle_), none, nullptr, FILE_END);
    }
    return file;
}

bool TFile::IsOpen() const {
    return Handle_ != nullptr;
}

std::optional<std::uint64_t> TFile::Size() const {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(AsHandle(Handle_), &size)) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(size.QuadPart);
}

bool TFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t size) const {
    auto* bytes = static_cast<char*>(buffer);
    while (size > 0) {
        OVERLAPPED position{};
        position.Offset = static_cast<DWORD>(offset);
        position.OffsetHigh = static_cast<DWORD>(offset >> 32);
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
        DWORD got = 0;
        if (!ReadFile(AsHandle(Handle_), bytes, chunk, &got, &position) || got == 0) {
            return false;
        }
        bytes += got;
        size -= got;
        offset += got;
    }
    return true;
}

bool TFile::Write(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
        DWORD written = 0;
        if (!WriteFile(AsHandle(Handle_), bytes, chunk, &written, nullptr) || written == 0) {
            return false;
        }
        bytes += written;
        size -= written;
    }
    return true;
}

bool TFile::AppendFrom(const TFile& source, std::uint64_t offset, std::uint64_t size) {
    // Windows has no kernel copy between two open handles; a large buffer keeps it fast.
    std::vector<char> buffer(static_cast<std::size_t>(std::min<std::uint64_t>(size, 4u << 20)));
    while (size > 0) {
        const auto chunk = static_cast<std::size_t>(std::min<std::uint64_t>(size, buffer.size()));
        if (!source.ReadAt(offset, buffer.data(), chunk) || !Write(buffer.data(), chunk)) {
            return false;
        }
        offset += chunk;
        size -= chunk;
    }
    return true;
}

bool TFile::SetPermissions(unsigned mode) {
    FILE_BASIC_INFO info{};
    if (!GetFileInformationByHandleEx(AsHandle(Handle_), FileBasicInfo, &info, sizeof info)) {
        return false;
    }
    const DWORD before = info.FileAttributes;
    if ((mode & 0200) != 0) {
        info.FileAttributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    } else {
        info.FileAttributes |= FILE_ATTRIBUTE_READONLY;
    }
    if (info.FileAttributes == before) {
        return true;
    }
    if (info.FileAttributes == 0) {
        // Zero would mean "leave the attributes as they are".
        info.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    }
    // Zero times leave the file's times as they are.
    info.CreationTime.QuadPart = info.LastAccessTime.QuadPart = 0;
    info.LastWriteTime.QuadPart = info.ChangeTime.QuadPart = 0;
    return SetFileInformationByHandle(AsHandle(Handle_), FileBasicInfo, &info, sizeof info) != 0;
}

bool TFile::SetModifiedTime(std::time_t seconds) {
    // FILETIME counts 100-nanosecond steps since 1601-01-01 (UTC).
    constexpr std::int64_t kSteps = 10000000, kFrom1601 = 11644473600;
    const std::int64_t steps = (static_cast<std::int64_t>(seconds) + kFrom1601) * kSteps;
    FILETIME time{};
    time.dwLowDateTime = static_cast<DWORD>(steps);
    time.dwHighDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(steps) >> 32);
    return SetFileTime(AsHandle(Handle_), nullptr, nullptr, &time) != 0;
}

bool TFile::Truncate(std::uint64_t size) {
    // Also puts the file pointer, which ReadAt moves, back at the end for Write.
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(size);
    return SetFilePointerEx(AsHandle(Handle_), at, nullptr, FILE_BEGIN) &&
           SetEndOfFile(AsHandle(Handle_));
}

bool TFile::Flush() {
    return FlushFileBuffers(AsHandle(Handle_)) != 0;
}

bool TFile::Close() {
    if (Handle_ == nullptr) {
        return false;
    }
    return CloseHandle(AsHandle(std::exchange(Handle_, nullptr))) != 0;
}

} // namespace platform
