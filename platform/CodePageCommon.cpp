#include "platform/CodePage.h"

#include <cstdio>

namespace platform {

std::string UnheldCharacterText(const TUnheldCharacter& unheld, std::string_view field) {
    char codePoint[16];
    std::snprintf(codePoint, sizeof codePoint, "U+%04X", static_cast<unsigned>(unheld.CodePoint));
    return "Невозможно передать клиенту Firebird " + std::string(field) + ": символа \"" +
           unheld.Character + "\" (" + codePoint + ") нет в кодовой странице системы " +
           std::to_string(unheld.CodePage) + "!";
}

} // namespace platform
