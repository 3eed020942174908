#include "platform/CodePage.h"

#include "platform/win32/WindowsSupport.h"

namespace platform {

namespace {

std::string Convert(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    const int size =
        MultiByteToWideChar(1251, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(1251, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return win32::Narrow(wide);
}

} // namespace

std::string Cp1251ToUtf8(std::string_view text) {
    // The undefined 0x98 is replaced here, as the system's table would give it a control
    // character of its own choosing.
    std::string result;
    std::size_t start = 0;
    for (std::size_t at = text.find('\x98'); at != std::string_view::npos;
         at = text.find('\x98', start)) {
        result += Convert(text.substr(start, at - start));
        result += "\xEF\xBF\xBD";
        start = at + 1;
    }
    result += Convert(text.substr(start));
    return result;
}

} // namespace platform
