#include "platform/Clock.h"

#include "platform/win32/WindowsSupport.h"

namespace platform {

namespace {

TLocalMoment ReadSystemTime() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return {{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond},
            now.wMilliseconds};
}

} // namespace

TLocalTime ReadLocalClock() {
    return ReadSystemTime().Time;
}

TLocalMoment ReadLocalMoment() {
    return ReadSystemTime();
}

} // namespace platform
