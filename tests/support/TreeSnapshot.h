// The content of a folder tree as one comparable value: every entry's relative path with its
// kind and, for files, its bytes; the detailed variant adds what `cp -a` keeps.
#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>
#ifndef _WIN32
#include <sys/stat.h>
#endif

inline std::string ReadBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

using TTreeSnapshot = std::map<std::string, std::string>;

// Folders appear with the value "<folder>", links with "-> target".
inline TTreeSnapshot SnapshotOf(const std::filesystem::path& root) {
    TTreeSnapshot snapshot;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        // Lexically: relative() would resolve links and name a link by its target.
        const std::u8string relative = entry.path().lexically_relative(root).u8string();
        const std::string name(relative.begin(), relative.end());
        if (entry.is_symlink()) {
            snapshot[name] = "-> " + std::filesystem::read_symlink(entry.path()).string();
        } else if (entry.is_directory()) {
            snapshot[name] = "<folder>";
        } else {
            snapshot[name] = ReadBytes(entry.path());
        }
    }
    return snapshot;
}

// As SnapshotOf, and every entry (the root itself as ".") also with its owner, group, mode and
// modification time (in nanoseconds), taken without following links.
inline TTreeSnapshot DetailedSnapshotOf(const std::filesystem::path& root) {
    TTreeSnapshot snapshot = SnapshotOf(root);
    snapshot["."] = "<folder>";
    for (auto& [name, value] : snapshot) {
#ifdef _WIN32
        // What Windows keeps of an entry: its read-only attribute and its time.
        const std::filesystem::path path =
            root / std::filesystem::path(std::u8string(name.begin(), name.end()));
        std::error_code error;
        const auto perms = std::filesystem::symlink_status(path, error).permissions();
        const auto time = std::filesystem::last_write_time(path, error);
        value += " perms " + std::to_string(static_cast<unsigned>(perms)) + " mtime " +
                 std::to_string(time.time_since_epoch().count());
#else
        struct stat info {};
        if (lstat((root / name).c_str(), &info) != 0) {
            value += " <no status>";
            continue;
        }
        char mode[16];
        std::snprintf(mode, sizeof mode, "%o", static_cast<unsigned>(info.st_mode));
        value += " owner " + std::to_string(info.st_uid) + ":" + std::to_string(info.st_gid) +
                 " mode " + mode + " mtime " + std::to_string(info.st_mtim.tv_sec) + "." +
                 std::to_string(info.st_mtim.tv_nsec);
#endif
    }
    return snapshot;
}

// The staging folders ("Tmp$…") that update runs left under `root`.
inline std::vector<std::filesystem::path> StagingFoldersUnder(const std::filesystem::path& root) {
    std::vector<std::filesystem::path> found;
    for (const auto& entry : std::filesystem::directory_iterator(root)) {
        if (entry.path().filename().string().rfind("Tmp$", 0) == 0) {
            found.push_back(entry.path());
        }
    }
    return found;
}
