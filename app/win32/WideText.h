// Where the window's UTF-8 texts cross to the wide Win32 calls and back: the same conversion as
// the platform layer's, and the line breaks an edit or static control expects.
#pragma once

#include <string>
#include <string_view>

#include "platform/win32/WindowsSupport.h"

namespace win32ui {

inline std::wstring Widen(std::string_view text) {
    return platform::win32::Widen(text);
}

inline std::string Narrow(std::wstring_view text) {
    return platform::win32::Narrow(text);
}

// The text with every line break (lone CR, lone LF or CR LF) written as CR LF, converted for the
// wide calls.
inline std::wstring WidenWithLineBreaks(std::string_view text) {
    std::string lines;
    lines.reserve(text.size() + 8);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            lines += "\r\n";
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
        } else {
            lines += text[i];
        }
    }
    return Widen(lines);
}

// A window's text.
inline std::string WindowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(got > 0 ? got : 0));
    return Narrow(text);
}

} // namespace win32ui
