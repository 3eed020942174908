// Loading a shared library by file name at run time and finding its entry points by name.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// An entry point as the loader hands it out; callers cast it to the entry point's own type.
using TProcAddress = void (*)();

// A failure of the operating system's loader: its error number (0 when it gave none) and its
// description.
struct TOsError {
    unsigned long Code = 0;
    std::string Description;
};

// The file names tried, in order, when a library is loaded by `fileName`. Windows tries the
// name as given. Elsewhere the Windows names of the client libraries map to the host's own
// (fbclient.dll to libfbclient.so.2 then libfbclient.so, gds32.dll to libgds.so.0 then
// libgds.so), any other "X.dll" to "libX.so", compared without regard to letter case; a name
// with a folder in it, or without ".dll", is tried as given.
std::vector<std::string> LibraryFileNames(std::string_view fileName);

// Owns one reference to a loaded library and gives it back to the system when destroyed.
class TDynamicLibrary {
public:
    TDynamicLibrary() = default;
    TDynamicLibrary(TDynamicLibrary&& other) noexcept;
    TDynamicLibrary& operator=(TDynamicLibrary&& other) noexcept;
    TDynamicLibrary(const TDynamicLibrary&) = delete;
    TDynamicLibrary& operator=(const TDynamicLibrary&) = delete;
    ~TDynamicLibrary();

    // Loads the library under the first of LibraryFileNames(fileName) that the system's library
    // search finds and can load. A file that is missing or is no library gives an object that
    // holds nothing; `error`, when given, then receives the loader's failure.
    static TDynamicLibrary Load(std::string_view fileName, TOsError* error = nullptr);

    bool IsLoaded() const { return Handle_ != nullptr; }

    // The address of the exported entry point `name`, or nullptr when the library does not
    // export it (or nothing is loaded); `error`, when given, then receives the loader's failure.
    TProcAddress Find(const char* name, TOsError* error = nullptr) const;

    // Gives the reference back now; the object then holds nothing.
    void Free();

private:
    explicit TDynamicLibrary(void* handle) : Handle_(handle) {}
    void* Handle_ = nullptr;
};

} // namespace platform
