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

// The local time with the millisecond, for time stamps of events that follow each other within
// a second.
struct TLocalMoment {
    TLocalTime Time;
    int Millisecond = 0; // 0..999
};

TLocalMoment ReadLocalMoment();

} // namespace platform
