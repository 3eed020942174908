// Owners of the system handles the window uses: each is released once, by its owner's destructor.
#pragma once

#include <utility>

#include "platform/win32/WindowsSupport.h"

#include <objbase.h>

namespace win32ui {

// A handle released by `Release` when its owner goes; moved, never copied.
template <typename THandle, auto Release> class TOwned {
public:
    TOwned() = default;
    explicit TOwned(THandle handle) : Handle_(handle) {}
    TOwned(TOwned&& other) noexcept : Handle_(std::exchange(other.Handle_, THandle{})) {}
    TOwned& operator=(TOwned&& other) noexcept {
        if (this != &other) {
            Reset(std::exchange(other.Handle_, THandle{}));
        }
        return *this;
    }
    TOwned(const TOwned&) = delete;
    TOwned& operator=(const TOwned&) = delete;
    ~TOwned() { Reset(); }

    THandle Get() const { return Handle_; }
    explicit operator bool() const { return Handle_ != THandle{}; }
    // Gives the handle up without releasing it (a window the system has destroyed already).
    THandle Detach() { return std::exchange(Handle_, THandle{}); }
    void Reset(THandle handle = THandle{}) {
        if (Handle_ != THandle{}) {
            Release(Handle_);
        }
        Handle_ = handle;
    }

private:
    THandle Handle_{};
};

namespace detail {
inline void DestroyWindowHandle(HWND window) {
    DestroyWindow(window);
}
inline void DeleteFont(HFONT font) {
    DeleteObject(font);
}
inline void FreeItemList(void* list) {
    CoTaskMemFree(list);
}
} // namespace detail

using TWindow = TOwned<HWND, detail::DestroyWindowHandle>;
using TFont = TOwned<HFONT, detail::DeleteFont>;
// A shell item list (PIDL) or any other block the shell allocated for the caller.
using TShellMemory = TOwned<void*, detail::FreeItemList>;

// The calling thread in a single-threaded COM apartment, as the shell's file information asks;
// left again when the owner goes.
class TComApartment {
public:
    TComApartment() : Entered_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    TComApartment(const TComApartment&) = delete;
    TComApartment& operator=(const TComApartment&) = delete;
    ~TComApartment() {
        if (Entered_) {
            CoUninitialize();
        }
    }

private:
    bool Entered_;
};

} // namespace win32ui
