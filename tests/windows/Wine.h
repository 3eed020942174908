// Whether the tests run under Wine, for the few assertions where Wine behaves unlike Windows.
#pragma once

#include "platform/win32/WindowsSupport.h"

// Wine's ntdll exports its version; Windows' does not.
inline bool RunningUnderWine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}
