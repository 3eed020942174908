#include "platform/DynamicLibrary.h"

#include "platform/FolderLookup.h"

#include <dlfcn.h>
#include <utility>

namespace platform {

namespace {

// Linux's loader sets no error number; its failures are reported with the number that the same
// failure has on Windows, so that the composed texts read alike on both systems.
constexpr unsigned long NotFoundCode = 126; // ERROR_MOD_NOT_FOUND
constexpr unsigned long NoEntryCode = 127;  // ERROR_PROC_NOT_FOUND

TOsError LoaderError(unsigned long code) {
    const char* text = dlerror();
    return {code, text != nullptr ? text : ""};
}

} // namespace

std::vector<std::string> LibraryFileNames(std::string_view fileName) {
    if (fileName.find('/') != std::string_view::npos) {
        return {std::string(fileName)};
    }
    if (SameNameIgnoringCase(fileName, "fbclient.dll")) {
        return {"libfbclient.so.2", "libfbclient.so"};
    }
    if (SameNameIgnoringCase(fileName, "gds32.dll")) {
        return {"libgds.so.0", "libgds.so"};
    }
    constexpr std::string_view dll = ".dll";
    if (fileName.size() > dll.size() &&
        SameNameIgnoringCase(fileName.substr(fileName.size() - dll.size()), dll)) {
        return {"lib" + std::string(fileName.substr(0, fileName.size() - dll.size())) + ".so"};
    }
    return {std::string(fileName)};
}

TDynamicLibrary TDynamicLibrary::Load(std::string_view fileName, TOsError* error) {
    TOsError last{NotFoundCode, "empty library name"};
    for (const std::string& candidate : LibraryFileNames(fileName)) {
        if (candidate.empty()) {
            continue;
        }
        // RTLD_LOCAL keeps two client libraries loaded side by side from resolving each other's
        // symbols; RTLD_NOW makes a library with unresolvable dependencies fail here, not at the
        // first call.
        void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle != nullptr) {
            return TDynamicLibrary(handle);
        }
        last = LoaderError(NotFoundCode);
    }
    if (error != nullptr) {
        *error = std::move(last);
    }
    return {};
}

TProcAddress TDynamicLibrary::Find(const char* name, TOsError* error) const {
    if (Handle_ == nullptr) {
        if (error != nullptr) {
            *error = {NoEntryCode, "no library is loaded"};
        }
        return nullptr;
    }
    dlerror();
    void* address = dlsym(Handle_, name);
    if (address == nullptr) {
        if (error != nullptr) {
            *error = LoaderError(NoEntryCode);
        }
        return nullptr;
    }
    return reinterpret_cast<TProcAddress>(address);
}

void TDynamicLibrary::Free() {
    if (Handle_ != nullptr) {
        dlclose(std::exchange(Handle_, nullptr));
    }
}

} // namespace platform
