// The engine library's C entry points over its module-wide state: one client library, one
// session, one script run at a time, as the updater uses it (Connect, then one exec call).
#include "scriptengine/IBEScript.h"

#include "platform/CodePage.h"
#include "scriptengine/ConnectString.h"
#include "scriptengine/EngineClient.h"
#include "scriptengine/EngineFault.h"
#include "scriptengine/EngineSession.h"
#include "scriptengine/ScriptRunner.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <utility>

namespace {

struct TEngineState {
    scriptengine::TEngineClient Client;
    scriptengine::TEngineSession Session{Client};

    ~TEngineState() {
        Session.Abandon();
        Client.Free();
    }
};

// The engine of one application: made by Connect and ended, with its attachment, its
// transactions and its client library, when that Connect fails or when the exec call after it
// returns. Nothing is left for the library's unload, which on Windows runs under the loader
// lock, where freeing the client library or a rollback and detach over the network may hang or
// crash the caller. A plain pointer, so that the unload runs no destructor of it: a Connect that
// no exec call follows (the updater always makes one) keeps its attachment until the process
// ends.
TEngineState* State = nullptr;

void EndEngine() {
    delete std::exchange(State, nullptr);
}

int ConnectEngine(const char* connectString, TOnConnectError onError) {
    const auto fail = [&](const std::string& text) {
        EndEngine();
        if (onError != nullptr) {
            onError(text.c_str());
        }
        return 1;
    };
    EndEngine();
    std::string error;
    const auto params =
        scriptengine::ParseConnectString(connectString != nullptr ? connectString : "", &error);
    if (!params) {
        return fail(error);
    }
    State = new TEngineState;
    if (!State->Client.Load(params->ClientLibrary, &error)) {
        return fail(error);
    }
    if (!State->Session.Attach(*params, &error)) {
        return fail(error);
    }
    scriptengine::FaultPoint("Connect");
    return 0;
}

// Ends the engine however the run ends.
int Exec(std::string_view script, const scriptengine::TRunCallbacks& callbacks) {
    if (State == nullptr || !State->Session.IsAttached()) {
        EndEngine();
        if (callbacks.OnStatementError != nullptr) {
            callbacks.OnStatementError(
                "", "The engine is not connected: Connect must succeed before a script runs");
        }
        return 1;
    }
    struct TEnd {
        ~TEnd() { EndEngine(); }
    } end;
    return scriptengine::RunScript(State->Session, script, callbacks);
}

bool ReadFile(const char* fileName, std::string* content, std::string* error) {
    std::FILE* file = std::fopen(fileName, "rb");
    if (file == nullptr) {
        *error = "Cannot open the script file \"" + platform::ClientTextToCp1251(fileName) +
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
        *error = "Cannot read the script file \"" + platform::ClientTextToCp1251(fileName) + "\"";
        return false;
    }
    return true;
}

int ExecFile(const char* fileName, TOnStatementError onError, TOnLogLine onLogLine) {
    std::string script;
    std::string error;
    if (!ReadFile(fileName != nullptr ? fileName : "", &script, &error)) {
        // The run ends here, as after any failure: nothing stays attached.
        EndEngine();
        if (onError != nullptr) {
            onError("", error.c_str());
        }
        return 1;
    }
    return Exec(script, {onError, onLogLine});
}

// The text of a failure that escaped the engine's own code, composed without allocating: it
// may be that memory ran out.
struct TEscapedText {
    char Text[512];

    explicit TEscapedText(std::exception_ptr failure) {
        const char* what = "an unknown exception";
        try {
            std::rethrow_exception(failure);
        } catch (const std::exception& e) {
            what = e.what();
        } catch (...) {
        }
        std::snprintf(Text, sizeof Text, "The engine failed: %s", what);
    }
};

// Runs an entry point's work so that no exception leaves the engine: the engine carries its own
// C++ runtime, and an exception crossing into the caller's frames would end the caller's
// process, in the middle of an update. An escaped failure gives up the attachment (what was not
// committed is rolled back), is reported through the entry point's error callback and answered
// with 1, as every other failure of the entry point.
template <typename TWork, typename TReport> int Guarded(TWork work, TReport report) noexcept {
    std::exception_ptr failure;
    try {
        return work();
    } catch (...) {
        failure = std::current_exception();
    }
    EndEngine();
    const TEscapedText text(failure);
    // The report goes through the caller's callback, which may throw back too.
    try {
        report(text.Text);
    } catch (...) {
    }
    return 1;
}

} // namespace

extern "C" {

IBESCRIPT_EXPORT int IBESCRIPT_CALL Connect(const char* connectString, TOnConnectError onError) {
    return Guarded([&] { return ConnectEngine(connectString, onError); },
                   [&](const char* text) {
                       if (onError != nullptr) {
                           onError(text);
                       }
                   });
}

IBESCRIPT_EXPORT int IBESCRIPT_CALL ExecScriptText(const char* scriptText,
                                                   TOnStatementError onError, TOnLogLine onLogLine,
                                                   TOnEngineQuery) {
    return Guarded(
        [&] {
            return Exec(scriptText != nullptr ? scriptText : "", {onError, onLogLine});
        },
        [&](const char* text) {
            if (onError != nullptr) {
                onError("", text);
            }
        });
}

IBESCRIPT_EXPORT int IBESCRIPT_CALL ExecScriptFile(const char* fileName, TOnStatementError onError,
                                                   TOnLogLine onLogLine, TOnEngineQuery) {
    return Guarded([&] { return ExecFile(fileName, onError, onLogLine); },
                   [&](const char* text) {
                       if (onError != nullptr) {
                           onError("", text);
                       }
                   });
}

} // extern "C"
