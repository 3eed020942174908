#include "tools/script/ScriptTool.h"

#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <stdexcept>

#include "scriptengine/ScriptCommand.h"

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
constexpr std::string_view kVersionCheck = "execute procedure Check_Versio(";

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (Upper(text[i]) != Upper(prefix[i])) {
            return false;
        }
    }
    return true;
}

// Firebird's names of the character sets a script may be written in, as iconv knows them;
// any other name goes to iconv as it is.
std::string IconvName(const std::string& charset) {
    std::string upper;
    for (const char c : charset) {
        upper += Upper(c);
    }
    if (upper.starts_with("WIN") && upper.size() == 7) {
        return "WINDOWS-" + upper.substr(3);
    }
    if (upper.starts_with("DOS") && upper.size() == 6) {
        return "CP" + upper.substr(3);
    }
    if (upper.starts_with("ISO8859_")) {
        return "ISO-8859-" + upper.substr(8);
    }
    if (upper == "UTF8" || upper == "UNICODE_FSS") {
        return "UTF-8";
    }
    if (upper == "KOI8R" || upper == "KOI8U") {
        return "KOI8-" + upper.substr(4);
    }
    // Bytes of no known character set: ASCII stays readable, the rest is marked.
    if (upper == "NONE" || upper == "OCTETS") {
        return "ASCII";
    }
    return charset;
}

iconv_t Descriptor(void* handle) {
    return static_cast<iconv_t>(handle);
}

// The first line of a statement, shortened, for a problem's text.
std::string Excerpt(std::string_view text, TTextConverter& converter) {
    const std::size_t lineEnd = text.find_first_of("\r\n");
    std::string_view line = text.substr(0, lineEnd);
    const bool shortened = line.size() > 60 || lineEnd != std::string_view::npos;
    line = line.substr(0, 60);
    return converter.ToUtf8(line) + (shortened ? "..." : "");
}

std::string LineOf(std::size_t line) {
    return "line " + std::to_string(line) + ": ";
}

std::string Unclosed(const script::TIncomplete& rest, std::string_view terminator) {
    using TWhat = script::TIncomplete::TWhat;
    switch (rest.What) {
    case TWhat::StringLiteral:
        return "a string literal opened at line " + std::to_string(rest.ConstructLine) +
               " is never closed";
    case TWhat::DelimitedIdentifier:
        return "a delimited identifier opened at line " + std::to_string(rest.ConstructLine) +
               " is never closed";
    case TWhat::BlockComment:
        return "a comment opened at line " + std::to_string(rest.ConstructLine) +
               " is never closed";
    case TWhat::Statement:
        break;
    }
    return "the statement that begins at line " + std::to_string(rest.Line) +
           " has no terminator \"" + std::string(terminator) + "\"";
}

} // namespace

TSplitScript SplitLikeTheEngine(std::string_view script) {
    TSplitScript split;
    script::TScriptLexer lexer(script);
    for (;;) {
        const auto result = lexer.NextStatement();
        if (const auto* rest = std::get_if<script::TIncomplete>(&result)) {
            split.Rest = *rest;
        }
        const auto* piece = std::get_if<script::TPiece>(&result);
        if (piece == nullptr) {
            break;
        }
        TScriptStatement statement{piece->Text, piece->Line, false, {}};
        const auto command = script::ParseScriptCommand(piece->Text, &statement.CommandError);
        statement.Command = command.has_value() || !statement.CommandError.empty();
        if (command && std::holds_alternative<script::TSetTerm>(*command)) {
            lexer.SetTerminator(std::get<script::TSetTerm>(*command).Terminator);
        }
        split.Statements.push_back(std::move(statement));
    }
    split.Terminator = lexer.Terminator();
    return split;
}

TTextConverter::TTextConverter(const std::string& charset)
    : Handle_(iconv_open("UTF-8", IconvName(charset).c_str())) {
    if (Handle_ == reinterpret_cast<void*>(-1)) {
        throw std::runtime_error("unknown character set " + charset);
    }
}

TTextConverter::~TTextConverter() {
    iconv_close(Descriptor(Handle_));
}

std::string TTextConverter::ToUtf8(std::string_view text) {
    std::string result;
    result.reserve(text.size() + text.size() / 2);
    iconv(Descriptor(Handle_), nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    char buffer[4096];
    while (inLeft > 0) {
        char* out = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t done = iconv(Descriptor(Handle_), &in, &inLeft, &out, &outLeft);
        result.append(buffer, static_cast<std::size_t>(out - buffer));
        if (done != static_cast<std::size_t>(-1) || errno == E2BIG) {
            continue;
        }
        // EILSEQ (0x98 in windows-1251, a bad UTF-8 byte) or EINVAL (a sequence cut off at the
        // end): one byte is marked and skipped, the rest is converted.
        result += kReplacement;
        ++in;
        --inLeft;
        iconv(Descriptor(Handle_), nullptr, nullptr, nullptr, nullptr);
    }
    return result;
}

std::string JsonString(std::string_view utf8) {
    std::string json = "\"";
    json.reserve(utf8.size() + 16);
    for (const char c : utf8) {
        switch (c) {
        case '"':
            json += "\\\"";
            break;
        case '\\':
            json += "\\\\";
            break;
        case '\r':
            json += "\\r";
            break;
        case '\n':
            json += "\\n";
            break;
        case '\t':
            json += "\\t";
            break;
        case '\b':
            json += "\\b";
            break;
        case '\f':
            json += "\\f";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                static constexpr char kHex[] = "0123456789abcdef";
                json += "\\u00";
                json += kHex[(c >> 4) & 0xF];
                json += kHex[c & 0xF];
            } else {
                json += c;
            }
        }
    }
    return json + "\"";
}

