// libFuzzer target: any bytes written as a DatabaseName, then recomposed and path-checked.
// Beyond "no crash", it checks the split's own promises: a server form recomposes to its input,
// a refused text changes nothing, and the path check passes or fails only with its own text.
#include "connectivity/attachment/ClientLibrary.h"
#include "connectivity/attachment/EIB_Error.h"
#include "connectivity/attachment/TIB_Connection.h"

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
    // library, and the session keeps one connection.
    static TIB_Connection* connection = [] {
        ResetClientLibrary("no-client-library-for-the-fuzzer.dll");
        return new TIB_Connection();
    }();
    return *connection;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TIB_Connection& connection = Connection();
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string before = connection.DatabaseName();
    const auto linesBefore = connection.Params().Lines();
    try {
        connection.SetDatabaseName(text);
    } catch (const EIB_ConnectionError& failure) {
        Check(std::strcmp(failure.what(), "Неправильный DatabaseName") == 0);
        Check(connection.DatabaseName() == before);
        Check(connection.Params().Lines() == linesBefore);
        return 0;
    }
    const bool split = text.find_first_of(".\\:@") != std::string::npos;
    if (split) {
        const TIB_Protocol protocol = connection.Protocol();
        const bool netBEUI = text.find("\\\\") != std::string::npos;
        if (protocol == cpLocal || protocol == cpNovell || (protocol == cpTCP_IP && !netBEUI)) {
            Check(connection.ComposeDatabaseName() == text);
        }
    } else {
        Check(connection.DatabaseName().size() >= text.size());
        Check(connection.DatabaseName().compare(0, text.size(), text) == 0);
    }
    try {
        connection.CheckAttachPath();
    } catch (const EIB_ConnectionError& failure) {
        Check(std::strcmp(failure.what(), "Неверный путь для соединения") == 0);
    }
    return 0;
}
