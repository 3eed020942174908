// libFuzzer target: any bytes as an update script, lexed the way the engine does (each SET TERM
// applied as soon as its statement is read), from a starting terminator that the first byte
// picks. Nothing may be lost or duplicated: the pieces and the incomplete rest are contiguous and
// give the input back, each piece is what its kind says, and the split agrees with a plain
// byte-by-byte reading of the same rules stated here once more on their own.
#include "scriptengine/ScriptCommand.h"
#include "scriptengine/ScriptLexer.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace script;

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

bool At(std::string_view text, std::size_t at, std::string_view what) {
    return text.substr(at).starts_with(what);
}

struct TExpected {
    TPieceKind Kind;
    std::size_t End;
};

// Where the piece that starts at `at` ends, read one byte at a time; npos when the script ends
// inside it. `incomplete` receives what stays open.
std::size_t ReferenceEnd(std::string_view s, std::size_t at, std::string_view term,
                         TPieceKind& kind, TIncomplete::TWhat& incomplete) {
    constexpr std::size_t npos = std::string_view::npos;
    if (At(s, at, term)) {
        kind = TPieceKind::Terminator;
        return at + term.size();
    }
    if (IsBlank(s[at])) {
        kind = TPieceKind::Blank;
        while (at < s.size() && IsBlank(s[at])) {
            ++at;
        }
        return at;
    }
    kind = TPieceKind::Comment;
    if (At(s, at, "/*")) {
        for (std::size_t i = at + 2; i + 1 < s.size(); ++i) {
            if (s[i] == '*' && s[i + 1] == '/') {
                return i + 2;
            }
        }
        incomplete = TIncomplete::TWhat::BlockComment;
        return npos;
    }
    if (At(s, at, "--")) {
        std::size_t i = at + 2;
        while (i < s.size() && s[i] != '\n') {
            ++i;
        }
        return i < s.size() && s[i - 1] == '\r' && i - 1 >= at + 2 ? i - 1 : i;
    }
    kind = TPieceKind::Statement;
    enum { Code, Literal, Identifier, Block, Line } state = Code;
    std::size_t i = at;
    while (i < s.size()) {
        const char c = s[i];
        switch (state) {
        case Code:
            if (At(s, i, term)) {
                return i;
            }
            if (c == '\'' || c == '"') {
                state = c == '\'' ? Literal : Identifier;
            } else if (At(s, i, "/*")) {
                state = Block;
                ++i;
            } else if (At(s, i, "--")) {
                state = Line;
                ++i;
            }
            break;
        case Literal:
        case Identifier:
            if (c == (state == Literal ? '\'' : '"')) {
                if (i + 1 < s.size() && s[i + 1] == c) {
                    ++i;
                } else {
                    state = Code;
                }
            }
            break;
        case Block:
            if (At(s, i, "*/")) {
                state = Code;
                ++i;
            }
            break;
        case Line:
            if (c == '\n') {
                state = Code;
            }
            break;
        }
        ++i;
    }
    incomplete = state == Literal      ? TIncomplete::TWhat::StringLiteral
                 : state == Identifier ? TIncomplete::TWhat::DelimitedIdentifier
                 : state == Block      ? TIncomplete::TWhat::BlockComment
                                       : TIncomplete::TWhat::Statement;
    return npos;
}

constexpr std::string_view kStartTerminators[] = {";", "^", "!!", "--", "/", "'", "GO", "*/"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::string_view term0 = kStartTerminators[data[0] % std::size(kStartTerminators)];
    const std::string_view script(reinterpret_cast<const char*>(data) + 1, size - 1);
    TScriptLexer lexer(script, term0);
    std::string term(term0);
    // The terminator that ends the statement just read; SET TERM changes `term` at once.
    std::string ending;
    std::size_t offset = 0;
    std::size_t line = 1;
    bool afterStatement = false;
    for (;;) {
        const TLexResult result = lexer.Next();
        if (std::holds_alternative<TEnd>(result)) {
            Check(offset == script.size());
            break;
        }
        TPieceKind kind = TPieceKind::Blank;
        TIncomplete::TWhat open = TIncomplete::TWhat::Statement;
        const std::size_t end = afterStatement ? offset + ending.size()
                                               : ReferenceEnd(script, offset, term, kind, open);
        if (afterStatement) {
            kind = TPieceKind::Terminator;
        }
        if (const auto* rest = std::get_if<TIncomplete>(&result)) {
            Check(end == std::string_view::npos && rest->What == open);
            Check(rest->Offset == offset && rest->Line == line);
            Check(rest->Text.data() == script.data() + offset);
            Check(rest->Text.size() == script.size() - offset);
            Check(rest->ConstructOffset >= offset && rest->ConstructOffset < script.size());
            Check(std::holds_alternative<TEnd>(lexer.Next()));
            break;
        }
        const TPiece& piece = std::get<TPiece>(result);
        Check(end != std::string_view::npos && piece.Kind == kind);
        Check(piece.Offset == offset && piece.Line == line);
        Check(piece.Text.data() == script.data() + offset && piece.Text.size() == end - offset);
        Check(!piece.Text.empty());
        if (piece.Kind == TPieceKind::Terminator) {
            Check(piece.Text == (afterStatement ? ending : term));
        }
        afterStatement = false;
        if (piece.Kind == TPieceKind::Statement) {
            afterStatement = true;
            ending = term;
            std::string error;
            const auto command = ParseScriptCommand(piece.Text, &error);
            Check(!(command && !error.empty()));
            Check(IsScriptCommand(piece.Text) == (command.has_value() || !error.empty()));
            if (command && std::holds_alternative<TSetTerm>(*command)) {
                term = std::get<TSetTerm>(*command).Terminator;
                lexer.SetTerminator(term);
            }
            Check(!StatementKind(piece.Text).empty());
        }
        for (const char c : piece.Text) {
            line += c == '\n';
        }
        offset += piece.Text.size();
    }
    return 0;
}
