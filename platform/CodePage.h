// Conversions between the program's UTF-8 and the 8-bit encodings it meets: windows-1251, in
// which the update script and everything the script engine reports are written, and the
// system's own 8-bit encoding, in which the Firebird client library takes and gives texts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// windows-1251 bytes as UTF-8. The one byte that the code page leaves undefined (0x98) becomes
// U+FFFD, so a damaged text is still shown, never refused.
std::string Cp1251ToUtf8(std::string_view text);

// A character of a text that the system's 8-bit code page has no place for.
struct TUnheldCharacter {
    // The character in UTF-8 (U+FFFD for bytes that are not UTF-8).
    std::string Character;
    std::uint32_t CodePoint = 0;
    // The system's code page (GetACP on Windows).
    unsigned CodePage = 0;
};

// The text in the encoding in which the Firebird client library reads file names, user names,
// passwords and every other text it is handed: on Windows the system's ANSI code page, as the
// Windows client reads them there; elsewhere UTF-8, and the text is returned unchanged. Never a
// look-alike in place of a character: nothing, with the first character that the code page
// cannot hold in `unheld`, when the text has one.
std::optional<std::string> Utf8ToClientText(std::string_view utf8, TUnheldCharacter* unheld);

// A text of the client library (a status vector's string, an interpreted message) as UTF-8:
// read in the system's ANSI code page on Windows, unchanged elsewhere.
std::string ClientTextToUtf8(std::string_view text);

// A text of the client library as windows-1251, the script engine's encoding towards the
// updater; a character that windows-1251 lacks becomes '?'.
std::string ClientTextToCp1251(std::string_view text);

// UTF-8 as windows-1251; a character that windows-1251 lacks becomes '?'.
std::string Utf8ToCp1251(std::string_view utf8);

// The operator's text for a value that cannot be handed to the client library: it names the
// value (`field`, in the accusative: "путь к базе данных", "пароль" …), the character and the code
// page.
std::string UnheldCharacterText(const TUnheldCharacter& unheld, std::string_view field);

} // namespace platform
