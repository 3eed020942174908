// Whether a library file is loaded into this process and not yet freed, on both systems.
#pragma once

#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <fstream>
#endif

inline bool IsLibraryLoaded(const std::string& path) {
#ifdef _WIN32
    // The test paths are plain ASCII.
    return GetModuleHandleA(path.c_str()) != nullptr;
#else
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        if (line.size() >= path.size() &&
            line.compare(line.size() - path.size(), path.size(), path) == 0) {
            return true;
        }
    }
    return false;
#endif
}
