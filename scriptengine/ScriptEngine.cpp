// The engine library's C entry points over its module-wide state: one client library, one
// session, one script run at a time, as the updater uses it (Connect, then one exec call).
#include "scriptengine/IBEScript.h"

#include "scriptengine/ConnectString.h"
#include "scriptengine/EngineClient.h"
#include "scriptengine/EngineSession.h"
#include "scriptengine/ScriptRunner.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

struct TEngineState {
    scriptengine::TEngineClient Client;
    scriptengine::TEngineSession Session{Client};

    // The engine is unloaded by the updater without a disconnect call: an attachment still open
    // then is given up here, before the client library goes.
    ~TEngineState() {
        Session.Abandon();
        Client.Free();
    }
};

// One engine per loaded library; destroyed when the library is unloaded.
TEngineState State;

int ConnectEngine(const char* connectString, TOnConnectError onError) {
    const auto fail = [&](const std::string& text) {
        State.Session.Abandon();
        if (onError != nullptr) {
            onError(text.c_str());
        }
        return 1;
    };
    std::string error;
    const auto params =
        scriptengine::ParseConnectString(connectString != nullptr ? connectString : "", &error);
    if (!params) {
        return fail(error);
    }
    State.Session.Abandon();
    if (State.Client.FileName() != params->ClientLibrary &&
        !State.Client.Load(params->ClientLibrary, &error)) {
        return fail(error);
    }
    if (!State.Session.Attach(*params, &error)) {
        return fail(error);
    }
    return 0;
}

int Exec(std::string_view script, const scriptengine::TRunCallbacks& callbacks) {
    if (!State.Session.IsAttached()) {
        if (callbacks.OnStatementError != nullptr) {
            callbacks.OnStatementError(
                "", "The engine is not connected: Connect must succeed before a script runs");
        }
        return 1;
    }
    return scriptengine::RunScript(State.Session, script, callbacks);
}

bool ReadFile(const char* fileName, std::string* content, std::string* error) {
    std::FILE* file = std::fopen(fileName, "rb");
    if (file == nullptr) {
        *error = "Cannot open the script file \"" + std::string(fileName) +
                 "\": " + std::strerror(errno);
        return false;
    }
    char buffer[65536];
    std::size_t count = 0;
    while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        content->append(buffer, count);
    }
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        *error = "Cannot read the script file \"" + std::string(fileName) + "\"";
        return false;
    }
    return true;
}

} // namespace

extern "C" {

IBESCRIPT_EXPORT int IBESCRIPT_CALL Connect(const char* connectString, TOnConnectError onError) {
    return ConnectEngine(connectString, onError);
}

IBESCRIPT_EXPORT int IBESCRIPT_CALL ExecScriptText(const char* scriptText,
                                                   TOnStatementError onError, TOnLogLine onLogLine,
                                                   TOnEngineQuery) {
    return Exec(scriptText != nullptr ? scriptText : "", {onError, onLogLine});
}

IBESCRIPT_EXPORT int IBESCRIPT_CALL ExecScriptFile(const char* fileName, TOnStatementError onError,
                                                   TOnLogLine onLogLine, TOnEngineQuery) {
    std::string script;
    std::string error;
    if (!ReadFile(fileName != nullptr ? fileName : "", &script, &error)) {
        // The run ends here, as after any failure: nothing stays attached.
        State.Session.Abandon();
        if (onError != nullptr) {
            onError("", error.c_str());
        }
        return 1;
    }
    return Exec(script, {onError, onLogLine});
}

} // extern "C"
