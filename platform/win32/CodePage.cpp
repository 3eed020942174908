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

namespace platform {

namespace {

std::wstring FromCodePage(unsigned codePage, std::string_view text) {
    if (text.empty()) {
        return {};
    }
    const int size =
        MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

// The wide text in the ANSI code page; false when a character has no place there. A character
// is never replaced by a look-alike (WC_NO_BEST_FIT_CHARS): a file name or a password that
// changed on the way would name another file or fail to authenticate.
bool ToAnsi(std::wstring_view wide, std::string* result) {
    if (wide.empty()) {
        result->clear();
        return true;
    }
    BOOL usedDefault = FALSE;
    const int size =
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(),
                            static_cast<int>(wide.size()), nullptr, 0, nullptr, &usedDefault);
    if (size <= 0 || usedDefault) {
        return false;
    }
    result->assign(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                        result->data(), size, nullptr, &usedDefault);
    return !usedDefault;
}

std::string WideToCp1251(std::wstring_view wide) {
    if (wide.empty()) {
        return {};
    }
    const int size = WideCharToMultiByte(1251, WC_NO_BEST_FIT_CHARS, wide.data(),
                                         static_cast<int>(wide.size()), nullptr, 0, "?", nullptr);
    std::string result(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(1251, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                        result.data(), size, "?", nullptr);
    return result;
}

} // namespace

std::optional<std::string> Utf8ToClientText(std::string_view utf8, TUnheldCharacter* unheld) {
    // A system whose ANSI code page is UTF-8 takes the text as it is.
    if (GetACP() == CP_UTF8) {
        return std::string(utf8);
    }
    // Bytes that are not UTF-8 become U+FFFD, which no ANSI code page holds.
    const std::wstring wide = win32::Widen(utf8);
    std::string result;
    if (ToAnsi(wide, &result)) {
        return result;
    }
    // The first character that has no place, a surrogate pair taken as one.
    for (std::size_t at = 0; at < wide.size();) {
        std::size_t length = 1;
        if (wide[at] >= 0xD800 && wide[at] <= 0xDBFF && at + 1 < wide.size() &&
            wide[at + 1] >= 0xDC00 && wide[at + 1] <= 0xDFFF) {
            length = 2;
        }
        const std::wstring_view character(wide.data() + at, length);
        std::string ignored;
        if (!ToAnsi(character, &ignored)) {
            if (unheld != nullptr) {
                unheld->Character = win32::Narrow(character);
                unheld->CodePoint =
                    length == 2
                        ? 0x10000u + ((static_cast<std::uint32_t>(wide[at]) - 0xD800u) << 10) +
                              (static_cast<std::uint32_t>(wide[at + 1]) - 0xDC00u)
                        : static_cast<std::uint32_t>(wide[at]);
                unheld->CodePage = GetACP();
            }
            return std::nullopt;
        }
        at += length;
    }
    // The whole text failed although each character passed (cannot happen for the ANSI code
    // pages); refused all the same rather than sent altered.
    if (unheld != nullptr) {
        *unheld = {"\xEF\xBF\xBD", 0xFFFD, GetACP()};
    }
    return std::nullopt;
}

std::string ClientTextToUtf8(std::string_view text) {
    return win32::Narrow(FromCodePage(CP_ACP, text));
}

std::string Utf8ToCp1251(std::string_view utf8) {
    return WideToCp1251(win32::Widen(utf8));
}

std::string ClientTextToCp1251(std::string_view text) {
    return WideToCp1251(FromCodePage(CP_ACP, text));
}

} // namespace platform
