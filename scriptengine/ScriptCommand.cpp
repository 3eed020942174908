#include "scriptengine/ScriptCommand.h"

#include <vector>

namespace script {

namespace {

bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

// Bytes above 127 only occur in comments and literals of a release script; taking them as word
// bytes keeps a stray one inside its word instead of splitting it.
bool IsWordByte(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || c == '_' ||
           c == '$' || u >= 0x80;
}

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool SameWord(std::string_view word, std::string_view upper) {
    if (word.size() != upper.size()) {
        return false;
    }
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (Upper(word[i]) != upper[i]) {
            return false;
        }
    }
    return true;
}

struct TToken {
    enum class TKind { Word, Quoted, Literal, Other, End };
    TKind Kind = TKind::End;
    std::string_view Text;

    bool Is(std::string_view upper) const { return Kind == TKind::Word && SameWord(Text, upper); }
};

// The tokens of one statement, blanks and comments skipped. Only as much SQL as telling the
// script commands and the statement kinds apart needs.
class TTokens {
public:
    explicit TTokens(std::string_view text) : Text_(text) {}

    TToken Next() {
        SkipBlanksAndComments();
        if (At_ == Text_.size()) {
            return {};
        }
        const std::size_t start = At_;
        const char c = Text_[At_];
        TToken::TKind kind = TToken::TKind::Other;
        if (IsWordByte(c)) {
            while (At_ < Text_.size() && IsWordByte(Text_[At_])) {
                ++At_;
            }
            kind = TToken::TKind::Word;
        } else if (c == '"' || c == '\'') {
            SkipQuoted(c);
            kind = c == '"' ? TToken::TKind::Quoted : TToken::TKind::Literal;
        } else {
            ++At_;
        }
        return {kind, Text_.substr(start, At_ - start)};
    }

    // The bytes up to the next blank or comment opener, taken as they are (the new terminator
    // of SET TERM).
    std::string_view Raw() {
        SkipBlanksAndComments();
        const std::size_t start = At_;
        while (At_ < Text_.size() && !IsBlank(Text_[At_]) && !OpensComment(At_)) {
            ++At_;
        }
        return Text_.substr(start, At_ - start);
    }

    bool AtEnd() {
        SkipBlanksAndComments();
        return At_ == Text_.size();
    }

private:
    bool OpensComment(std::size_t at) const {
        return at + 1 < Text_.size() && ((Text_[at] == '/' && Text_[at + 1] == '*') ||
                                         (Text_[at] == '-' && Text_[at + 1] == '-'));
    }

    void SkipBlanksAndComments() {
        while (At_ < Text_.size()) {
            if (IsBlank(Text_[At_])) {
                ++At_;
            } else if (OpensComment(At_)) {
                const bool block = Text_[At_] == '/';
                const std::size_t end = Text_.find(block ? "*/" : "\n", At_ + 2);
                At_ = end == std::string_view::npos ? Text_.size() : end + (block ? 2 : 1);
            } else {
                return;
            }
        }
    }

    void SkipQuoted(char quote) {
        ++At_;
        while (At_ < Text_.size()) {
            if (Text_[At_++] == quote) {
                if (At_ < Text_.size() && Text_[At_] == quote) {
                    ++At_;
                } else {
                    return;
                }
            }
        }
    }

    std::string_view Text_;
    std::size_t At_ = 0;
};

std::optional<TScriptCommand> Malformed(std::string* error, std::string reason) {
    if (error != nullptr) {
        *error = std::move(reason);
    }
    return std::nullopt;
}

std::optional<TScriptCommand> ParseSet(TTokens& tokens, std::string* error) {
    const TToken what = tokens.Next();
    if (what.Is("TERM")) {
        const std::string_view terminator = tokens.Raw();
        if (terminator.empty()) {
            return Malformed(error, "SET TERM without a new terminator");
        }
        if (!tokens.AtEnd()) {
            return Malformed(error, "SET TERM with more than one word after TERM");
        }
        return TSetTerm{std::string(terminator)};
    }
    if (what.Is("NAMES")) {
        const TToken name = tokens.Next();
        if (name.Kind != TToken::TKind::Word) {
            return Malformed(error, "SET NAMES without a character set name");
        }
        if (!tokens.AtEnd()) {
            return Malformed(error, "SET NAMES with more than one character set name");
        }
        return TSetNames{std::string(name.Text)};
    }
    if (what.Is("SQL")) {
        if (!tokens.Next().Is("DIALECT")) {
            return Malformed(error, "SET SQL not followed by DIALECT");
        }
        const TToken number = tokens.Next();
        if (!(number.Is("1") || number.Is("2") || number.Is("3")) || !tokens.AtEnd()) {
            return Malformed(error, "SET SQL DIALECT not followed by 1, 2 or 3 alone");
        }
        return TSetSqlDialect{number.Text[0] - '0'};
    }
    if (what.Is("AUTODDL")) {
        const TToken value = tokens.Next();
        if (!(value.Is("ON") || value.Is("OFF")) || !tokens.AtEnd()) {
            return Malformed(error, "SET AUTODDL not followed by ON or OFF alone");
        }
        return TSetAutoDdl{value.Is("ON")};
    }
    // SET GENERATOR, SET STATISTICS, SET TRANSACTION ...: the server's.
    return std::nullopt;
}

} // namespace

