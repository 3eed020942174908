#include "platform/SystemName.h"

#include "platform/win32/WindowsSupport.h"

namespace platform {

namespace {

// The structure of RtlGetVersion, declared here as MinGW's headers leave it to the driver kit.
struct TOsVersion {
    ULONG Size;
    ULONG Major;
    ULONG Minor;
    ULONG Build;
    ULONG PlatformId;
    WCHAR ServicePack[128];
};

template <typename TFunction> TFunction NtdllFunction(const char* name) {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll == nullptr
               ? nullptr
               : reinterpret_cast<TFunction>(reinterpret_cast<void*>(GetProcAddress(ntdll, name)));
}

} // namespace

std::string OperatingSystemName() {
    // GetVersionEx answers with the version the program's manifest names, not the system's.
    std::string name = "Windows";
    using TRtlGetVersion = LONG(WINAPI*)(TOsVersion*);
    if (const auto getVersion = NtdllFunction<TRtlGetVersion>("RtlGetVersion")) {
        TOsVersion version{};
        version.Size = sizeof version;
        if (getVersion(&version) == 0) {
            name += " " + std::to_string(version.Major) + "." + std::to_string(version.Minor) +
                    "." + std::to_string(version.Build);
        }
    }
#ifdef _WIN64
    name += " (x86_64 build)";
#else
    name += " (i686 build)";
#endif
    using TWineVersion = const char*(CDECL*)();
    if (const auto wineVersion = NtdllFunction<TWineVersion>("wine_get_version")) {
        name += std::string(", Wine ") + wineVersion();
    }
    return name;
}

} // namespace platform
