#include "platform/ThreadLocalSlot.h"

#include "platform/win32/WindowsSupport.h"

#include <system_error>

namespace platform {

TThreadLocalSlot::TThreadLocalSlot() {
    const DWORD index = TlsAlloc();
    if (index == TLS_OUT_OF_INDEXES) {
        throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                                "TlsAlloc");
    }
    Key_ = index;
    Owned_ = true;
}

TThreadLocalSlot::TThreadLocalSlot(TThreadLocalSlot&& other) noexcept
    : Key_(other.Key_), Owned_(other.Owned_) {
    other.Owned_ = false;
}

TThreadLocalSlot::~TThreadLocalSlot() {
    if (Owned_) {
        TlsFree(static_cast<DWORD>(Key_));
    }
}

void* TThreadLocalSlot::Get() const {
    return TlsGetValue(static_cast<DWORD>(Key_));
}

void TThreadLocalSlot::Set(void* value) const {
    TlsSetValue(static_cast<DWORD>(Key_), value);
}

} // namespace platform
