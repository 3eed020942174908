/* A stand-in for the script engine, for the endings that the real engine cannot be made to show
 * on demand: entry points missing, a connection refused with or without a report, reports in any
 * order. It follows its script: one command a line,
 *   log TEXT              OnLogLine with TEXT
 *   fail STATEMENT|ERROR  OnStatementError with the two texts (a "\r" in them stands for CR)
 *   query                 asks OnEngineQuery for 1 and for 2 and logs "answers A B"
 *   return N              the exec entry point answers N
 * Connect answers by the password in the connect string: "report" reports through
 * OnConnectError and answers 0, "refuse" answers 1 without a report; anything else connects.
 * With FAKE_ENGINE_RECORD set, the connect string and the script are appended to that file. */
#include "scriptengine/IBEScript.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static inline void Record(const char* what, const char* text) {
    const char* file = getenv("FAKE_ENGINE_RECORD");
    if (file != NULL) {
        FILE* out = fopen(file, "ab");
        if (out != NULL) {
            fprintf(out, "%s[%s]\n", what, text);
            fclose(out);
        }
    }
}

/* Copies `text` with every two-character "\r" turned into a carriage return. */
static inline void Unescape(char* target, const char* text, size_t length) {
    size_t j = 0;
    for (size_t i = 0; i < length; ++i) {
        if (text[i] == '\\' && i + 1 < length && text[i + 1] == 'r') {
            target[j++] = '\r';
            ++i;
        } else {
            target[j++] = text[i];
        }
    }
    target[j] = '\0';
}

#ifndef FAKE_OMIT_CONNECT
IBESCRIPT_EXPORT int IBESCRIPT_CALL Connect(const char* connectString, TOnConnectError onError) {
    Record("connect", connectString);
    if (strstr(connectString, "password=report;") != NULL) {
        /* windows-1251: "Сервер недоступен" */
        onError("\xD1\xE5\xF0\xE2\xE5\xF0 \xED\xE5\xE4\xEE\xF1\xF2\xF3\xEF\xE5\xED");
        return 0;
    }
    if (strstr(connectString, "password=refuse;") != NULL) {
        return 1;
    }
    return 0;
}
#endif

static inline int Run(const char* script, TOnStatementError onError, TOnLogLine onLogLine,
                      TOnEngineQuery onQuery) {
    int result = 0;
    const char* line = script;
    while (*line != '\0') {
        const char* end = strchr(line, '\n');
        const size_t length = end != NULL ? (size_t)(end - line) : strlen(line);
        char* command = malloc(length + 1);
        Unescape(command, line, length);
        if (strncmp(command, "log ", 4) == 0) {
            onLogLine(7, command + 4);
        } else if (strncmp(command, "fail ", 5) == 0) {
            char* bar = strchr(command + 5, '|');
            if (bar != NULL) {
                *bar = '\0';
                onError(command + 5, bar + 1);
            }
        } else if (strcmp(command, "query") == 0) {
            char answers[64];
            snprintf(answers, sizeof answers, "answers %d %d", onQuery(0, 1), onQuery(0, 2));
            onLogLine(0, answers);
        } else if (strncmp(command, "return ", 7) == 0) {
            result = atoi(command + 7);
        }
        free(command);
        line += length;
        if (*line == '\n') {
            ++line;
        }
    }
    return result;
}

#ifndef FAKE_OMIT_EXEC
IBESCRIPT_EXPORT int IBESCRIPT_CALL ExecScriptText(const char* scriptText,
                                                   TOnStatementError onError, TOnLogLine onLogLine,
                                                   TOnEngineQuery onQuery) {
    Record("text", scriptText);
    return Run(scriptText, onError, onLogLine, onQuery);
}

IBESCRIPT_EXPORT int IBESCRIPT_CALL ExecScriptFile(const char* fileName, TOnStatementError onError,
                                                   TOnLogLine onLogLine, TOnEngineQuery onQuery) {
    Record("file", fileName);
    (void)onError;
    (void)onQuery;
    return onLogLine(0, fileName);
}
#endif
