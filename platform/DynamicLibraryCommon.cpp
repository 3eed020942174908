// The ownership of a loaded library, the same on every system; loading and freeing are the
// system's own.
#include "platform/DynamicLibrary.h"

#include <utility>

namespace platform {

TDynamicLibrary::TDynamicLibrary(TDynamicLibrary&& other) noexcept
    : Handle_(std::exchange(other.Handle_, nullptr)) {}

TDynamicLibrary& TDynamicLibrary::operator=(TDynamicLibrary&& other) noexcept {
    if (this != &other) {
        Free();
        Handle_ = std::exchange(other.Handle_, nullptr);
    }
    return *this;
}

TDynamicLibrary::~TDynamicLibrary() {
    Free();
}

} // namespace platform