std::string SplitJson(const TSplitScript& split, TTextConverter& converter) {
    std::string json = "[";
    const char* separator = "\n";
    for (const auto& statement : split.Statements) {
        json += separator;
        json += "{\"text\": " + JsonString(converter.ToUtf8(statement.Text)) +
                ", \"command\": " + (statement.Command ? "true" : "false") + "}";
        separator = ",\n";
    }
    return json + (split.Statements.empty() ? "]\n" : "\n]\n");
}

TCheckReport CheckScript(std::string_view script, TTextConverter& converter) {
    TCheckReport report;
    const TSplitScript split = SplitLikeTheEngine(script);
    report.Statements = split.Statements.size();

    for (const auto& statement : split.Statements) {
        const std::string kind = script::StatementKind(statement.Text);
        auto counted = report.Kinds.begin();
        while (counted != report.Kinds.end() && counted->first != kind) {
            ++counted;
        }
        if (counted == report.Kinds.end()) {
            report.Kinds.emplace_back(kind, 1);
        } else {
            ++counted->second;
        }
        if (!statement.CommandError.empty()) {
            report.Problems.push_back(LineOf(statement.Line) + statement.CommandError);
        }
    }

    if (split.Rest) {
        report.Problems.push_back(LineOf(split.Rest->ConstructLine) +
                                  Unclosed(*split.Rest, split.Terminator));
    }

    // The updater reads the script up to its first zero byte only.
    if (const std::size_t zero = script.find('\0'); zero != std::string_view::npos) {
        std::size_t line = 1;
        for (std::size_t i = 0; i < zero; ++i) {
            line += script[i] == '\n';
        }
        std::size_t more = 0;
        for (std::size_t i = zero + 1; i < script.size(); ++i) {
            more += script[i] == '\0';
        }
        report.Problems.push_back(
            LineOf(line) + "a zero byte at offset " + std::to_string(zero) +
            (more > 0 ? " (and " + std::to_string(more) + " more)" : std::string()) +
            "; the updater would cut the script there");
    }

    // The prologue's commands may come in any order and number; the statement after them must be
    // the version check that the updater recognises by its text.
    const auto& statements = split.Statements;
    std::size_t first = 0;
    while (first < statements.size() && statements[first].Command) {
        const std::string kind = script::StatementKind(statements[first].Text);
        if (kind != "SET NAMES" && kind != "SET SQL DIALECT" && kind != "SET AUTODDL" &&
            kind != "RECONNECT") {
            break;
        }
        ++first;
    }
    if (first == statements.size()) {
        report.Problems.push_back("no statement after the prologue: the version check \"" +
                                  std::string(kVersionCheck) + "...)\" is missing");
    } else if (!StartsWithIgnoringCase(statements[first].Text, kVersionCheck)) {
        report.Problems.push_back(LineOf(statements[first].Line) +
                                  "the first statement after the prologue is not the version "
                                  "check \"" +
                                  std::string(kVersionCheck) +
                                  "...)\": " + Excerpt(statements[first].Text, converter));
    }

    std::optional<std::size_t> lastCommit;
    for (std::size_t i = 0; i < statements.size(); ++i) {
        if (statements[i].Command && statements[i].CommandError.empty() &&
            script::StatementKind(statements[i].Text) == "COMMIT") {
            lastCommit = i;
        }
    }
    if (!lastCommit) {
        report.Problems.push_back("no COMMIT: nothing the script does would be kept");
    } else if (*lastCommit + 1 < statements.size()) {
        const auto& after = statements[*lastCommit + 1];
        report.Problems.push_back(LineOf(after.Line) + "a statement after the last COMMIT (line " +
                                  std::to_string(statements[*lastCommit].Line) +
                                  "): " + Excerpt(after.Text, converter));
    }
    return report;
}

std::string FormatCheckReport(const TCheckReport& report) {
    std::string text = "statements: " + std::to_string(report.Statements) + "\n";
    for (const auto& [kind, count] : report.Kinds) {
        text += "  " + kind + ": " + std::to_string(count) + "\n";
    }
    text += "problems: " + std::to_string(report.Problems.size()) + "\n";
    for (const auto& problem : report.Problems) {
        text += "  " + problem + "\n";
    }
    return text;
}
