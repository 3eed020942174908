#include "dbadmin/ScriptApplication.h"

#include "dbadmin/AdminParams.h"
#include "platform/CodePage.h"
#include "platform/DynamicLibrary.h"
#include "platform/Failure.h"
#include "platform/FileSystem.h"
#include "platform/OwnExecutable.h"
#include "platform/Path.h"
#include "scriptengine/IBEScript.h"

#include <optional>
#include <string_view>

namespace {

constexpr std::string_view kEngineName = "IBEScript.dll";
constexpr std::string_view kStatementHeader = "------- STATEMENT --------";
constexpr std::string_view kErrorHeader = "-------   ERROR   --------";
constexpr std::string_view kVersionHint =
    "\rВероятно, имеет место несоответствие между версией обновления и версией обновляемой базы "
    "данных!\r\r";
// The update script's version check, as the failing statement's lower-cased text holds it.
constexpr std::string_view kVersionCheck = "execute procedure check_versio(";

// Module-wide, as the engine's callbacks carry no context: the pane of the latest call and the
// failure that the callbacks reported during it (UTF-8).
TScriptLogPane* ScriptLogPane = nullptr;
std::string ScriptErrorText;
std::string EngineLibrary(kEngineName);

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') {
        text.remove_suffix(1);
    }
    return text;
}

// What the engine hands over is windows-1251; this is the one place where it becomes UTF-8.
std::string FromEngine(const char* text) {
    return text == nullptr ? std::string() : platform::Cp1251ToUtf8(text);
}

std::string AsciiLower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

// A failure inside a callback (memory ran out while a text was built, the window failed) must
// not go back into the engine: the engine carries its own C++ runtime, and an exception thrown
// through its frames ends the process in the middle of an update. Each callback catches
// everything; a report that could not be kept fails the application with this text.
bool CallbackFailed = false;
std::string CallbackFailure;
TScriptCallbackProbe CallbackProbe = nullptr;

void Probe(const char* callback) {
    if (CallbackProbe != nullptr) {
        CallbackProbe(callback);
    }
}

void NoteCallbackFailure() noexcept {
    CallbackFailed = true;
    try {
        try {
            throw;
        } catch (const std::exception& failure) {
            CallbackFailure = failure.what();
        } catch (...) {
            CallbackFailure.clear();
        }
    } catch (...) {
        CallbackFailure.clear();
    }
}

// The text under which a report that could not be kept fails the application.
std::string CallbackFailureText() {
    return "Сообщение библиотеки " + std::string("\"IBEScript.dll\"") +
           " не удалось обработать: " + (CallbackFailure.empty() ? "?" : CallbackFailure);
}

// A line that cannot be shown is missing from the pane; the application goes on.
void AppendToPane(std::initializer_list<std::string_view> lines) {
    if (ScriptLogPane == nullptr) {
        return;
    }
    try {
        for (const std::string_view line : lines) {
            ScriptLogPane->LogAppend(std::string(line));
        }
        ScriptLogPane->ProcessEvents();
    } catch (...) {
    }
}

int IBESCRIPT_CALL OnConnectError(const char* errorText) {
    try {
        Probe("OnConnectError");
        ScriptErrorText = FromEngine(errorText);
    } catch (...) {
        NoteCallbackFailure();
    }
    return 0;
}

int IBESCRIPT_CALL OnStatementError(const char* statementText, const char* errorText) {
    try {
        Probe("OnStatementError");
        const std::string statement = FromEngine(statementText);
        const std::string error = FromEngine(errorText);
        AppendToPane({kStatementHeader, statement, kErrorHeader, error});
        std::string block;
        block.append(kStatementHeader).append("\r").append(statement).append("\r");
        block.append(kErrorHeader).append("\r").append(error);
        if (AsciiLower(statement).find(kVersionCheck) != std::string::npos) {
            block.insert(0, kVersionHint);
        }
        ScriptErrorText = std::move(block);
    } catch (...) {
        NoteCallbackFailure();
    }
    return 0;
}

int IBESCRIPT_CALL OnLogLine(int, const char* line) {
    try {
        Probe("OnLogLine");
        AppendToPane({FromEngine(line)});
    } catch (...) {
    }
    return 0;
}

// Nothing in it can fail.
int IBESCRIPT_CALL OnEngineQuery(int, int value) {
    return value == 1 ? 0 : 1;
}

