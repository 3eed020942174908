// Path text handling that follows the host's file-system rules.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// The separator that "join" puts between a folder and a child name.
extern const char PathDelimiter;

// The installation root the window offers before the operator types one.
extern const char* const DefaultInstallationRoot;

// The longest full path the host accepts for a file or folder, in the units of PathLength.
extern const std::size_t MaxPathLength;

// The length of a path text in the units the host's limit counts: bytes on Linux, UTF-16 code
// units on Windows (where a Cyrillic letter counts once, not as its two UTF-8 bytes).
std::size_t PathLength(std::string_view path);

// Makes a path absolute the way the system's full-path resolution does: relative to the
// current folder, "." and ".." segments resolved lexically (symbolic links are not followed),
// repeated separators collapsed, a trailing separator typed by the caller kept.
// An empty text stays empty.
std::string FullPath(std::string_view path);

// Appends one delimiter to `folder` unless it already ends with one, then `child`.
std::string JoinPath(std::string_view folder, std::string_view child);

// True when the two texts name the same path as the host compares path texts: Windows without
// regard to letter case (as the file system compares names, Cyrillic included), Linux byte for
// byte; trailing delimiters on either side are ignored. Nothing is resolved: relative texts,
// "." and ".." segments, links and short names compare as written.
bool SamePath(std::string_view a, std::string_view b);

// True when `path` names an existing folder (symbolic links followed).
bool FolderExists(const std::string& path);

} // namespace platform
