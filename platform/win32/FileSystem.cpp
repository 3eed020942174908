#include "platform/FileSystem.h"

#include "platform/Path.h"
#include "platform/win32/WindowsSupport.h"

namespace platform {

struct TFolderEnumeration::TState {
    win32::TFindHandle Find{INVALID_HANDLE_VALUE};
    WIN32_FIND_DATAW Data{};
    bool HavePending = false;
    bool Failed = false;
};

TFolderEnumeration::TFolderEnumeration(const std::string& folder)
    : State_(std::make_unique<TState>()) {
    const std::wstring pattern = win32::Widen(JoinPath(folder, "*"));
    HANDLE handle = FindFirstFileW(pattern.c_str(), &State_->Data);
    State_->Find = win32::TFindHandle(handle);
    State_->HavePending = handle != INVALID_HANDLE_VALUE;
    // Only a listing without any match (a drive's empty root has no "." entry) is complete.
    State_->Failed = handle == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_NOT_FOUND;
}

TFolderEnumeration::~TFolderEnumeration() = default;
TFolderEnumeration::TFolderEnumeration(TFolderEnumeration&&) noexcept = default;
TFolderEnumeration& TFolderEnumeration::operator=(TFolderEnumeration&&) noexcept = default;

bool TFolderEnumeration::IsOpen() const {
    return State_ && static_cast<bool>(State_->Find);
}

bool TFolderEnumeration::Failed() const {
    return !State_ || State_->Failed;
}

std::optional<TFolderEntry> TFolderEnumeration::Next() {
    while (IsOpen() && State_->HavePending) {
        const WIN32_FIND_DATAW data = State_->Data;
        State_->HavePending = FindNextFileW(State_->Find.Get(), &State_->Data) != 0;
        if (!State_->HavePending && GetLastError() != ERROR_NO_MORE_FILES) {
            State_->Failed = true;
        }
        const std::wstring_view name(data.cFileName);
        if (name == L"." || name == L"..") {
            continue;
        }
        TEntryType type = TEntryType::File;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            type = TEntryType::Link;
        } else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            type = TEntryType::Folder;
        }
        return TFolderEntry{win32::Narrow(name), type};
    }
    return std::nullopt;
}

