#include "platform/Clock.h"

#include <ctime>

namespace platform {

namespace {

TLocalTime Parts(std::time_t seconds) {
    std::tm parts{};
    localtime_r(&seconds, &parts);
    return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
            parts.tm_hour,        parts.tm_min,     parts.tm_sec};
}

} // namespace

TLocalTime ReadLocalClock() {
    return Parts(std::time(nullptr));
}

TLocalMoment ReadLocalMoment() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return {Parts(now.tv_sec), static_cast<int>(now.tv_nsec / 1000000)};
}

} // namespace platform
