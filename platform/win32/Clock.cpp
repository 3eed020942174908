#include "platform/Clock.h"

#include "platform/win32/WindowsSupport.h"

namespace platform {

TLocalTime ReadLocalClock() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

} // namespace platform
