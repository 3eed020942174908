#include "scriptengine/ScriptLexer.h"

#include <cstring>
#include <stdexcept>

namespace script {

namespace {

constexpr std::size_t npos = std::string_view::npos;

bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

std::size_t CountLineEnds(std::string_view text) {
    std::size_t count = 0;
    for (const char c : text) {
        count += c == '\n';
    }
    return count;
}

std::size_t Find(std::string_view text, std::size_t from, char c) {
    const void* found = std::memchr(text.data() + from, c, text.size() - from);
    return found == nullptr
               ? npos
               : static_cast<std::size_t>(static_cast<const char*>(found) - text.data());
}

// The first byte after the literal or delimited identifier whose opening quote is at `open`;
// npos when it is never closed. A doubled quote stands for one and does not close it.
std::size_t AfterQuoted(std::string_view text, std::size_t open) {
    const char quote = text[open];
    std::size_t at = open + 1;
    for (;;) {
        const std::size_t close = Find(text, at, quote);
        if (close == npos) {
            return npos;
        }
        at = close + 1;
        if (at == text.size() || text[at] != quote) {
            return at;
        }
        ++at;
    }
}

// The first byte after the block comment whose "/*" is at `open`; npos when it is never closed.
// "/*/" does not close: the search starts after the opener.
std::size_t AfterBlockComment(std::string_view text, std::size_t open) {
    std::size_t at = open + 2;
    for (;;) {
        const std::size_t star = Find(text, at, '*');
        if (star == npos || star + 1 == text.size()) {
            return npos;
        }
        if (text[star + 1] == '/') {
            return star + 2;
        }
        at = star + 1;
    }
}

} // namespace

TScriptLexer::TScriptLexer(std::string_view script, std::string_view terminator) : Script_(script) {
    SetTerminator(terminator);
}

void TScriptLexer::SetTerminator(std::string_view terminator) {
    if (terminator.empty()) {
        throw std::invalid_argument("empty script terminator");
    }
    for (const char c : terminator) {
        if (IsBlank(c)) {
            throw std::invalid_argument("script terminator with a blank");
        }
    }
    Terminator_ = terminator;
    Stop_.fill(false);
    for (const char c : {'\'', '"', '/', '-', Terminator_[0]}) {
        Stop_[static_cast<unsigned char>(c)] = true;
    }
}

std::size_t TScriptLexer::LinesBefore(std::size_t offset) const {
    return CountLineEnds(Script_.substr(Position_, offset - Position_));
}

TLexResult TScriptLexer::Incomplete(TIncomplete::TWhat what, std::size_t constructOffset) {
    TIncomplete incomplete{what,  Script_.substr(Position_), Position_,
                           Line_, constructOffset,           Line_ + LinesBefore(constructOffset)};
    Line_ += CountLineEnds(incomplete.Text);
    Position_ = Script_.size();
    Finished_ = true;
    return incomplete;
}

TLexResult TScriptLexer::Next() {
    if (Finished_) {
        return TEnd{};
    }
    const std::size_t start = Position_;
    if (TerminatorPending_) {
        TerminatorPending_ = false;
        Position_ += PendingTerminatorSize_;
        return TPiece{TPieceKind::Terminator, Script_.substr(start, PendingTerminatorSize_), start,
                      Line_};
    }
    if (start == Script_.size()) {
        Finished_ = true;
        return TEnd{};
    }
    const std::string_view rest = Script_.substr(start);
    if (rest.starts_with(Terminator_)) {
        Position_ += Terminator_.size();
        return TPiece{TPieceKind::Terminator, rest.substr(0, Terminator_.size()), start, Line_};
    }
    std::size_t end = start;
    TPieceKind kind = TPieceKind::Comment;
    if (IsBlank(rest[0])) {
        while (end < Script_.size() && IsBlank(Script_[end])) {
            ++end;
        }
        kind = TPieceKind::Blank;
    } else if (rest.starts_with("/*")) {
        end = AfterBlockComment(Script_, start);
        if (end == npos) {
            return Incomplete(TIncomplete::TWhat::BlockComment, start);
        }
    } else if (rest.starts_with("--")) {
        // The line end (CR LF or LF) is not part of the comment.
        end = Find(Script_, start + 2, '\n');
        if (end == npos) {
            end = Script_.size();
        } else if (end > start + 2 && Script_[end - 1] == '\r') {
            --end;
        }
    } else {
        return Statement();
    }
    const TPiece piece{kind, Script_.substr(start, end - start), start, Line_};
    Line_ += CountLineEnds(piece.Text);
    Position_ = end;
    return piece;
}

// The hot loop of the lexer: bytes that cannot end or open anything are skipped through a table,
// and literals and comments are crossed with memchr.
TLexResult TScriptLexer::Statement() {
    const char* data = Script_.data();
    const std::size_t size = Script_.size();
    const std::size_t start = Position_;
    const char first = Terminator_[0];
    const std::size_t terminatorSize = Terminator_.size();
    std::size_t at = start;
    for (;;) {
        while (at < size && !Stop_[static_cast<unsigned char>(data[at])]) {
            ++at;
        }
        if (at == size) {
            return Incomplete(TIncomplete::TWhat::Statement, start);
        }
        const char c = data[at];
        if (c == first && size - at >= terminatorSize &&
            std::memcmp(data + at, Terminator_.data(), terminatorSize) == 0) {
            const TPiece piece{TPieceKind::Statement, Script_.substr(start, at - start), start,
                               Line_};
            Line_ += CountLineEnds(piece.Text);
            Position_ = at;
            TerminatorPending_ = true;
            PendingTerminatorSize_ = terminatorSize;
            return piece;
        }
        if (c == '\'' || c == '"') {
            const std::size_t after = AfterQuoted(Script_, at);
            if (after == npos) {
                return Incomplete(c == '\'' ? TIncomplete::TWhat::StringLiteral
                                            : TIncomplete::TWhat::DelimitedIdentifier,
                                  at);
            }
            at = after;
        } else if (c == '/' && at + 1 < size && data[at + 1] == '*') {
            const std::size_t after = AfterBlockComment(Script_, at);
            if (after == npos) {
                return Incomplete(TIncomplete::TWhat::BlockComment, at);
            }
            at = after;
        } else if (c == '-' && at + 1 < size && data[at + 1] == '-') {
            const std::size_t lineEnd = Find(Script_, at + 2, '\n');
            if (lineEnd == npos) {
                return Incomplete(TIncomplete::TWhat::Statement, start);
            }
            at = lineEnd + 1;
        } else {
            ++at;
        }
    }
}

TLexResult TScriptLexer::NextStatement() {
    for (;;) {
        TLexResult result = Next();
        const auto* piece = std::get_if<TPiece>(&result);
        if (piece == nullptr || piece->Kind == TPieceKind::Statement) {
            return result;
        }
    }
}

} // namespace script
