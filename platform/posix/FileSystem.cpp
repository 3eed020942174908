#include "platform/FileSystem.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/posix/CopyData.h"

namespace platform {

struct TFolderEnumeration::TState {
    DIR* Dir = nullptr;
    int Descriptor = -1;
    bool Failed = false;
    ~TState() {
        if (Dir != nullptr) {
            closedir(Dir);
        }
    }
};

TFolderEnumeration::TFolderEnumeration(const std::string& folder)
    : State_(std::make_unique<TState>()) {
    State_->Dir = opendir(folder.c_str());
    if (State_->Dir != nullptr) {
        State_->Descriptor = dirfd(State_->Dir);
    } else {
        State_->Failed = true;
    }
}

TFolderEnumeration::~TFolderEnumeration() = default;
TFolderEnumeration::TFolderEnumeration(TFolderEnumeration&&) noexcept = default;
TFolderEnumeration& TFolderEnumeration::operator=(TFolderEnumeration&&) noexcept = default;

bool TFolderEnumeration::IsOpen() const {
    return State_ && State_->Dir != nullptr;
}

bool TFolderEnumeration::Failed() const {
    return !State_ || State_->Failed;
}

std::optional<TFolderEntry> TFolderEnumeration::Next() {
    if (!IsOpen() || State_->Failed) {
        return std::nullopt;
    }
    // readdir returns null both at the end and on an error; only errno tells them apart.
    errno = 0;
    while (const dirent* entry = readdir(State_->Dir)) {
        const std::string_view name(entry->d_name);
        if (name == "." || name == "..") {
            errno = 0;
            continue;
        }
        unsigned char type = entry->d_type;
        if (type == DT_UNKNOWN) {
            struct stat info {};
            if (fstatat(State_->Descriptor, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0) {
                type = S_ISDIR(info.st_mode) ? DT_DIR : S_ISLNK(info.st_mode) ? DT_LNK : DT_REG;
            }
        }
        const TEntryType kind = type == DT_DIR   ? TEntryType::Folder
                                : type == DT_LNK ? TEntryType::Link
                                                 : TEntryType::File;
        return TFolderEntry{std::string(name), kind};
    }
    State_->Failed = errno != 0;
    return std::nullopt;
}

bool IsRealFolder(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

namespace {

// Deleting, creating or replacing an entry needs write permission on its folder. A folder
// without it is the nearest Linux kin of a read-only folder, which on Windows stops none of
// these. Only when the system has refused a change for lack of access (root never is) and the
// process owns the folder is the owner's write bit lent, for the retried change alone: the
// folder's mode is given back when this object goes, so nothing the operation does not need
// changes, and the common path costs no call at all.
class TFolderWriteAccess {
public:
    explicit TFolderWriteAccess(const std::string& path) : Path_(path) {}
    ~TFolderWriteAccess() {
        if (Lent_) {
            chmod(Folder_.c_str(), Mode_);
        }
    }
    TFolderWriteAccess(const TFolderWriteAccess&) = delete;
    TFolderWriteAccess& operator=(const TFolderWriteAccess&) = delete;

    // After a change failed: true when the failure was the folder's permission and the write
    // bit is now lent, so that the change is worth one more try.
    bool LendAfter(int error) {
        const auto slash = Path_.find_last_of('/');
        if (error != EACCES || Lent_ || slash == std::string::npos) {
            return false;
        }
        Folder_ = slash == 0 ? "/" : Path_.substr(0, slash);
        struct stat info {};
        if (lstat(Folder_.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
            info.st_uid != geteuid() || (info.st_mode & S_IWUSR) != 0 ||
            chmod(Folder_.c_str(), (info.st_mode & 07777) | S_IWUSR) != 0) {
            return false;
        }
        Mode_ = info.st_mode & 07777;
        Lent_ = true;
        return true;
    }

private:
    std::string Path_;
    std::string Folder_;
    mode_t Mode_ = 0;
    bool Lent_ = false;
};

// An owner or group that the process may not give (not root, or an id outside its user
// namespace) is no failure: the copy then belongs to the process, as with `cp -a` by a user.
bool OwnerRefused(int error) {
    return error == EPERM || error == EINVAL;
}

} // namespace

bool DeleteOneFile(const std::string& path) {
    // The file's own mode does not matter to unlink; a missing file fails before any access is
    // looked at.
    TFolderWriteAccess access(path);
    return unlink(path.c_str()) == 0 || (access.LendAfter(errno) && unlink(path.c_str()) == 0);
}

// Nothing keeps a name from being removed here: a process that has the file mapped keeps it.
bool DeleteNowOrAtRestart(const std::string& path) {
    return DeleteOneFile(path);
}

bool RemoveEmptyFolder(const std::string& path) {
    TFolderWriteAccess access(path);
    return rmdir(path.c_str()) == 0 || (access.LendAfter(errno) && rmdir(path.c_str()) == 0);
}

bool CreateOneFolder(const std::string& path) {
    return mkdir(path.c_str(), 0777) == 0;
}

bool CreateFolderPath(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    std::string prefix;
    std::size_t position = 0;
    while (position != std::string::npos) {
        position = path.find('/', position + 1);
        prefix = path.substr(0, position);
        if (prefix.empty() || IsRealFolder(prefix)) {
            continue;
        }
        if (mkdir(prefix.c_str(), 0777) != 0 && !(errno == EEXIST && IsRealFolder(prefix))) {
            struct stat info {};
            // A symbolic link to a folder is a usable parent.
            if (!(stat(prefix.c_str(), &info) == 0 && S_ISDIR(info.st_mode))) {
                return false;
            }
        }
    }
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void MakeReplaceable(const std::string&) {
    // The copy renames over the target, for which the file's own mode does not matter, and
    // opens its folder for the rename itself.
}

namespace {

// Owns a descriptor for the copy below.
class TDescriptor {
public:
    explicit TDescriptor(int descriptor) : Descriptor_(descriptor) {}
    ~TDescriptor() {
        if (Descriptor_ >= 0) {
            close(Descriptor_);
        }
    }
    TDescriptor(const TDescriptor&) = delete;
    TDescriptor& operator=(const TDescriptor&) = delete;
    int Get() const { return Descriptor_; }
    bool Close() {
        const int descriptor = Descriptor_;
        Descriptor_ = -1;
        return close(descriptor) == 0;
    }

private:
    int Descriptor_;
};

// A name beside the target that no other file has: ".<name>.<random>~".
std::string TemporaryNameBeside(const std::string& target) {
    static std::mt19937_64 random{std::random_device{}()};
    const auto slash = target.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    // Keep the temporary name within the system's limits for one name and for a whole path,
    // so that a target that fits is never refused for its temporary name.
    constexpr std::size_t kDecoration = 16;
    const std::size_t room =
        PATH_MAX - 1 > folder.size() + kDecoration
            ? std::min<std::size_t>(NAME_MAX, PATH_MAX - 1 - folder.size()) - kDecoration
            : 0;
    if (name.size() > room) {
        name.resize(room);
    }
    return folder + "." + name + "." + std::to_string(random() % 1000000000000ULL) + "~";
}

} // namespace

bool CopyFileReplacing(const std::string& source, const std::string& target) {
    // Opened without blocking: a named pipe in a copied tree would otherwise wait for ever for a
    // writer. Only plain files are copied; pipes, sockets and devices fail like unreadable files.
    TDescriptor from(open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat info {};
    if (from.Get() < 0 || fstat(from.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return false;
    }
    // A link at the target is replaced like a file, never written through.
    struct stat existing {};
    const bool exists = lstat(target.c_str(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode)) {
        return false;
    }
    TFolderWriteAccess access(target);
    // A new file is written under its own name, and removed again if the copy fails: there is
    // no old file to keep whole, and a backup of thousands of files saves as many renames.
    // Where a file exists the copy goes to a temporary name renamed over it.
    std::string temporary;
    const auto create = [&]() -> int {
        if (!exists) {
            return open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        }
        for (int attempt = 0; attempt < 16; ++attempt) {
            temporary = TemporaryNameBeside(target);
            const int descriptor =
                open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (descriptor >= 0 || errno != EEXIST) {
                return descriptor;
            }
        }
        return -1;
    };
    int descriptor = create();
    if (descriptor < 0 && access.LendAfter(errno)) {
        descriptor = create();
    }
    if (descriptor < 0) {
        temporary.clear();
        return false;
    }
    const std::string& writtenTo = temporary.empty() ? target : temporary;
    TDescriptor to(descriptor);
    const timespec times[2] = {info.st_atim, info.st_mtim};
    // The owner first: changing it clears the set-user-ID and set-group-ID bits, which the
    // mode then restores.
    const bool written =
        posix::CopyData(from.Get(), 0, to.Get(), static_cast<std::uint64_t>(info.st_size)) &&
        (fchown(to.Get(), info.st_uid, info.st_gid) == 0 || OwnerRefused(errno)) &&
        fchmod(to.Get(), info.st_mode & 07777) == 0 && futimens(to.Get(), times) == 0;
    // Closing reports delayed write errors of some file systems (NFS, full quota).
    const bool closed = to.Close();
    if (!written || !closed ||
        (!temporary.empty() && rename(temporary.c_str(), target.c_str()) != 0)) {
        unlink(writtenTo.c_str());
        return false;
    }
    return true;
}

bool CopyLink(const std::string& source, const std::string& target) {
    std::vector<char> text(PATH_MAX + 1);
    const ssize_t size = readlink(source.c_str(), text.data(), text.size() - 1);
    if (size < 0) {
        return false;
    }
    text[static_cast<std::size_t>(size)] = '\0';
    TFolderWriteAccess access(target);
    struct stat existing {};
    const bool exists = lstat(target.c_str(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode)) {
        return false;
    }
    const auto replace = [&] {
        return (!exists || unlink(target.c_str()) == 0 || errno == ENOENT) &&
               symlink(text.data(), target.c_str()) == 0;
    };
    if (!replace() && !(access.LendAfter(errno) && replace())) {
        return false;
    }
    struct stat info {};
    if (lstat(source.c_str(), &info) == 0) {
        // A link's own mode means nothing on Linux; its owner and times are what `cp -a` keeps.
        // Neither is worth failing the copy for.
        [[maybe_unused]] const int owner = lchown(target.c_str(), info.st_uid, info.st_gid);
        const timespec times[2] = {info.st_atim, info.st_mtim};
        [[maybe_unused]] const int timed =
            utimensat(AT_FDCWD, target.c_str(), times, AT_SYMLINK_NOFOLLOW);
    }
    return true;
}

bool CopyFolderAttributes(const std::string& source, const std::string& target) {
    struct stat info {};
    if (stat(source.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        return false;
    }
    // The owner before the mode, since changing the owner may clear set-group-ID.
    if (chown(target.c_str(), info.st_uid, info.st_gid) != 0 && !OwnerRefused(errno)) {
        return false;
    }
    // A merge into a folder of another owner may not change its mode or times; its content
    // is copied all the same.
    if (chmod(target.c_str(), info.st_mode & 07777) != 0 && errno != EPERM) {
        return false;
    }
    const timespec times[2] = {info.st_atim, info.st_mtim};
    return utimensat(AT_FDCWD, target.c_str(), times, 0) == 0 || errno == EPERM;
}

bool RenameNoReplace(const std::string& from, const std::string& to) {
    // Plain rename() would replace an empty folder of the new name.
    return renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0;
}

bool RenameReplacing(const std::string& from, const std::string& to) {
    return rename(from.c_str(), to.c_str()) == 0;
}

bool FlushFolderTree(const std::string& folder) {
    TDescriptor descriptor(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return descriptor.Get() >= 0 && syncfs(descriptor.Get()) == 0;
}

bool FlushFile(const std::string& path) {
    // fsync needs no write access: a read-only copy is flushed as it is.
    TDescriptor descriptor(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    return descriptor.Get() >= 0 && fsync(descriptor.Get()) == 0;
}

bool FlushFolderEntries(const std::string& folder) {
    TDescriptor descriptor(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return descriptor.Get() >= 0 && fsync(descriptor.Get()) == 0;
}

std::optional<std::uint64_t> FileSize(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(info.st_size);
}

} // namespace platform
