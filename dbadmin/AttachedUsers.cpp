#include "dbadmin/AttachedUsers.h"

#include "connectivity/attachment/ClientLibrary.h"
#include "connectivity/service/FbClientBinding.h"
#include "connectivity/service/TIBFBDatabaseInfo.h"
#include "dbadmin/AdminParams.h"
#include "dbadmin/TDBConnection.h"

#include <algorithm>

namespace {

// The next character of `text` at `position`, folded to its small form: a code point for ASCII
// and for the two-byte Cyrillic sequences, the byte itself (above the code point range) for
// anything else, so that a stray byte never equals a letter.
char32_t NextFolded(const std::string& text, std::size_t& position) {
    const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
    const unsigned char first = byte(position);
    if (first < 0x80) {
        ++position;
        return first >= 'A' && first <= 'Z' ? char32_t(first - 'A' + 'a') : char32_t(first);
    }
    if ((first == 0xD0 || first == 0xD1) && position + 1 < text.size() &&
        (byte(position + 1) & 0xC0) == 0x80) {
        char32_t code = (char32_t(first & 0x1F) << 6) | char32_t(byte(position + 1) & 0x3F);
        position += 2;
        if (code >= 0x410 && code <= 0x42F) {
            code += 0x20;
        } else if (code >= 0x400 && code <= 0x40F) {
            code += 0x50;
        }
        return code;
    }
    ++position;
    return 0x110000 + first;
}

bool SameTextIgnoringCase(const std::string& a, const std::string& b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (NextFolded(a, i) != NextFolded(b, j)) {
            return false;
        }
    }
    return i == a.size() && j == b.size();
}

} // namespace

void RemoveOwnEntry(std::vector<std::string>& list, const std::string& userName) {
    const auto own = std::find_if(list.begin(), list.end(), [&](const std::string& entry) {
        return SameTextIgnoringCase(entry, userName);
    });
    if (own != list.end()) {
        list.erase(own);
    }
}

void ReadAttachedUsers(const std::string& clientLibrary, const std::string& databaseString,
                       const std::string& userName, const std::string& password,
                       const std::string& role, std::vector<std::string>& list) {
    CheckAdminParams(clientLibrary, databaseString, userName, password);
    ResetClientLibrary(clientLibrary);
    TDBConnection connection(databaseString, userName, password, role);
    // Both layers load the same file, so the attachment handle of one is valid in the other.
    FbClientBinding().LibraryName = clientLibrary;
    // Declared after the connection, so it is released first, on every exit.
    TIBFBDatabaseInfo info;
    connection.Attach();
    info.DatabaseHandle = connection.Connection().AttachmentHandle();
    list = info.FetchUserNames();
    RemoveOwnEntry(list, userName);
}
