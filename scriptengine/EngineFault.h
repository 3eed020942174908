// A test seam of the engine: the test build of the library (IBESCRIPT_FAULTS defined) throws
// std::bad_alloc at the point whose name the environment variable IBESCRIPT_FAULT holds, as a
// real allocation failure could there, which no test can make happen on demand. In the library
// that ships the points are empty.
#pragma once

#ifdef IBESCRIPT_FAULTS
#include <cstdlib>
#include <cstring>
#include <new>
#endif

namespace scriptengine {

inline void FaultPoint([[maybe_unused]] const char* name) {
#ifdef IBESCRIPT_FAULTS
    const char* wanted = std::getenv("IBESCRIPT_FAULT");
    if (wanted != nullptr && std::strcmp(wanted, name) == 0) {
        throw std::bad_alloc();
    }
#endif
}

} // namespace scriptengine
