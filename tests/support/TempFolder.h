// A scratch folder on a disk file system, removed with everything in it when the test ends.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

class TTempFolder {
public:
    TTempFolder();
    ~TTempFolder();
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;

    const std::filesystem::path& Path() const { return Path_; }
    std::string Str() const { return Path_.string(); }

    // Creates the folder `relative` (and its parents) inside; returns its full path.
    std::filesystem::path MakeFolder(const std::string& relative) const;
    // Writes `content` into the file `relative` inside, creating its folders.
    std::filesystem::path MakeFile(const std::string& relative,
                                   const std::string& content = "x") const;
    // Creates a folder inside whose path, with a delimiter and `tail` after it (what the test
    // then makes there, such as "Kormant/DB_Data/Kormant.fdb"), is `bytes` bytes long in UTF-8:
    // names of Cyrillic letters (two bytes each), none over 100 bytes. Returns its full path.
    std::filesystem::path MakeDeepFolder(std::size_t bytes, const std::string& tail) const;

private:
    std::filesystem::path Path_;
};

// `path` written with the host's folder delimiter: tests spell paths with '/'.
inline std::string Native(std::string path) {
#ifdef _WIN32
    for (char& c : path) {
        c = c == '/' ? '\\' : c;
    }
#endif
    return path;
}
