// The script commands that the engine runs itself instead of sending them to the server, and
// the kinds of statement that a release engineer's check counts.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace script {

struct TSetTerm {
    std::string Terminator;
};
struct TSetNames {
    std::string CharacterSet;
};
struct TSetSqlDialect {
    int Dialect;
};
struct TSetAutoDdl {
    bool On;
};
struct TReconnect {};
// COMMIT and COMMIT WORK.
struct TCommit {};

using TScriptCommand =
    std::variant<TSetTerm, TSetNames, TSetSqlDialect, TSetAutoDdl, TReconnect, TCommit>;

// The command that a statement's text (as the lexer gives it) stands for, in any letter case and
// spacing; comments before, inside and after the words are allowed. Nothing for every statement
// that goes to the server, SET GENERATOR and SET STATISTICS included. A SET TERM, SET NAMES,
// SET SQL DIALECT or SET AUTODDL that is malformed (no terminator, a dialect that is not a
// number, ON/OFF missing) is still a command: `error` then receives a one-line English reason
// and nothing is returned.
// RECONNECT followed by anything is a malformed command too. COMMIT followed by anything but a
// lone WORK (COMMIT RETAIN, COMMIT WORK RETAIN) is the server's, as in isql. `error` is emptied
// in every other case.
std::optional<TScriptCommand> ParseScriptCommand(std::string_view statement,
                                                 std::string* error = nullptr);

// True when the statement text, its comments ignored, is a script command, well formed or not:
// SET TERM, SET NAMES, SET SQL DIALECT, SET AUTODDL, RECONNECT, COMMIT, COMMIT WORK.
bool IsScriptCommand(std::string_view statement);

// The statement kinds of a release script, as `updater-script check` counts them: e.g.
// "SET TERM", "COMMIT", "EXECUTE PROCEDURE", "CREATE TABLE", "ALTER TABLE ... ADD column",
// "ALTER TABLE ... ALTER COLUMN ... POSITION", "ALTER PROCEDURE", "GRANT", "INSERT",
// "UPDATE (system table)", ...; "other" for anything else.
// The names carry no "..." placeholders: "ALTER TABLE ADD", "ALTER TABLE ALTER COLUMN POSITION",
// "ALTER TRIGGER ACTIVE/INACTIVE", "COMMENT ON COLUMN", "SET STATISTICS INDEX"; UPDATE of a
// table whose name begins with RDB$ is "UPDATE (system table)". "ALTER TABLE ALTER COLUMN SET NOT
// NULL" is counted too: Firebird 3 takes it instead of an update of RDB$RELATION_FIELDS.
std::string StatementKind(std::string_view statement);

// What a statement for the server is, where its words tell it for sure, so that the engine need
// not prepare it and ask the server:
// - Metadata: the server would answer isc_info_sql_stmt_ddl (CREATE, ALTER, DROP, RECREATE of the
//   usual objects, CREATE OR ALTER, COMMENT ON, GRANT, REVOKE, DECLARE EXTERNAL FUNCTION, SET
//   STATISTICS INDEX);
// - DataChange: it runs in the current transaction and gives no rows back (INSERT, UPDATE,
//   DELETE, UPDATE OR INSERT without RETURNING; SET GENERATOR, which Firebird 3 and 4 run in the
//   current transaction, not as metadata);
// - Unknown: everything else (queries, EXECUTE PROCEDURE, COMMIT RETAIN, ROLLBACK, CREATE
//   DATABASE, statements of later server versions, ...): the server says what it is.
enum class TServerStatement { Unknown, Metadata, DataChange };
TServerStatement ClassifyServerStatement(std::string_view statement);

} // namespace script