std::optional<TScriptCommand> ParseScriptCommand(std::string_view statement, std::string* error) {
    if (error != nullptr) {
        error->clear();
    }
    TTokens tokens(statement);
    const TToken first = tokens.Next();
    if (first.Is("SET")) {
        return ParseSet(tokens, error);
    }
    if (first.Is("RECONNECT")) {
        if (!tokens.AtEnd()) {
            return Malformed(error, "RECONNECT followed by more words");
        }
        return TReconnect{};
    }
    if (first.Is("COMMIT")) {
        // COMMIT [WORK] RETAIN and the like are the server's: isql sends them to it, and the
        // server commits and keeps the transaction going.
        if (tokens.AtEnd() || (tokens.Next().Is("WORK") && tokens.AtEnd())) {
            return TCommit{};
        }
    }
    return std::nullopt;
}

bool IsScriptCommand(std::string_view statement) {
    std::string error;
    return ParseScriptCommand(statement, &error).has_value() || !error.empty();
}

namespace {

bool StartsWithSystemTablePrefix(const TToken& name) {
    std::string_view text = name.Text;
    if (name.Kind == TToken::TKind::Quoted) {
        text.remove_prefix(1);
    } else if (name.Kind != TToken::TKind::Word) {
        return false;
    }
    return text.size() >= 4 && SameWord(text.substr(0, 4), "RDB$");
}

std::string AlterTableKind(TTokens& tokens) {
    tokens.Next(); // the table
    const TToken action = tokens.Next();
    if (action.Is("ADD")) {
        const TToken what = tokens.Next();
        for (const std::string_view constraint :
             {"CONSTRAINT", "PRIMARY", "UNIQUE", "FOREIGN", "CHECK"}) {
            if (what.Is(constraint)) {
                return "ALTER TABLE ADD CONSTRAINT";
            }
        }
        return "ALTER TABLE ADD";
    }
    if (action.Is("DROP")) {
        return tokens.Next().Is("CONSTRAINT") ? "ALTER TABLE DROP CONSTRAINT" : "ALTER TABLE DROP";
    }
    if (action.Is("ALTER")) {
        TToken column = tokens.Next();
        if (column.Is("COLUMN")) {
            column = tokens.Next();
        }
        const TToken change = tokens.Next();
        if (change.Is("TYPE")) {
            return "ALTER TABLE ALTER COLUMN TYPE";
        }
        if (change.Is("POSITION")) {
            return "ALTER TABLE ALTER COLUMN POSITION";
        }
        if (change.Is("SET")) {
            // SET NOT NULL is how Firebird 3 makes a column mandatory.
            const TToken what = tokens.Next();
            if (what.Is("DEFAULT")) {
                return "ALTER TABLE ALTER COLUMN SET DEFAULT";
            }
            if (what.Is("NOT") && tokens.Next().Is("NULL")) {
                return "ALTER TABLE ALTER COLUMN SET NOT NULL";
            }
        }
    }
    return "other";
}

// ALTER TRIGGER with a body has AS before it; without one it only switches the trigger.
std::string AlterTriggerKind(TTokens& tokens) {
    tokens.Next(); // the trigger
    bool switches = false;
    for (TToken token = tokens.Next(); token.Kind != TToken::TKind::End; token = tokens.Next()) {
        if (token.Is("AS")) {
            return "ALTER TRIGGER";
        }
        switches = switches || token.Is("ACTIVE") || token.Is("INACTIVE");
    }
    return switches ? "ALTER TRIGGER ACTIVE/INACTIVE" : "ALTER TRIGGER";
}

} // namespace

