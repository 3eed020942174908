#include "platform/OwnProgramFile.h"

#include <vector>

#include "platform/win32/WindowsSupport.h"

namespace platform {

std::string OwnProgramFileForReading() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD size =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (size == 0) {
            return {};
        }
        if (size < buffer.size()) {
            return win32::Narrow(std::wstring_view(buffer.data(), size));
        }
        buffer.resize(buffer.size() * 2);
    }
}

} // namespace platform
