// The computer's local date and time.
#pragma once

namespace platform {

struct TLocalTime {
    int Year = 0;   // four digits
    int Month = 0;  // 1..12
    int Day = 0;    // 1..31
    int Hour = 0;   // 0..23
    int Minute = 0; // 0..59
    int Second = 0; // 0..59
    bool operator==(const TLocalTime&) const = default;
};

TLocalTime ReadLocalClock();

} // namespace platform
