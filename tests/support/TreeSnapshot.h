// The content of a folder tree as one comparable value: every entry's relative path with its
// kind and, for files, its bytes.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

inline std::string ReadBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

using TTreeSnapshot = std::map<std::string, std::string>;

// Folders appear with the value "<folder>", links with "-> target".
inline TTreeSnapshot SnapshotOf(const std::filesystem::path& root) {
    TTreeSnapshot snapshot;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        const std::string name = std::filesystem::relative(entry.path(), root).string();
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
