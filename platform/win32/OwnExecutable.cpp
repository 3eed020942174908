#include "platform/OwnExecutable.h"

#include "platform/win32/WindowsSupport.h"

#include <vector>

namespace platform {

std::string OwnExecutablePath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return {};
        }
        if (length < buffer.size()) {
            return win32::Narrow(std::wstring_view(buffer.data(), length));
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::string OwnProgramFileForReading() {
    return OwnExecutablePath();
}

} // namespace platform
