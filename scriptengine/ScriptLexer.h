// Splits an update script into pieces by the script's lexical rules: statements ended by the
// current terminator, the terminators themselves, comments and blank runs between statements.
// Works on the script's bytes as they are (windows-1251), copies nothing: every piece is a view
// into the text given to the constructor, which must outlive the lexer.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <variant>

namespace script {

enum class TPieceKind {
    // A run of characters with codes 0 to 32 between statements.
    Blank,
    // A block comment "/* ... */" or a line comment "-- ..." (up to, not including, the line end)
    // between statements.
    Comment,
    // From its first token up to, not including, its terminator; every byte inside kept, comments
    // and line ends included. Script commands (SET TERM ...) are statements here too.
    Statement,
    // The terminator that ended the statement just before it. A terminator that stands between
    // statements with no statement before it (";;") is a Terminator piece on its own: an empty
    // statement that nobody runs.
    Terminator,
};

struct TPiece {
    TPieceKind Kind;
    std::string_view Text;
    // Offset of Text's first byte in the script.
    std::size_t Offset;
    // 1-based line of Text's first byte (lines end with LF; a CR LF pair is one line end).
    std::size_t Line;
};

// What cannot be completed at the end of the script: the rest of the text from where the open
// construct began (a statement that started but has no terminator, or a literal, delimited
// identifier or block comment that is never closed). Text starts where the piece would have
// started, so that the pieces before it and Text together are the whole script; the construct
// that stays open may begin later, inside a statement, at ConstructOffset.
struct TIncomplete {
    enum class TWhat { Statement, StringLiteral, DelimitedIdentifier, BlockComment };
    TWhat What;
    std::string_view Text;
    std::size_t Offset;
    std::size_t Line;
    // Where the literal, identifier or comment that is never closed begins (for a statement
    // without terminator: Offset and Line).
    std::size_t ConstructOffset = 0;
    std::size_t ConstructLine = 0;
};

struct TEnd {};

using TLexResult = std::variant<TPiece, TIncomplete, TEnd>;

class TScriptLexer {
public:
    explicit TScriptLexer(std::string_view script, std::string_view terminator = ";");

    // The next piece from the current position. Inside a statement, a terminator that stands in
    // a string literal ('...' with '' for one quote), a delimited identifier ("..."), a block
    // comment or a line comment does not end it. After TIncomplete or TEnd every call gives TEnd.
    TLexResult Next();

    // The next statement, skipping blanks, comments and terminators; TEnd when only those are
    // left.
    TLexResult NextStatement();

    // The terminator takes effect from the current position on (the engine changes it after a
    // SET TERM statement). Must not be empty and must not hold a blank (std::invalid_argument).
    // Where a statement was just returned, the terminator found after it stays its Terminator
    // piece. At a piece's start the terminator is looked for first, then a comment opener: a
    // terminator that begins like a comment ends statements.
    void SetTerminator(std::string_view terminator);
    std::string_view Terminator() const { return Terminator_; }

    std::size_t Position() const { return Position_; }

private:
    std::string_view Script_;
    std::string Terminator_;
    std::size_t Position_ = 0;
    std::size_t Line_ = 1;
    bool Finished_ = false;
    // Set after a statement, so that the next piece is its terminator.
    bool TerminatorPending_ = false;
    std::size_t PendingTerminatorSize_ = 0;
    // Bytes at which the statement scan must stop and look: quotes, comment openers and the
    // terminator's first byte.
    std::array<bool, 256> Stop_{};

    TLexResult Statement();
    TLexResult Incomplete(TIncomplete::TWhat what, std::size_t constructOffset);
    std::size_t LinesBefore(std::size_t offset) const;
};

} // namespace script