// The folder of the running program, where the engine is looked for first.
std::string OwnFolder() {
    const std::string path = platform::OwnExecutablePath();
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

platform::TDynamicLibrary LoadEngine() {
    if (EngineLibrary == kEngineName) {
        if (const std::string folder = OwnFolder(); !folder.empty()) {
            for (const std::string& name : platform::LibraryFileNames(kEngineName)) {
                platform::TDynamicLibrary beside =
                    platform::TDynamicLibrary::Load(platform::JoinPath(folder, name));
                if (beside.IsLoaded()) {
                    return beside;
                }
            }
        }
    }
    return platform::TDynamicLibrary::Load(EngineLibrary);
}

std::string Quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

// A value for the engine in the encoding in which the engine hands it on to the client library
// (the system's ANSI code page on Windows, UTF-8 elsewhere), so that the password, the user name
// and the database path reach the server as the service manager and the attachment send them.
std::string ToEngine(const std::string& utf8, std::string_view field) {
    platform::TUnheldCharacter unheld;
    std::optional<std::string> converted = platform::Utf8ToClientText(utf8, &unheld);
    if (!converted) {
        throw EFailure(platform::UnheldCharacterText(unheld, field));
    }
    return std::move(*converted);
}

// Every value in the client's encoding: the one place where texts towards the engine are
// converted.
std::string ConnectString(const std::string& clientLibrary, const std::string& databaseString,
                          const std::string& userName, const std::string& password,
                          const std::string& role) {
    return "db_name=" + ToEngine(databaseString, "путь к базе данных") +
           "; password=" + ToEngine(password, "пароль") +
           "; user_name=" + ToEngine(userName, "имя пользователя") +
           "; lc_ctype=win1251; sql_role_name=" + ToEngine(role, "роль") +
           "; sql_dialect=3; clientlib=" +
           Quoted(ToEngine(clientLibrary, "имя клиентской библиотеки"));
}

} // namespace

void SetScriptEngineLibrary(const std::string& fileName) {
    EngineLibrary = fileName;
}

void SetScriptCallbackProbe(TScriptCallbackProbe probe) {
    CallbackProbe = probe;
}

void ApplyScript(bool textMode, const std::string& clientLibrary, const std::string& databaseString,
                 const std::string& userName, const std::string& password, const std::string& role,
                 const std::string& script, TScriptLogPane* logPane) {
    CheckAdminParams(clientLibrary, databaseString, userName, password);
    ScriptLogPane = logPane;
    if (ScriptLogPane != nullptr) {
        ScriptLogPane->LogClear();
    }
    ScriptErrorText.clear();
    CallbackFailed = false;
    CallbackFailure.clear();

    const std::string trimmed(Trimmed(script));
    const char* const execName = textMode ? "ExecScriptText" : "ExecScriptFile";
    if (textMode && trimmed.empty()) {
        throw EFailure("Скрипт пустой!");
    }
    if (!textMode && trimmed.empty()) {
        throw EFailure("Не задан файл скрипта!");
    }
    if (!textMode && !platform::FileSize(trimmed)) {
        throw EFailure("Файл скрипта " + Quoted(trimmed) + " не найден!");
    }

    // Refused before the engine is loaded when a value cannot be handed over.
    const std::string connectString =
        ConnectString(clientLibrary, databaseString, userName, password, role);
    // The script goes as the payload holds it (windows-1251); a file name as the engine's C
    // library opens it.
    const std::string execArgument = textMode ? trimmed : ToEngine(trimmed, "имя файла скрипта");

    // Unloaded on every exit by its owner.
    const platform::TDynamicLibrary engine = LoadEngine();
    if (!engine.IsLoaded()) {
        throw EFailure("Невозможно загрузить библиотеку " + Quoted(kEngineName) + "!");
    }
    const auto connect = reinterpret_cast<TConnect>(engine.Find("Connect"));
    if (connect == nullptr) {
        throw EFailure("В библиотеке " + Quoted(kEngineName) + " не найдена функция " +
                       Quoted("Connect") + "!");
    }
    // Both exec entry points have the same signature.
    const auto exec = reinterpret_cast<TExecScriptText>(engine.Find(execName));
    if (exec == nullptr) {
        throw EFailure("В библиотеке " + Quoted(kEngineName) + " не найдена функция " +
                       Quoted(execName) + "!");
    }

    if (connect(connectString.c_str(), OnConnectError) != 0 || !ScriptErrorText.empty() ||
        CallbackFailed) {
        throw EFailure("Ошибка подключения к базе данных!\r" +
                       (CallbackFailed ? CallbackFailureText() : ScriptErrorText));
    }
    exec(execArgument.c_str(), OnStatementError, OnLogLine, OnEngineQuery);
    if (!ScriptErrorText.empty() || CallbackFailed) {
        throw EFailure("Ошибка применения скрипта!\r" +
                       (CallbackFailed ? CallbackFailureText() : ScriptErrorText));
    }
}

void ApplyScriptText(const std::string& clientLibrary, const std::string& databaseString,
                     const std::string& userName, const std::string& password,
                     const std::string& role, const std::string& scriptText,
                     TScriptLogPane* logPane) {
    ApplyScript(true, clientLibrary, databaseString, userName, password, role, scriptText, logPane);
}
