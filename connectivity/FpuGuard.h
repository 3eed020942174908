// Keeps the caller's floating-point environment across a call into the Firebird client library,
// which may change rounding or exception masks behind the caller's back.
#pragma once

#include <cfenv>

#if defined(_WIN32) && (defined(__x86_64__) || defined(_M_X64))
#include <xmmintrin.h>
#endif

namespace connectivity {

class TFpuGuard {
public:
    TFpuGuard() {
        std::fegetenv(&Saved_);
#if defined(_WIN32) && (defined(__x86_64__) || defined(_M_X64))
        SavedSse_ = _mm_getcsr();
#endif
    }
    ~TFpuGuard() {
        std::fesetenv(&Saved_);
#if defined(_WIN32) && (defined(__x86_64__) || defined(_M_X64))
        // MinGW-w64's fegetenv and fesetenv keep the x87 unit only, while a 64-bit Windows
        // library does its arithmetic, and sets its rounding and exception masks, in the SSE unit.
        _mm_setcsr(SavedSse_);
#endif
    }
    TFpuGuard(const TFpuGuard&) = delete;
    TFpuGuard& operator=(const TFpuGuard&) = delete;

private:
    std::fenv_t Saved_{};
#if defined(_WIN32) && (defined(__x86_64__) || defined(_M_X64))
    unsigned SavedSse_ = 0;
#endif
};

} // namespace connectivity