bool IsRealFolder(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(win32::Widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool DeleteOneFile(const std::string& path) {
    const std::wstring wide = win32::Widen(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        SetFileAttributesW(wide.c_str(),
                           (attributes | FILE_ATTRIBUTE_ARCHIVE) & ~FILE_ATTRIBUTE_READONLY);
    }
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        // A folder link is removed as a folder, never followed.
        return RemoveDirectoryW(wide.c_str()) != 0;
    }
    return DeleteFileW(wide.c_str()) != 0;
}

bool DeleteNowOrAtRestart(const std::string& path) {
    return DeleteOneFile(path) ||
           MoveFileExW(win32::Widen(path).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != 0;
}

bool RemoveEmptyFolder(const std::string& path) {
    // A read-only folder is refused, like a read-only file.
    const std::wstring wide = win32::Widen(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        SetFileAttributesW(wide.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    }
    return RemoveDirectoryW(wide.c_str()) != 0;
}

bool CreateOneFolder(const std::string& path) {
    return CreateDirectoryW(win32::Widen(path).c_str(), nullptr) != 0;
}

bool CreateFolderPath(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    if (FolderExists(path)) {
        return true;
    }
    std::string parent = path;
    while (!parent.empty() && (parent.back() == '\\' || parent.back() == '/')) {
        parent.pop_back();
    }
    const auto slash = parent.find_last_of("\\/");
    if (slash != std::string::npos && slash > 0 && parent[slash - 1] != ':' &&
        !CreateFolderPath(parent.substr(0, slash))) {
        return false;
    }
    return CreateDirectoryW(win32::Widen(path).c_str(), nullptr) != 0 || FolderExists(path);
}

void MakeReplaceable(const std::string& path) {
    const std::wstring wide = win32::Widen(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        SetFileAttributesW(wide.c_str(),
                           attributes & ~(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    }
}

bool CopyFileReplacing(const std::string& source, const std::string& target) {
    // Unlike the POSIX implementation this replaces the target in place: Windows refuses to
    // overwrite a loaded library, so the server's mapped file cannot be truncated anyway.
    const std::wstring from = win32::Widen(source);
    const std::wstring to = win32::Widen(target);
    // CopyFile refuses a read-only or hidden target; the copy takes the source's attributes
    // anyway, so the target's are cleared first and given back only when the copy fails.
    constexpr DWORD kRefused = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
    const DWORD old = GetFileAttributesW(to.c_str());
    const bool cleared = old != INVALID_FILE_ATTRIBUTES && (old & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
                         (old & kRefused) != 0 &&
                         SetFileAttributesW(to.c_str(), old & ~kRefused) != 0;
    if (!CopyFileW(from.c_str(), to.c_str(), FALSE)) {
        const DWORD error = GetLastError();
        if (cleared) {
            SetFileAttributesW(to.c_str(), old);
        }
        SetLastError(error);
        return false;
    }
    // Stated again: not every CopyFile gives an existing target the source's attributes.
    const DWORD attributes = GetFileAttributesW(from.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && SetFileAttributesW(to.c_str(), attributes);
}

bool CopyLink(const std::string& source, const std::string& target) {
    // Links inside an installation are not expected on Windows; the file they point to is
    // copied instead.
    return CopyFileReplacing(source, target);
}

bool CopyFolderAttributes(const std::string& source, const std::string& target) {
    // What Windows keeps of a folder: its attributes (read-only, hidden, system …) and its times.
    const std::wstring from = win32::Widen(source);
    const std::wstring to = win32::Widen(target);
    const DWORD attributes = GetFileAttributesW(from.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return false;
    }
    FILETIME created{};
    FILETIME accessed{};
    FILETIME written{};
    bool timesKept = false;
    HANDLE sourceFolder = CreateFileW(from.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (sourceFolder != INVALID_HANDLE_VALUE) {
        timesKept = GetFileTime(sourceFolder, &created, &accessed, &written) != 0;
        CloseHandle(sourceFolder);
    }
    HANDLE targetFolder = CreateFileW(to.c_str(), FILE_WRITE_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (targetFolder == INVALID_HANDLE_VALUE) {
        return false;
    }
    timesKept = timesKept && SetFileTime(targetFolder, &created, &accessed, &written) != 0;
    CloseHandle(targetFolder);
    return timesKept && SetFileAttributesW(to.c_str(), attributes) != 0;
}

bool RenameNoReplace(const std::string& from, const std::string& to) {
    return MoveFileExW(win32::Widen(from).c_str(), win32::Widen(to).c_str(), 0) != 0;
}

bool RenameReplacing(const std::string& from, const std::string& to) {
    const std::wstring target = win32::Widen(to);
    const DWORD attributes = GetFileAttributesW(target.c_str());
    const bool readOnly =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (readOnly) {
        SetFileAttributesW(target.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    }
    if (MoveFileExW(win32::Widen(from).c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        return true;
    }
    // The file that stays keeps its attribute, and the caller sees the move's own error.
    const DWORD error = GetLastError();
    if (readOnly) {
        SetFileAttributesW(target.c_str(), attributes);
    }
    SetLastError(error);
    return false;
}

namespace {

// FlushFileBuffers wants a handle with write access; a read-only file is opened for the flush
// with its attribute cleared and gets it back afterwards.
bool FlushOne(const std::wstring& path, bool folder) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return false;
    }
    const bool readOnly = !folder && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (readOnly) {
        SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    }
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, folder ? FILE_FLAG_BACKUP_SEMANTICS : 0, nullptr);
    bool flushed = handle != INVALID_HANDLE_VALUE && FlushFileBuffers(handle) != 0;
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
    }
    if (readOnly) {
        SetFileAttributesW(path.c_str(), attributes);
    }
    // A folder's entries are kept by the file system's journal where a folder cannot be
    // flushed on its own (FAT has no journal, but neither does it let folders be opened so).
    return flushed || folder;
}

} // namespace

bool FlushFolderTree(const std::string& folder) {
    TFolderEnumeration entries(folder);
    while (const auto entry = entries.Next()) {
        const std::string path = JoinPath(folder, entry->Name);
        if (!(entry->Type == TEntryType::Folder ? FlushFolderTree(path)
                                                : FlushOne(win32::Widen(path), false))) {
            return false;
        }
    }
    return !entries.Failed() && FlushOne(win32::Widen(folder), true);
}

bool FlushFile(const std::string& path) {
    return FlushOne(win32::Widen(path), false);
}

bool FlushFolderEntries(const std::string& folder) {
    return FlushOne(win32::Widen(folder), true);
}

std::optional<std::uint64_t> FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(win32::Widen(path).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return std::nullopt;
    }
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

} // namespace platform
