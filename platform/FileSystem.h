// Files and folders as the update's folder operations need them: enumeration, delete, create,
// an atomic file copy and a rename that never replaces. Every call reports success as a value;
// the callers turn failures into their own texts.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace platform {

enum class TEntryType { File, Folder, Link };

struct TFolderEntry {
    std::string Name;
    TEntryType Type = TEntryType::File;
};

// Lists one folder in the order the file system returns it, without "." and "..". Hidden and
// system entries are included. Owns the system's enumeration handle until destroyed.
class TFolderEnumeration {
public:
    // Starts listing `folder`; false from IsOpen() when the folder cannot be read.
    explicit TFolderEnumeration(const std::string& folder);
    ~TFolderEnumeration();
    TFolderEnumeration(TFolderEnumeration&&) noexcept;
    TFolderEnumeration& operator=(TFolderEnumeration&&) noexcept;
    TFolderEnumeration(const TFolderEnumeration&) = delete;
    TFolderEnumeration& operator=(const TFolderEnumeration&) = delete;

    bool IsOpen() const;
    // The next entry, or nothing at the end. A symbolic link is reported as a link, never as
    // what it points to, so that recursive operations stay inside the tree.
    std::optional<TFolderEntry> Next();
    // True when the folder could not be opened or reading its listing broke off: once Next()
    // has returned nothing, this tells a complete listing from an incomplete one. An empty
    // folder is no failure.
    bool Failed() const;

private:
    struct TState;
    std::unique_ptr<TState> State_;
};

// True when `path` names an existing folder, not following a final symbolic link.
bool IsRealFolder(const std::string& path);

// Deletes a file or a symbolic link. Windows: the read-only attribute is cleared first (hidden
// and system stay). Linux: the folder's permission decides the deletion; where the process owns
// the folder but may not write it, the owner's write bit is added for the deletion only.
bool DeleteOneFile(const std::string& path);

// Deletes a file now or, when something holds it (a library a running process has loaded),
// when the system next starts. Windows: DeleteFile, else MoveFileEx with
// MOVEFILE_DELAY_UNTIL_REBOOT (which needs administrator rights). Linux: deleted now, since a
// process that has the file mapped keeps its content without the name. True when the file is
// gone or its deletion is scheduled.
bool DeleteNowOrAtRestart(const std::string& path);

// Removes an empty folder. Linux: the parent is made writable for the removal only, as above.
bool RemoveEmptyFolder(const std::string& path);

// Creates exactly this folder; fails when it or a file of that name exists or the parent is
// missing.
bool CreateOneFolder(const std::string& path);

// Creates the folder with every missing parent; an existing folder is accepted.
bool CreateFolderPath(const std::string& path);

// Clears what keeps an existing file from being replaced: the read-only and hidden attributes on
// Windows. Linux: nothing, since CopyFileReplacing renames over the target and makes its folder
// writable for that alone. Missing files are ignored.
void MakeReplaceable(const std::string& path);

// Copies `source` onto `target`, replacing an existing target, with the source's content,
// permissions (attributes) and modification time; on Linux also its owner and group where the
// process may set them (root; another user only to itself and its own groups).
// Linux: the data goes through the kernel (copy_file_range, else sendfile) into a temporary
// file in the target's folder, which is then renamed over the target; a new target is written
// under its own name. A library the running server has mapped is therefore never truncated
// under it, and a failed copy (a full disk) leaves the old target whole, or no new file, and no
// temporary file behind. A source that is not a plain file
// (a named pipe, a socket, a device) fails at once instead of being read.
// Windows: the system's CopyFile, which replaces the target in place.
bool CopyFileReplacing(const std::string& source, const std::string& target);

// Recreates the symbolic link `source` as `target` (same link text), replacing a file there.
// Linux: the link's owner, group and times are kept where the process may set them.
bool CopyLink(const std::string& source, const std::string& target);

// Gives the existing folder `target` the mode, owner, group and times of the folder `source`,
// as `cp -a` does; called after the folder's content is copied, since writing into a folder
// changes its times. An owner the process may not give (not root) is passed over, as is a
// mode or time it may not set on a folder it does not own. Windows: nothing to do (CopyFile
// semantics carry no folder attributes), always true.
bool CopyFolderAttributes(const std::string& source, const std::string& target);

// Gives a file or folder a new name. Fails when the new name exists (a folder included) or the
// folder is in use (Windows).
bool RenameNoReplace(const std::string& from, const std::string& to);

// Gives a file a new name, replacing a file of that name, a read-only one included (its
// attribute is cleared for the replacement on Windows; Linux looks at the folder's permission
// only). Fails when a folder has the new name.
bool RenameReplacing(const std::string& from, const std::string& to);

// Puts everything written under `folder` on stable storage, the folders' own entries included,
// and reports whether that succeeded. Linux: the file system holding the folder is synced as a
// whole (syncfs), which is one call however many files there are, and reports write-back
// errors. Windows: every file of the tree and the folders are flushed one by one.
bool FlushFolderTree(const std::string& folder);

// Puts the content of one file on stable storage (fsync; FlushFileBuffers, for which Windows
// opens the file for writing, its read-only attribute cleared for the flush alone).
bool FlushFile(const std::string& path);

// Puts a folder's own entries (the names created, renamed or removed in it) on stable storage.
// Windows keeps them in the file system's journal where a folder cannot be flushed on its own,
// and answers true then.
bool FlushFolderEntries(const std::string& folder);

// The size of an existing file, or nothing.
std::optional<std::uint64_t> FileSize(const std::string& path);

} // namespace platform
