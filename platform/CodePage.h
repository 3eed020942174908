// Conversion between the program's UTF-8 and the windows-1251 code page in which the update
// script and everything the script engine reports are written.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// windows-1251 bytes as UTF-8. The one byte that the code page leaves undefined (0x98) becomes
// U+FFFD, so a damaged text is still shown, never refused.
std::string Cp1251ToUtf8(std::string_view text);

} // namespace platform
