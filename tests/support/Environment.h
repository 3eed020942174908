// Setting and removing environment variables in tests, on both systems.
#pragma once

#include <cstdlib>
#include <string>

inline void SetTestVariable(const char* name, const std::string& value) {
#ifdef _WIN32
    _putenv_s(name, value.c_str());
#else
    setenv(name, value.c_str(), 1);
#endif
}

inline void RemoveTestVariable(const char* name) {
#ifdef _WIN32
    _putenv_s(name, "");
#else
    unsetenv(name);
#endif
}
