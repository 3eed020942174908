// Keeps the caller's floating-point environment across a call into the Firebird client library,
// which may change rounding or exception masks behind the caller's back.
#pragma once

#include <cfenv>

namespace connectivity {

class TFpuGuard {
public:
    TFpuGuard() { std::fegetenv(&Saved_); }
    ~TFpuGuard() { std::fesetenv(&Saved_); }
    TFpuGuard(const TFpuGuard&) = delete;
    TFpuGuard& operator=(const TFpuGuard&) = delete;

private:
    std::fenv_t Saved_{};
};

} // namespace connectivity
