// The script engine's C entry points and callback contract, as the updater loads them by name
// from the engine library (IBEScript.dll on Windows, libIBEScript.so elsewhere). Every text is a
// zero-terminated windows-1251 string, except the connect string and a script file's name: they
// are in the encoding of the client library (the system's ANSI code page on Windows, UTF-8
// elsewhere), as the engine hands its values on to the client and opens the file by that name.
// The client's messages inside an error text are converted to windows-1251. Entry points and
// callbacks use the Windows API calling convention on 32-bit Windows; every callback runs
// synchronously on the thread that called the entry point, before that entry point returns.
#pragma once

#if defined(_WIN32) && !defined(_WIN64)
#define IBESCRIPT_CALL __stdcall
#else
#define IBESCRIPT_CALL
#endif

#if defined(_WIN32)
#define IBESCRIPT_EXPORT __declspec(dllexport)
#else
#define IBESCRIPT_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

// The engine's failure to connect; the answer is not looked at.
typedef int(IBESCRIPT_CALL* TOnConnectError)(const char* errorText);
// A statement that failed, with the server's (or the engine's) error text; answer 0.
typedef int(IBESCRIPT_CALL* TOnStatementError)(const char* statementText, const char* errorText);
// One line of the run's log; the first argument carries nothing; answer 0.
typedef int(IBESCRIPT_CALL* TOnLogLine)(int unused, const char* line);
// A question of the engine; the updater answers 0 for 1 and 1 for anything else.
typedef int(IBESCRIPT_CALL* TOnEngineQuery)(int unused, int value);

// Parses the connect string ("db_name=...; password=...; user_name=...; lc_ctype=...;
// sql_role_name=...; sql_dialect=...; clientlib=\"...\""), loads the client library it names
// and attaches. 0 when attached; otherwise non-zero after reporting the reason through
// `onError`.
typedef int(IBESCRIPT_CALL* TConnect)(const char* connectString, TOnConnectError onError);
// Runs a script (its text, or the name of a file holding it) on the attachment of Connect; the
// result is not looked at by the updater. Stops at the first failing statement, after rolling
// back what its transaction had not committed, and detaches at the end of the run.
typedef int(IBESCRIPT_CALL* TExecScriptText)(const char* scriptText, TOnStatementError onError,
                                             TOnLogLine onLogLine, TOnEngineQuery onQuery);
typedef int(IBESCRIPT_CALL* TExecScriptFile)(const char* fileName, TOnStatementError onError,
                                             TOnLogLine onLogLine, TOnEngineQuery onQuery);

#ifdef __cplusplus
}
#endif
