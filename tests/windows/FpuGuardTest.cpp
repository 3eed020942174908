#include "connectivity/FpuGuard.h"

#include <float.h>
#include <gtest/gtest.h>
#include <xmmintrin.h>

namespace {

unsigned short X87ControlWord() {
    unsigned short word = 0;
    __asm__ __volatile__("fnstcw %0" : "=m"(word));
    return word;
}

void SetX87ControlWord(unsigned short word) {
    __asm__ __volatile__("fnclex\n\tfldcw %0" : : "m"(word));
}

// The SSE control bits, without the exception flags that any arithmetic may raise.
unsigned SseControl() {
    constexpr unsigned kExceptionFlags = 0x3F;
    return _mm_getcsr() & ~kExceptionFlags;
}

void ChangeRounding() {
    unsigned current = 0;
    _controlfp_s(&current, _RC_CHOP, _MCW_RC);
}

void UnmaskDivisionByZero() {
    unsigned current = 0;
    _controlfp_s(&current, _MCW_EM & ~_EM_ZERODIVIDE, _MCW_EM);
}

void FlushDenormalsToZero() {
    constexpr unsigned kFlushToZero = 0x8000;
    constexpr unsigned kDenormalsAreZero = 0x0040;
    _mm_setcsr(_mm_getcsr() | kFlushToZero | kDenormalsAreZero);
}

void X87SinglePrecision() {
    constexpr unsigned short kPrecisionControl = 0x0300;
    SetX87ControlWord(static_cast<unsigned short>(X87ControlWord() & ~kPrecisionControl));
}

void X87RoundUp() {
    constexpr unsigned short kRoundingControl = 0x0C00;
    constexpr unsigned short kUpward = 0x0800;
    SetX87ControlWord(
        static_cast<unsigned short>((X87ControlWord() & ~kRoundingControl) | kUpward));
}

struct TFpuChange {
    const char* Name;
    void (*Make)();
};

void PrintTo(const TFpuChange& row, std::ostream* out) {
    *out << row.Name;
}

class FpuGuardRestores : public ::testing::TestWithParam<TFpuChange> {};

// What a client library changes in the control words is undone when the guarded call returns.
TEST_P(FpuGuardRestores, TheControlWords) {
    const unsigned short x87Before = X87ControlWord();
    const unsigned sseBefore = SseControl();
    {
        connectivity::TFpuGuard guard;
        GetParam().Make();
        ASSERT_TRUE(X87ControlWord() != x87Before || SseControl() != sseBefore)
            << GetParam().Name << " changed nothing";
    }
    EXPECT_EQ(X87ControlWord(), x87Before) << GetParam().Name;
    EXPECT_EQ(SseControl(), sseBefore) << GetParam().Name;
}

INSTANTIATE_TEST_SUITE_P(
    Changes, FpuGuardRestores,
    ::testing::Values(TFpuChange{"RoundingTowardZero", ChangeRounding},
                      TFpuChange{"DivisionByZeroUnmasked", UnmaskDivisionByZero},
                      TFpuChange{"DenormalsFlushedToZero", FlushDenormalsToZero},
                      TFpuChange{"X87SinglePrecision", X87SinglePrecision},
                      TFpuChange{"X87RoundingUpward", X87RoundUp}),
    [](const ::testing::TestParamInfo<TFpuChange>& info) { return info.param.Name; });

} // namespace
