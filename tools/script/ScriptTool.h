// What `updater-script` does, without the command line: a script split the way the engine splits
// it (the lexer, with each SET TERM applied), its statements as JSON, and the release check.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "scriptengine/ScriptLexer.h"

// One statement or script command, in the order the engine runs them.
struct TScriptStatement {
    std::string_view Text;
    std::size_t Line = 0;
    bool Command = false;
    // Why a script command is malformed; empty for a good one and for every server statement.
    std::string CommandError;
};

struct TSplitScript {
    std::vector<TScriptStatement> Statements;
    // What the script leaves open at its end, if anything.
    std::optional<script::TIncomplete> Rest;
    // The terminator in force at the end.
    std::string Terminator;
};

TSplitScript SplitLikeTheEngine(std::string_view script);

// Converts text of a Firebird character set (WIN1251, DOS866, ISO8859_1, KOI8R, UTF8 … or any
// name iconv knows) to UTF-8. A byte that the character set leaves undefined, such as 0x98 of
// windows-1251, becomes U+FFFD: the text is shown, never refused. Throws std::runtime_error for a
// character set that iconv does not know.
class TTextConverter {
public:
    explicit TTextConverter(const std::string& charset);
    ~TTextConverter();
    TTextConverter(const TTextConverter&) = delete;
    TTextConverter& operator=(const TTextConverter&) = delete;

    std::string ToUtf8(std::string_view text);

private:
    void* Handle_;
};

// A JSON string literal, quotes included, of UTF-8 text: quote, backslash and control characters
// escaped (\r, \n, \t, \b, \f by name, the others as \u00XX).
std::string JsonString(std::string_view utf8);

// One JSON array, one object per line: {"text": "...", "command": true|false}.
std::string SplitJson(const TSplitScript& split, TTextConverter& converter);

struct TCheckReport {
    std::size_t Statements = 0;
    // Each kind of statement with its count, in the order of first appearance.
    std::vector<std::pair<std::string, std::size_t>> Kinds;
    // One line each, in the order found.
    std::vector<std::string> Problems;
};

// Counts the statement kinds and finds what would make the script fail or misbehave in the
// updater: an open construct at the end, zero bytes, malformed script commands, a first
// statement after the prologue that is not the version check, statements after the last COMMIT.
TCheckReport CheckScript(std::string_view script, TTextConverter& converter);

std::string FormatCheckReport(const TCheckReport& report);
