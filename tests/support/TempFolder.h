// A scratch folder on a disk file system, removed with everything in it when the test ends.
#pragma once

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
