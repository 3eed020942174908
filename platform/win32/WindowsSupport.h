// The one place where <windows.h> enters the platform layer, with the text conversions that
// every Win32 file needs. The program's texts are UTF-8; the wide Win32 calls take UTF-16.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>
#include <string_view>

namespace platform::win32 {

inline std::wstring Widen(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(),
                        size);
    return result;
}

inline std::string Narrow(std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size,
                        nullptr, nullptr);
    return result;
}

// Owns a FindFirstFile search handle.
class TFindHandle {
public:
    explicit TFindHandle(HANDLE handle) : Handle_(handle) {}
    TFindHandle(TFindHandle&& other) noexcept : Handle_(other.Handle_) {
        other.Handle_ = INVALID_HANDLE_VALUE;
    }
    TFindHandle& operator=(TFindHandle&& other) noexcept {
        if (this != &other) {
            Reset();
            Handle_ = other.Handle_;
            other.Handle_ = INVALID_HANDLE_VALUE;
        }
        return *this;
    }
    TFindHandle(const TFindHandle&) = delete;
    TFindHandle& operator=(const TFindHandle&) = delete;
    ~TFindHandle() { Reset(); }
    HANDLE Get() const { return Handle_; }
    explicit operator bool() const { return Handle_ != INVALID_HANDLE_VALUE; }

private:
    void Reset() {
        if (Handle_ != INVALID_HANDLE_VALUE) {
            FindClose(Handle_);
            Handle_ = INVALID_HANDLE_VALUE;
        }
    }

    HANDLE Handle_;
};

} // namespace platform::win32
