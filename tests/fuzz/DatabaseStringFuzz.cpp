// libFuzzer target: any bytes written as a DatabaseName. A database string must split into the
// Server, Path and Protocol that the split rules below give, stated here once more on their own;
// a connection name must be taken or refused with its text and nothing changed; a server form
// must recompose to its input; the path check passes or fails only with its own text.
#include "connectivity/attachment/ClientLibrary.h"
#include "connectivity/attachment/EIB_Error.h"
#include "connectivity/attachment/TIB_Connection.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

TIB_Connection& Connection() {
    // One object for the whole run: the count stays above 0, so no iteration loads or frees a
    // library, and the session keeps one connection. Server parts left by earlier inputs are
    // part of what the rules say about the next one.
    static TIB_Connection* connection = [] {
        ResetClientLibrary("no-client-library-for-the-fuzzer.dll");
        return new TIB_Connection();
    }();
    return *connection;
}

struct TSplit {
    std::string Server;
    std::string Path;
    TIB_Protocol Protocol;
};

bool Holds(const std::string& text, char c) {
    for (const char x : text) {
        if (x == c) {
            return true;
        }
    }
    return false;
}

// Text before and after the first `c`, which `text` holds.
std::pair<std::string, std::string> AroundFirst(const std::string& text, char c) {
    std::string before;
    std::size_t i = 0;
    while (text[i] != c) {
        before += text[i++];
    }
    return {before, std::string(text.begin() + static_cast<std::ptrdiff_t>(i) + 1, text.end())};
}

// The split rules, first rule that applies: a drive path ("X:" and no further colon) and any
// text without another form are local paths that leave the server alone; two backslashes
// anywhere make the NetBEUI form of the text after its first two characters; then the first "@"
// (Novell) and the first ":" (TCP/IP) separate server and path.
TSplit ExpectedSplit(const std::string& s, const std::string& serverBefore) {
    if (s.size() > 2 && s[1] == ':' && !Holds(s.substr(2), ':')) {
        return {serverBefore, s, cpLocal};
    }
    for (std::size_t i = 0; i + 1 < s.size(); ++i) {
        if (s[i] == '\\' && s[i + 1] == '\\') {
            const std::string rest = s.substr(2);
            if (!Holds(rest, '\\')) {
                return {"", rest, cpNetBEUI};
            }
            const auto [server, path] = AroundFirst(rest, '\\');
            return {server, path, cpNetBEUI};
        }
    }
    if (Holds(s, '@')) {
        const auto [server, path] = AroundFirst(s, '@');
        return {server, path, cpNovell};
    }
    if (Holds(s, ':')) {
        const auto [server, path] = AroundFirst(s, ':');
        return {server, path, cpTCP_IP};
    }
    return {serverBefore, s, cpLocal};
}

bool IsDatabaseString(const std::string& text) {
    return Holds(text, '.') || Holds(text, '\\') || Holds(text, ':') || Holds(text, '@');
}

bool IsIdentifier(const std::string& text) {
    if (text.empty() || (!std::isalpha(static_cast<unsigned char>(text[0])) && text[0] != '_')) {
        return false;
    }
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x80 || (!std::isalnum(u) && c != '_')) {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TIB_Connection& connection = Connection();
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string nameBefore = connection.DatabaseName();
    const std::string serverBefore = connection.Server();
    const auto linesBefore = connection.Params().Lines();
    try {
        connection.SetDatabaseName(text);
    } catch (const EIB_ConnectionError& failure) {
        Check(std::strcmp(failure.what(), "Неправильный DatabaseName") == 0);
        Check(!IsDatabaseString(text) && !IsIdentifier(text));
        Check(connection.DatabaseName() == nameBefore);
        Check(connection.Params().Lines() == linesBefore);
        return 0;
    }
    if (IsDatabaseString(text)) {
        const TSplit expected = ExpectedSplit(text, serverBefore);
        Check(connection.Server() == expected.Server);
        Check(connection.Path() == expected.Path);
        Check(connection.Protocol() == expected.Protocol);
        // Only the NetBEUI form loses text (whatever stood before the two backslashes).
        if (expected.Protocol != cpNetBEUI) {
            Check(connection.ComposeDatabaseName() == text);
        }
        Check(connection.DatabaseName() == connection.ComposeDatabaseName());
    } else {
        Check(connection.Params().Lines() == linesBefore);
        if (text.empty()) {
            // Only an empty text can equal the empty connection name; it changes nothing.
            Check(connection.DatabaseName() == nameBefore);
        } else {
            // The only connection of its session keeps the name it was given.
            Check(IsIdentifier(text) || text == nameBefore);
            Check(connection.DatabaseName() == text);
        }
    }
    try {
        connection.CheckAttachPath();
    } catch (const EIB_ConnectionError& failure) {
        Check(std::strcmp(failure.what(), "Неверный путь для соединения") == 0);
    }
    return 0;
}