std::string StatementKind(std::string_view statement) {
    TTokens tokens(statement);
    const TToken first = tokens.Next();
    if (first.Kind != TToken::TKind::Word) {
        return "other";
    }
    for (const std::string_view alone :
         {"RECONNECT", "COMMIT", "GRANT", "REVOKE", "INSERT", "DELETE"}) {
        if (first.Is(alone)) {
            return std::string(alone);
        }
    }
    if (first.Is("UPDATE")) {
        return StartsWithSystemTablePrefix(tokens.Next()) ? "UPDATE (system table)" : "UPDATE";
    }
    const TToken second = tokens.Next();
    if (first.Is("SET")) {
        for (const std::string_view what : {"TERM", "NAMES", "AUTODDL", "GENERATOR"}) {
            if (second.Is(what)) {
                return "SET " + std::string(what);
            }
        }
        if (second.Is("SQL") && tokens.Next().Is("DIALECT")) {
            return "SET SQL DIALECT";
        }
        if (second.Is("STATISTICS") && tokens.Next().Is("INDEX")) {
            return "SET STATISTICS INDEX";
        }
        return "other";
    }
    if (first.Is("EXECUTE") && second.Is("PROCEDURE")) {
        return "EXECUTE PROCEDURE";
    }
    if (first.Is("ALTER") && second.Is("TABLE")) {
        return AlterTableKind(tokens);
    }
    if (first.Is("ALTER") && second.Is("TRIGGER")) {
        return AlterTriggerKind(tokens);
    }
    if (first.Is("ALTER") && second.Is("INDEX")) {
        return "ALTER INDEX";
    }
    const bool external = second.Is("EXTERNAL") && tokens.Next().Is("FUNCTION");
    if ((first.Is("DROP") || first.Is("DECLARE")) && external) {
        return std::string(first.Is("DROP") ? "DROP" : "DECLARE") + " EXTERNAL FUNCTION";
    }
    if (first.Is("CREATE") || first.Is("ALTER") || first.Is("DROP")) {
        for (const std::string_view object : {"TABLE", "PROCEDURE", "TRIGGER", "GENERATOR"}) {
            if (second.Is(object) && !(first.Is("ALTER") && object == "GENERATOR")) {
                return (first.Is("CREATE")  ? "CREATE "
                        : first.Is("ALTER") ? "ALTER "
                                            : "DROP ") +
                       std::string(object);
            }
        }
    }
    if (first.Is("COMMENT") && second.Is("ON")) {
        const TToken object = tokens.Next();
        for (const std::string_view kind : {"PROCEDURE", "COLUMN", "TABLE"}) {
            if (object.Is(kind)) {
                return "COMMENT ON " + std::string(kind);
            }
        }
        if (object.Is("EXTERNAL") && tokens.Next().Is("FUNCTION")) {
            return "COMMENT ON EXTERNAL FUNCTION";
        }
    }
    return "other";
}

namespace {

// The objects whose CREATE, ALTER, DROP and RECREATE are metadata statements on every server the
// updater meets. CREATE DATABASE is not among them: run in one call, the client library would
// create a database instead of refusing the statement.
bool IsMetadataObject(const TToken& object, TTokens& tokens) {
    for (const std::string_view word :
         {"TABLE", "VIEW", "PROCEDURE", "TRIGGER", "GENERATOR", "SEQUENCE", "INDEX", "UNIQUE",
          "ASC", "ASCENDING", "DESC", "DESCENDING", "DOMAIN", "EXCEPTION", "FUNCTION", "PACKAGE",
          "ROLE"}) {
        if (object.Is(word)) {
            return true;
        }
    }
    // ALTER EXTERNAL CONNECTIONS POOL of later servers is not metadata.
    return object.Is("EXTERNAL") && tokens.Next().Is("FUNCTION");
}

// RETURNING makes a data change give a row back; the server then calls it another kind.
bool HasReturning(TTokens& tokens) {
    for (TToken token = tokens.Next(); token.Kind != TToken::TKind::End; token = tokens.Next()) {
        if (token.Is("RETURNING")) {
            return true;
        }
    }
    return false;
}

} // namespace

TServerStatement ClassifyServerStatement(std::string_view statement) {
    TTokens tokens(statement);
    const TToken first = tokens.Next();
    if (first.Is("INSERT") || first.Is("UPDATE") || first.Is("DELETE")) {
        return HasReturning(tokens) ? TServerStatement::Unknown : TServerStatement::DataChange;
    }
    if (first.Is("GRANT") || first.Is("REVOKE")) {
        return TServerStatement::Metadata;
    }
    const TToken second = tokens.Next();
    if (first.Is("SET")) {
        if (second.Is("GENERATOR")) {
            return TServerStatement::DataChange;
        }
        return second.Is("STATISTICS") && tokens.Next().Is("INDEX") ? TServerStatement::Metadata
                                                                    : TServerStatement::Unknown;
    }
    if (first.Is("CREATE") && second.Is("OR")) {
        return tokens.Next().Is("ALTER") && IsMetadataObject(tokens.Next(), tokens)
                   ? TServerStatement::Metadata
                   : TServerStatement::Unknown;
    }
    if (first.Is("CREATE") || first.Is("ALTER") || first.Is("DROP") || first.Is("RECREATE")) {
        return IsMetadataObject(second, tokens) ? TServerStatement::Metadata
                                                : TServerStatement::Unknown;
    }
    if (first.Is("COMMENT") && second.Is("ON")) {
        return TServerStatement::Metadata;
    }
    if (first.Is("DECLARE") && second.Is("EXTERNAL") && tokens.Next().Is("FUNCTION")) {
        return TServerStatement::Metadata;
    }
    return TServerStatement::Unknown;
}

} // namespace script
