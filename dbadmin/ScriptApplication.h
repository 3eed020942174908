// Applying an update script to the database through the script engine, a library loaded by
// name for each application and unloaded before the call returns.
#pragma once

#include <string>

#include "dbadmin/ScriptLogPane.h"

// `textMode`: `script` is the script's text (windows-1251 bytes, handed on unchanged); otherwise
// it is the name of a script file. The client library name, the database string, the user name
// and the password are checked for blanks first; the role may be empty. The log pane, when given,
// is emptied and then receives what the engine reports, converted to UTF-8, with the event queue
// run after every line. Every failure is raised (EFailure) with the program's text, in which
// the engine's reports appear converted to UTF-8. A run in which the engine reported a failing
// statement fails as a whole, whatever the engine answered.
void ApplyScript(bool textMode, const std::string& clientLibrary, const std::string& databaseString,
                 const std::string& userName, const std::string& password, const std::string& role,
                 const std::string& script, TScriptLogPane* logPane);

// ApplyScript with the script's text.
void ApplyScriptText(const std::string& clientLibrary, const std::string& databaseString,
                     const std::string& userName, const std::string& password,
                     const std::string& role, const std::string& scriptText,
                     TScriptLogPane* logPane);

// The engine that ApplyScript loads: "IBEScript.dll" (beside the running program first, then
// through the system's library search, with the platform's name for it). Tests name an engine
// file of their own; the failure texts always name IBEScript.dll.
void SetScriptEngineLibrary(const std::string& fileName);

// Called first in each callback that the engine calls back with a report ("OnConnectError",
// "OnStatementError", "OnLogLine"); empty by default. Tests throw from it to show that no
// failure goes back into the engine: a report that could not be kept fails the application
// with "Сообщение библиотеки "IBEScript.dll" не удалось обработать: <reason>", a log line that
// could not be shown is only missing from the pane.
using TScriptCallbackProbe = void (*)(const char* callback);
void SetScriptCallbackProbe(TScriptCallbackProbe probe);
