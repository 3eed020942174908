#include "platform/SystemError.h"

#include "platform/win32/WindowsSupport.h"

namespace platform {

TSystemError LastSystemError() {
    const DWORD error = GetLastError();
    TSystemError result;
    if (error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT) {
        result.Kind = TSystemErrorKind::NoAccess;
    } else if (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL) {
        result.Kind = TSystemErrorKind::NoRoom;
    }
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (length > 0) {
        result.Text = win32::Narrow(std::wstring_view(text, length));
        LocalFree(text);
    }
    // The system's texts end with a period and a line break; the code tells support the rest
    // when the text is in the computer's language.
    while (!result.Text.empty() && (result.Text.back() == '\n' || result.Text.back() == '\r' ||
                                    result.Text.back() == ' ' || result.Text.back() == '.')) {
        result.Text.pop_back();
    }
    const std::string code = std::to_string(error);
    result.Text = result.Text.empty() ? "error " + code : result.Text + " (error " + code + ")";
    return result;
}

} // namespace platform
