// Path text handling that follows the host's file-system rules.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// The separator that "join" puts between a folder and a child name.
extern const char PathDelimiter;

// The installation root the window offers before the operator types one.
extern const char* const DefaultInstallationRoot;

// The longest full path the host accepts for a file or folder, in bytes of the path text.
extern const std::size_t MaxPathLength;

// Makes a path absolute the way the system's full-path resolution does: relative to the
// current folder, "." and ".." segments resolved lexically (symbolic links are not followed),
// repeated separators collapsed, a trailing separator typed by the caller kept.
// An empty text stays empty.
std::string FullPath(std::string_view path);

// Appends one delimiter to `folder` unless it already ends with one, then `child`.
std::string JoinPath(std::string_view folder, std::string_view child);

// True when `path` names an existing folder (symbolic links followed).
bool FolderExists(const std::string& path);

} // namespace platform
