// The engine library against the private server, loaded and called as the updater does: by name,
// Connect then one exec call, with callbacks that record. Each test that changes a database has
// one of its own; what a script did is read back through independent attachments (isql-fb).
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <ibase.h>

#include "platform/DynamicLibrary.h"
#include "scriptengine/IBEScript.h"
#include "scriptengine/ScriptCommand.h"
#include "tests/firebird/OwnDatabase.h"
#include "tests/support/Command.h"
#include "tests/support/Environment.h"
#include "tests/support/RecordingClient.h"
#include "tests/support/TempFolder.h"

namespace {

struct TRecorded {
    std::vector<std::string> ConnectErrors;
    std::vector<std::pair<std::string, std::string>> StatementErrors;
    std::vector<std::string> LogLines;
    int Queries = 0;
};

TRecorded Recorded;

int IBESCRIPT_CALL OnConnectError(const char* text) {
    Recorded.ConnectErrors.emplace_back(text);
    return 0;
}
int IBESCRIPT_CALL OnStatementError(const char* statement, const char* error) {
    Recorded.StatementErrors.emplace_back(statement, error);
    return 0;
}
int IBESCRIPT_CALL OnLogLine(int, const char* line) {
    Recorded.LogLines.emplace_back(line);
    return 0;
}
int IBESCRIPT_CALL OnEngineQuery(int, int value) {
    ++Recorded.Queries;
    return value == 1 ? 0 : 1;
}

// The engine, loaded for one test and unloaded at its end, as the updater loads it for each
// application.
class TEngine {
public:
    explicit TEngine(const char* library = UPDATER_SCRIPT_ENGINE)
        : Library_(platform::TDynamicLibrary::Load(library)) {
        Recorded = {};
        EXPECT_TRUE(Library_.IsLoaded());
        Connect_ = reinterpret_cast<TConnect>(Library_.Find("Connect"));
        ExecText_ = reinterpret_cast<TExecScriptText>(Library_.Find("ExecScriptText"));
        ExecFile_ = reinterpret_cast<TExecScriptFile>(Library_.Find("ExecScriptFile"));
        EXPECT_TRUE(Connect_ != nullptr && ExecText_ != nullptr && ExecFile_ != nullptr);
    }

    int Connect(const std::string& connectString) {
        return Connect_(connectString.c_str(), OnConnectError);
    }
    int ExecText(const std::string& script) {
        return ExecText_(script.c_str(), OnStatementError, OnLogLine, OnEngineQuery);
    }
    int ExecFile(const std::string& fileName) {
        return ExecFile_(fileName.c_str(), OnStatementError, OnLogLine, OnEngineQuery);
    }
    void Unload() { Library_.Free(); }

private:
    platform::TDynamicLibrary Library_;
    TConnect Connect_ = nullptr;
    TExecScriptText ExecText_ = nullptr;
    TExecScriptFile ExecFile_ = nullptr;
};

std::string ConnectString(const std::string& database,
                          const std::string& password = firebird_test::SysdbaPassword,
                          const std::string& clientLibrary = "fbclient.dll",
                          const std::string& role = "") {
    return "db_name=" + database + "; password=" + password +
           "; user_name=SYSDBA; lc_ctype=win1251; sql_role_name=" + role +
           "; sql_dialect=3; clientlib=\"" + clientLibrary + "\"";
}

// One value per line of a query, read through an attachment of isql-fb (headings off).
std::vector<std::string> Query(const std::string& database, const std::string& sql) {
    TTempFolder folder;
    const auto input = folder.MakeFile("query.sql", "set heading off;\n" + sql + "\n");
    const std::string command = "isql-fb -q -ch WIN1251 -user SYSDBA -password " +
                                std::string(firebird_test::SysdbaPassword) + " '" + database +
                                "' -i '" + input.string() + "' 2>&1";
    std::FILE* pipe = popen(command.c_str(), "r");
    std::vector<std::string> values;
    if (pipe == nullptr) {
        ADD_FAILURE() << "cannot run isql-fb";
        return values;
    }
    char line[4096];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        std::string text = line;
        while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
            text.pop_back();
        }
        const auto begin = text.find_first_not_of(' ');
        if (begin != std::string::npos) {
            values.push_back(text.substr(begin));
        }
    }
    pclose(pipe);
    return values;
}

std::string One(const std::string& database, const std::string& sql) {
    const auto values = Query(database, sql);
    return values.size() == 1 ? values[0] : "<" + std::to_string(values.size()) + " lines>";
}

std::string TableCount(const std::string& database, const std::string& table) {
    return One(database,
               "select count(*) from rdb$relations where rdb$relation_name = '" + table + "';");
}

// The statement count of a closing line "Done: N statements in S.SSS s", or -1 for another line.
int DoneCount(const std::string& line) {
    int count = -1;
    double seconds = 0;
    int end = 0;
    if (std::sscanf(line.c_str(), "Done: %d statements in %lf s%n", &count, &seconds, &end) != 2 ||
        static_cast<std::size_t>(end) != line.size() || line.find('.') != line.size() - 6) {
        return -1;
    }
    return count;
}

TEST(ScriptEngine, RunsTermBlocksLiteralsAndScriptCommands) {
    firebird_test::TOwnDatabase db;
    const std::string script =
        "/* header\r\n comment */\r\n"
        "SET NAMES WIN1251;\r\n"
        "SET SQL DIALECT 3;\r\n"
        "SET AUTODDL ON;\r\n"
        "RECONNECT;\r\n"
        "CREATE TABLE T (ID INTEGER NOT NULL, TXT VARCHAR(200));\r\n"
        "-- a line comment between statements;\r\n"
        "INSERT INTO T VALUES (1, 'semi;colon -- dash\r\nnext ''line''');\r\n"
        "Commit;\r\n"
        "SET TERM ^ ;\r\n"
        "CREATE PROCEDURE P (X INTEGER) AS\r\n"
        "DECLARE VARIABLE Y INTEGER;\r\n"
        "BEGIN\r\n"
        "  Y = X + 1; /* ; inside */\r\n"
        "  INSERT INTO T VALUES (:Y, 'from P;');\r\n"
        "END^\r\n"
        "SET TERM ; ^\r\n"
        "EXECUTE PROCEDURE P(1);  \r\n"
        "commit work;\r\n"
        "reconnect;\r\n"
        "INSERT INTO T VALUES (3, '\xc0\xe1\xe2');\r\n";
    recording_client::Clear();
    TEngine engine;
    ASSERT_EQ(engine.Connect(ConnectString(db.DatabaseString(), firebird_test::SysdbaPassword,
                                           recording_client::Path)),
              0);
    EXPECT_EQ(engine.ExecText(script), 0);
    const auto attaches = recording_client::Calls("isc_attach_database");
    engine.Unload();

    EXPECT_TRUE(Recorded.ConnectErrors.empty());
    EXPECT_TRUE(Recorded.StatementErrors.empty()) << Recorded.StatementErrors[0].first << "\n"
                                                  << Recorded.StatementErrors[0].second;
    EXPECT_EQ(Recorded.Queries, 0);

    EXPECT_EQ(One(db.DatabaseString(), "select count(*) from T;"), "3");
    EXPECT_EQ(One(db.DatabaseString(),
                  "select iif(TXT = 'semi;colon -- dash' || ascii_char(13) || ascii_char(10) || "
                  "'next ''line''', 'kept', 'changed') from T where ID = 1;"),
              "kept");
    EXPECT_EQ(One(db.DatabaseString(), "select TXT from T where ID = 2;"), "from P;");
    EXPECT_EQ(One(db.DatabaseString(), "select octet_length(TXT) from T where ID = 3;"), "3");

    // 14 statements: one log line each, then the closing line.
    ASSERT_EQ(Recorded.LogLines.size(), 15u);
    EXPECT_EQ(Recorded.LogLines[0], "1/14 SET NAMES WIN1251");
    EXPECT_EQ(Recorded.LogLines[5], "6/14 INSERT INTO T VALUES (1, 'semi;colon -- dash");
    EXPECT_EQ(Recorded.LogLines[8], "9/14 CREATE PROCEDURE P (X INTEGER) AS");
    EXPECT_EQ(Recorded.LogLines[11], "12/14 commit work");
    EXPECT_EQ(Recorded.LogLines[13], "14/14 INSERT INTO T VALUES (3, '\xc0\xe1\xe2')");
    EXPECT_EQ(DoneCount(Recorded.LogLines[14]), 14) << Recorded.LogLines[14];

    // Connect and the two RECONNECTs, each with the same block.
    ASSERT_EQ(attaches.size(), 3u);
    std::string dpb(1, char(isc_dpb_version1));
    dpb += std::string{char(isc_dpb_user_name), 6} + "SYSDBA";
    dpb += std::string{char(isc_dpb_password),
                       char(std::string(firebird_test::SysdbaPassword).size())} +
           firebird_test::SysdbaPassword;
    dpb += std::string{char(isc_dpb_lc_ctype), 7} + "win1251";
    dpb += std::string{char(isc_dpb_sql_dialect), 4, 3, 0, 0, 0};
    for (const auto& attach : attaches) {
        EXPECT_EQ(attach.Args[0], db.DatabaseString());
        EXPECT_EQ(attach.Args[1], dpb);
    }
    EXPECT_EQ(firebird_test::AttachmentCount(db.DatabaseString()), 0);
}

TEST(ScriptEngine, AutoDdlCommitsMetadataAtOnceAndAFailureRollsBackTheRest) {
    firebird_test::TOwnDatabase db;
    TEngine engine;
    ASSERT_EQ(engine.Connect(ConnectString(db.DatabaseString())), 0);
    const std::string failing = "INSERT INTO MISSING_TABLE\r\n  VALUES (1)";
    EXPECT_NE(engine.ExecText("CREATE TABLE A (X INTEGER);\n"
                              "INSERT INTO A VALUES (1);\n"
                              "COMMIT;\n"
                              "INSERT INTO A VALUES (2);\n"
                              "CREATE TABLE B (Y INTEGER);\n" +
                              failing +
                              ";\n"
                              "CREATE TABLE C (Z INTEGER);\n"),
              0);
    engine.Unload();

    ASSERT_EQ(Recorded.StatementErrors.size(), 1u);
    EXPECT_EQ(Recorded.StatementErrors[0].first, failing);
    const std::string& error = Recorded.StatementErrors[0].second;
    EXPECT_NE(error.find("Table unknown\r\nMISSING_TABLE"), std::string::npos) << error;
    ASSERT_EQ(Recorded.LogLines.size(), 7u);
    EXPECT_EQ(Recorded.LogLines[5], "6/7 INSERT INTO MISSING_TABLE");
    const std::string& closing = Recorded.LogLines[6];
    double seconds = -1;
    int end = 0;
    EXPECT_EQ(
        std::sscanf(closing.c_str(), "Stopped at statement 6/7 after %lf s; %n", &seconds, &end), 1)
        << closing;
    EXPECT_EQ(closing.substr(static_cast<std::size_t>(end)),
              "what was not committed is rolled back");

    EXPECT_EQ(TableCount(db.DatabaseString(), "B"), "1") << "metadata committed at once";
    EXPECT_EQ(TableCount(db.DatabaseString(), "C"), "0") << "nothing after the failure runs";
    EXPECT_EQ(One(db.DatabaseString(), "select count(*) || ' ' || min(X) from A;"), "1 1")
        << "the committed row stays, the uncommitted one is rolled back";
    EXPECT_EQ(firebird_test::AttachmentCount(db.DatabaseString()), 0);
}

TEST(ScriptEngine, WithAutoDdlOffMetadataWaitsForTheCommit) {
    firebird_test::TOwnDatabase db;
    TEngine engine;
    ASSERT_EQ(engine.Connect(ConnectString(db.DatabaseString())), 0);
    EXPECT_NE(engine.ExecText("SET AUTODDL OFF;\n"
                              "CREATE TABLE D1 (X INTEGER);\n"
                              "COMMIT;\n"
                              "CREATE TABLE D2 (X INTEGER);\n"
                              "SELECT * FROM NOWHERE;\n"),
              0);
    engine.Unload();
    ASSERT_EQ(Recorded.StatementErrors.size(), 1u);
    EXPECT_EQ(Recorded.StatementErrors[0].first, "SELECT * FROM NOWHERE");
    EXPECT_EQ(TableCount(db.DatabaseString(), "D1"), "1");
    EXPECT_EQ(TableCount(db.DatabaseString(), "D2"), "0");
    EXPECT_EQ(firebird_test::AttachmentCount(db.DatabaseString()), 0);
}

TEST(ScriptEngine, AnUnterminatedEndFailsAfterTheCompleteStatementsRan) {
    const std::pair<std::string, std::string> cases[] = {
        {"INSERT INTO E VALUES ('open;\n", "Unterminated string literal"},
        {"INSERT INTO E VALUES (2)\n", "Unterminated statement"},
        {"/* open comment;\n", "Unterminated comment"},
    };
    for (const auto& [tail, text] : cases) {
        SCOPED_TRACE(tail);
        firebird_test::TOwnDatabase db;
        TEngine engine;
        ASSERT_EQ(engine.Connect(ConnectString(db.DatabaseString())), 0);
        EXPECT_NE(engine.ExecText("CREATE TABLE E (X VARCHAR(20));\n"
                                  "INSERT INTO E VALUES ('1');\n" +
                                  tail),
                  0);
        engine.Unload();
        ASSERT_EQ(Recorded.StatementErrors.size(), 1u);
        EXPECT_EQ(Recorded.StatementErrors[0].second.rfind(text, 0), 0u)
            << Recorded.StatementErrors[0].second;
        EXPECT_EQ(TableCount(db.DatabaseString(), "E"), "1");
        EXPECT_EQ(One(db.DatabaseString(), "select count(*) from E;"), "0");
        EXPECT_EQ(firebird_test::AttachmentCount(db.DatabaseString()), 0);
    }
}

TEST(ScriptEngine, AScriptOfCommentsAndBlanksRunsNothingAndSucceeds) {
    firebird_test::TOwnDatabase db;
    TEngine engine;
    ASSERT_EQ(engine.Connect(ConnectString(db.DatabaseString())), 0);
    EXPECT_EQ(engine.ExecText("\r\n  /* only; a comment */\r\n-- and another;\r\n\r\n"), 0);
    engine.Unload();
    EXPECT_TRUE(Recorded.StatementErrors.empty());
    ASSERT_EQ(Recorded.LogLines.size(), 1u);
    EXPECT_EQ(DoneCount(Recorded.LogLines[0]), 0) << Recorded.LogLines[0];
    EXPECT_EQ(firebird_test::AttachmentCount(db.DatabaseString()), 0);
}

TEST(ScriptEngine, RunsAScriptFile) {
    firebird_test::TOwnDatabase db;
    TTempFolder folder;
    const auto file = folder.MakeFile("update.sql", "CREATE TABLE F (X INTEGER);\r\n"
                                                    "INSERT INTO F VALUES (7);\r\n");
    TEngine engine;
    ASSERT_EQ(engine.Connect(ConnectString(db.DatabaseString())), 0);
    EXPECT_EQ(engine.ExecFile(file.string()), 0);
    engine.Unload();
    EXPECT_TRUE(Recorded.StatementErrors.empty());
    EXPECT_EQ(One(db.DatabaseString(), "select X from F;"), "7");
}

TEST(ScriptEngine, AMissingScriptFileIsReportedAndNothingStaysAttached) {
    firebird_test::TOwnDatabase db;
    TEngine engine;
    ASSERT_EQ(engine.Connect(ConnectString(db.DatabaseString())), 0);
    EXPECT_EQ(firebird_test::AttachmentCount(db.DatabaseString()), 1);
    EXPECT_NE(engine.ExecFile("/nonexistent/update.sql"), 0);
    ASSERT_EQ(Recorded.StatementErrors.size(), 1u);
    EXPECT_EQ(Recorded.StatementErrors[0].second,
              "Cannot open the script file \"/nonexistent/update.sql\": No such file or directory");
    EXPECT_EQ(firebird_test::AttachmentCount(db.DatabaseString()), 0)
        << "detached while still loaded";
}

// The exec call ends the engine before it returns, success or failure: detached (and the client
// library freed), so that the unload has nothing left to do (on Windows it runs under the loader
// lock). A second Connect gives up what a first one left.
TEST(ScriptEngine, TheExecCallDetachesBeforeTheUnload) {
    firebird_test::TOwnDatabase db;
    for (const char* script : {"CREATE TABLE U (X INTEGER);", "CREATE TABLE U (X INTEGER);"}) {
        SCOPED_TRACE(script);
        TEngine engine;
        const std::string connect = ConnectString(
            db.DatabaseString(), firebird_test::SysdbaPassword, recording_client::Path);
        ASSERT_EQ(engine.Connect(connect), 0);
        ASSERT_EQ(engine.Connect(connect), 0);
        EXPECT_EQ(firebird_test::AttachmentCount(db.DatabaseString()), 1);
        engine.ExecText(script);
        EXPECT_EQ(firebird_test::AttachmentCount(db.DatabaseString()), 0);
        engine.Unload();
    }
    // The second run failed: the table was there.
    EXPECT_EQ(Recorded.StatementErrors.size(), 1u);
}

TEST(ScriptEngine, ASetNamesForAnotherCharacterSetIsRefused) {
    firebird_test::TOwnDatabase db;
    TEngine engine;
    ASSERT_EQ(engine.Connect(ConnectString(db.DatabaseString())), 0);
    EXPECT_NE(engine.ExecText("set names win1251;\nSET NAMES UTF8;\nCREATE TABLE G (X INTEGER);\n"),
              0);
    engine.Unload();
    ASSERT_EQ(Recorded.StatementErrors.size(), 1u);
    EXPECT_EQ(Recorded.StatementErrors[0].first, "SET NAMES UTF8");
    EXPECT_EQ(Recorded.StatementErrors[0].second,
              "SET NAMES UTF8 asks for another character set than the connection's (win1251); "
              "the engine does not change the character set of its connection");
    EXPECT_EQ(TableCount(db.DatabaseString(), "G"), "0");
}

TEST(ScriptEngine, ConnectFailuresAreReportedWithNonZero) {
    firebird_test::TOwnDatabase db;
    TTempFolder folder;
    struct TCase {
        std::string ConnectString;
        std::string Text;
    };
    const TCase cases[] = {
        {ConnectString(db.DatabaseString(), "wrong password"),
         "Your user name and password are not defined"},
        {ConnectString(firebird_test::DatabaseString(folder.Str() + "/missing.fdb")),
         "I/O error during \"open\" operation for file"},
        {ConnectString(db.DatabaseString(), firebird_test::SysdbaPassword,
                       "/nonexistent/libfbclient.so.2"),
         "Cannot load the client library \"/nonexistent/libfbclient.so.2\": "},
        {"db_name=" + db.DatabaseString(), "Malformed connect string: "},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.ConnectString);
        TEngine engine;
        EXPECT_NE(engine.Connect(c.ConnectString), 0);
        ASSERT_EQ(Recorded.ConnectErrors.size(), 1u);
        EXPECT_NE(Recorded.ConnectErrors[0].find(c.Text), std::string::npos)
            << Recorded.ConnectErrors[0];
        // A script after a failed Connect runs nothing.
        EXPECT_NE(engine.ExecText("CREATE TABLE H (X INTEGER);"), 0);
        EXPECT_EQ(Recorded.StatementErrors.size(), 1u);
    }
    EXPECT_EQ(TableCount(db.DatabaseString(), "H"), "0");
    EXPECT_EQ(firebird_test::AttachmentCount(db.DatabaseString()), 0);
}

// The client library called directly: what the server says a statement is, for comparing it with
// the kind the engine takes from the statement's words.
class TServerTypes {
public:
    explicit TServerTypes(const std::string& database)
        : Library_(platform::TDynamicLibrary::Load("fbclient.dll")) {
        std::string dpb(1, char(isc_dpb_version1));
        const std::string password = firebird_test::SysdbaPassword;
        dpb += std::string{char(isc_dpb_user_name), 6} + "SYSDBA";
        dpb += std::string{char(isc_dpb_password), char(password.size())} + password;
        dpb += std::string{char(isc_dpb_lc_ctype), 7} + "win1251";
        EXPECT_EQ(Get<decltype(&isc_attach_database)>("isc_attach_database")(
                      Status_, 0, database.c_str(), &Database_, short(dpb.size()), dpb.data()),
                  0);
        EXPECT_EQ(Get<decltype(&isc_start_transaction)>("isc_start_transaction")(
                      Status_, &Transaction_, short{1}, &Database_, short{0}, nullptr),
                  0);
    }
    ~TServerTypes() {
        Get<decltype(&isc_rollback_transaction)>("isc_rollback_transaction")(Status_,
                                                                             &Transaction_);
        Get<decltype(&isc_detach_database)>("isc_detach_database")(Status_, &Database_);
    }

    // isc_info_sql_stmt_type of `sql` prepared in dialect 3; -1 when the prepare fails.
    int TypeOf(const std::string& sql) {
        isc_stmt_handle statement = 0;
        Get<decltype(&isc_dsql_allocate_statement)>("isc_dsql_allocate_statement")(
            Status_, &Database_, &statement);
        int type = -1;
        if (Get<decltype(&isc_dsql_prepare)>("isc_dsql_prepare")(Status_, &Transaction_, &statement,
                                                                 0, sql.c_str(), 3, nullptr) == 0) {
            const char item = isc_info_sql_stmt_type;
            char reply[16] = {};
            Get<decltype(&isc_dsql_sql_info)>("isc_dsql_sql_info")(Status_, &statement, 1, &item,
                                                                   short(sizeof reply), reply);
            const auto vax = Get<decltype(&isc_vax_integer)>("isc_vax_integer");
            type = int(vax(reply + 3, short(vax(reply + 1, 2))));
        }
        Get<decltype(&isc_dsql_free_statement)>("isc_dsql_free_statement")(Status_, &statement,
                                                                           DSQL_drop);
        return type;
    }

private:
    template <typename F> F Get(const char* name) {
        return reinterpret_cast<F>(Library_.Find(name));
    }

    platform::TDynamicLibrary Library_;
    ISC_STATUS_ARRAY Status_{};
    isc_db_handle Database_ = 0;
    isc_tr_handle Transaction_ = 0;
};

// Where the engine takes a statement's kind from its words instead of asking the server, the
// server, asked, says the same: metadata is isc_info_sql_stmt_ddl, a data change runs in the
// current transaction. The statements left to the server are those it answers otherwise.
TEST(ScriptEngine, TheKindTakenFromTheWordsIsTheServersKind) {
    using script::TServerStatement;
    firebird_test::TOwnDatabase db;
    {
        TEngine engine;
        ASSERT_EQ(engine.Connect(ConnectString(db.DatabaseString())), 0);
        ASSERT_EQ(engine.ExecText("CREATE TABLE K (X INTEGER NOT NULL);\n"
                                  "CREATE INDEX K_X ON K (X);\n"
                                  "CREATE GENERATOR K_G;\n"
                                  "CREATE PROCEDURE K_P AS BEGIN END;\n"),
                  0);
    }
    struct TCase {
        std::string Statement;
        TServerStatement Known;
        int ServerType;
    };
    const TCase cases[] = {
        {"CREATE TABLE K2 (X INTEGER)", TServerStatement::Metadata, isc_info_sql_stmt_ddl},
        {"alter table K add Y integer", TServerStatement::Metadata, isc_info_sql_stmt_ddl},
        {"ALTER TABLE K ALTER COLUMN X POSITION 1", TServerStatement::Metadata,
         isc_info_sql_stmt_ddl},
        {"CREATE UNIQUE INDEX K_U ON K (X)", TServerStatement::Metadata, isc_info_sql_stmt_ddl},
        {"RECREATE VIEW K_V AS SELECT X FROM K", TServerStatement::Metadata, isc_info_sql_stmt_ddl},
        {"CREATE OR ALTER PROCEDURE K_P AS BEGIN END", TServerStatement::Metadata,
         isc_info_sql_stmt_ddl},
        {"ALTER PROCEDURE K_P AS DECLARE V INTEGER; BEGIN V = 1; END", TServerStatement::Metadata,
         isc_info_sql_stmt_ddl},
        {"DROP GENERATOR K_G", TServerStatement::Metadata, isc_info_sql_stmt_ddl},
        {"COMMENT ON TABLE K IS 'k'", TServerStatement::Metadata, isc_info_sql_stmt_ddl},
        {"GRANT SELECT ON K TO PUBLIC", TServerStatement::Metadata, isc_info_sql_stmt_ddl},
        {"REVOKE SELECT ON K FROM PUBLIC", TServerStatement::Metadata, isc_info_sql_stmt_ddl},
        {"SET STATISTICS INDEX K_X", TServerStatement::Metadata, isc_info_sql_stmt_ddl},
        {"DECLARE EXTERNAL FUNCTION K_F INTEGER RETURNS INTEGER BY VALUE ENTRY_POINT 'f' "
         "MODULE_NAME 'm'",
         TServerStatement::Metadata, isc_info_sql_stmt_ddl},
        {"INSERT INTO K VALUES (1)", TServerStatement::DataChange, isc_info_sql_stmt_insert},
        {"UPDATE K SET X = 2 WHERE X = 1", TServerStatement::DataChange, isc_info_sql_stmt_update},
        {"DELETE FROM K WHERE X = 2", TServerStatement::DataChange, isc_info_sql_stmt_delete},
        {"UPDATE OR INSERT INTO K VALUES (3) MATCHING (X)", TServerStatement::DataChange,
         isc_info_sql_stmt_insert},
        {"SET GENERATOR K_G TO 5", TServerStatement::DataChange, isc_info_sql_stmt_set_generator},
        {"INSERT INTO K VALUES (4) RETURNING X", TServerStatement::Unknown,
         isc_info_sql_stmt_exec_procedure},
        {"EXECUTE PROCEDURE K_P", TServerStatement::Unknown, isc_info_sql_stmt_exec_procedure},
        {"SELECT X FROM K", TServerStatement::Unknown, isc_info_sql_stmt_select},
        {"COMMIT RETAIN", TServerStatement::Unknown, isc_info_sql_stmt_commit},
        {"ROLLBACK", TServerStatement::Unknown, isc_info_sql_stmt_rollback},
    };
    TServerTypes server(db.DatabaseString());
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Statement);
        EXPECT_EQ(script::ClassifyServerStatement(c.Statement), c.Known);
        EXPECT_EQ(server.TypeOf(c.Statement), c.ServerType);
    }
}

// isql's report of the failing statement of `input`: the lines after "Statement failed", each
// without its leading "-", up to isql's own note of the line in its input file, joined with CR LF
// as the engine joins them.
std::string IsqlError(const std::string& output) {
    std::istringstream lines(output);
    std::string text;
    bool inside = false;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("Statement failed", 0) == 0) {
            inside = true;
        } else if (inside && (line.rfind("After line", 0) == 0 ||
                              (line.rfind("At line", 0) == 0 &&
                               line.find(" in file ") != std::string::npos))) {
            break;
        } else if (inside) {
            text += (text.empty() ? "" : "\r\n") + line.substr(line.rfind('-', 0) == 0 ? 1 : 0);
        }
    }
    return text;
}

// A failing statement reports the server's text as isql shows it, whether the engine sent it in
// one call (its kind taken from its words) or prepared it first (left to the server), and whether
// it failed when sent or at the commit of its metadata.
TEST(ScriptEngine, AFailingStatementReportsTheTextIsqlShows) {
    firebird_test::TOwnDatabase db;
    {
        TEngine engine;
        ASSERT_EQ(engine.Connect(ConnectString(db.DatabaseString())), 0);
        ASSERT_EQ(engine.ExecText("CREATE TABLE A (X INTEGER);\n"
                                  "INSERT INTO A VALUES (1);\nINSERT INTO A VALUES (1);\n"),
                  0);
    }
    const std::string cases[] = {
        // Metadata in one call: refused when sent, refused at the commit, not understood.
        "CREATE TABLE A (Y INTEGER)",
        "ALTER TABLE A ADD CONSTRAINT PK_A PRIMARY KEY (X)",
        "CREATE TABLE B (X INTEGR)",
        "ALTER TABLE MISSING_TABLE ADD Y INTEGER",
        // Data changes in one call.
        "INSERT INTO MISSING_TABLE VALUES (1)",
        "INSERT INTO A VALUES ('not a number')",
        "UPDATE A SET X = X / 0",
        "SET GENERATOR MISSING_G TO 1",
        // Left to the server: prepared, then executed.
        "SELECT * FROM NOWHERE",
        "EXECUTE PROCEDURE MISSING_P",
        "UPDATE A SET X = 2 RETURNING X",
    };
    TTempFolder folder;
    for (const std::string& statement : cases) {
        SCOPED_TRACE(statement);
        TEngine engine;
        ASSERT_EQ(engine.Connect(ConnectString(db.DatabaseString())), 0);
        EXPECT_NE(engine.ExecText(statement + ";\n"), 0);
        engine.Unload();
        const auto input = folder.MakeFile("failing.sql", statement + ";\n");
        const TCommandResult isql =
            RunCommand("isql-fb -q -ch WIN1251 -user SYSDBA -password '" +
                       std::string(firebird_test::SysdbaPassword) + "' '" + db.DatabaseString() +
                       "' -i '" + input.string() + "'");
        ASSERT_EQ(Recorded.StatementErrors.size(), 1u);
        EXPECT_EQ(Recorded.StatementErrors[0].first, statement);
        EXPECT_FALSE(Recorded.StatementErrors[0].second.empty());
        EXPECT_EQ(Recorded.StatementErrors[0].second, IsqlError(isql.Output)) << isql.Output;
    }
    EXPECT_EQ(One(db.DatabaseString(), "select count(*) || ' ' || sum(X) from A;"), "2 2");
    EXPECT_EQ(TableCount(db.DatabaseString(), "B"), "0");
    EXPECT_EQ(firebird_test::AttachmentCount(db.DatabaseString()), 0);
}

// COMMIT RETAIN and COMMIT WORK RETAIN are the server's, as isql sends them: the server commits
// and the transaction goes on. The same script through isql-fb leaves the same rows.
TEST(ScriptEngine, CommitRetainIsTheServersAndTheTransactionGoesOnAsInIsql) {
    const std::string script = "CREATE TABLE R (X INTEGER);\r\n"
                               "INSERT INTO R VALUES (1);\r\n"
                               "COMMIT RETAIN;\r\n"
                               "INSERT INTO R VALUES (2);\r\n"
                               "commit work retain;\r\n"
                               "INSERT INTO R VALUES (3);\r\n"
                               "ROLLBACK;\r\n"
                               "INSERT INTO R VALUES (4);\r\n";
    firebird_test::TOwnDatabase byEngine;
    firebird_test::TOwnDatabase byIsql;
    {
        TEngine engine;
        ASSERT_EQ(engine.Connect(ConnectString(byEngine.DatabaseString())), 0);
        EXPECT_EQ(engine.ExecText(script), 0);
        EXPECT_TRUE(Recorded.StatementErrors.empty()) << Recorded.StatementErrors[0].second;
    }
    TTempFolder folder;
    const auto input = folder.MakeFile(
        "retain.sql", "CONNECT '" + byIsql.DatabaseString() + "' USER 'SYSDBA' PASSWORD '" +
                          firebird_test::SysdbaPassword + "';\r\n" + script);
    const TCommandResult isql = RunCommand("isql-fb -q -i '" + input.string() + "'");
    EXPECT_EQ(isql.ExitCode, 0) << isql.Output;
    const std::vector<std::string> rows{"1", "2", "4"};
    EXPECT_EQ(Query(byEngine.DatabaseString(), "select X from R order by X;"), rows);
    EXPECT_EQ(Query(byIsql.DatabaseString(), "select X from R order by X;"), rows);

    // What a COMMIT RETAIN committed stays when a later statement fails.
    TEngine engine;
    ASSERT_EQ(engine.Connect(ConnectString(byEngine.DatabaseString())), 0);
    EXPECT_NE(engine.ExecText("INSERT INTO R VALUES (5);\r\nCOMMIT WORK RETAIN;\r\n"
                              "INSERT INTO R VALUES (6);\r\nINSERT INTO MISSING VALUES (7);\r\n"),
              0);
    engine.Unload();
    ASSERT_EQ(Recorded.StatementErrors.size(), 1u);
    EXPECT_EQ(Recorded.StatementErrors[0].first, "INSERT INTO MISSING VALUES (7)");
    EXPECT_EQ(Query(byEngine.DatabaseString(), "select X from R order by X;"),
              (std::vector<std::string>{"1", "2", "4", "5"}));
    EXPECT_EQ(firebird_test::AttachmentCount(byEngine.DatabaseString()), 0);
}

// A failure that escapes the engine's own code (an allocation that fails, thrown here by the
// test build of the engine) never leaves an entry point: it is reported through the entry
// point's error callback, answered with 1, and nothing stays attached or uncommitted.
TEST(ScriptEngine, AFailureEscapingTheEngineIsReportedAndNothingStaysAttached) {
    firebird_test::TOwnDatabase db;
    const std::string escaped = "The engine failed: std::bad_alloc";
    TEngine engine(UPDATER_SCRIPT_ENGINE_FAULTS);
    ASSERT_EQ(engine.Connect(ConnectString(db.DatabaseString())), 0);
    ASSERT_EQ(engine.ExecText("CREATE TABLE F1 (X INTEGER);"), 0);
    ASSERT_EQ(engine.Connect(ConnectString(db.DatabaseString())), 0);
    // Thrown before the second statement, while the first one's transaction is open.
    SetTestVariable("IBESCRIPT_FAULT", "Exec");
    EXPECT_EQ(engine.ExecText("INSERT INTO F1 VALUES (1);\r\nINSERT INTO F1 VALUES (2);\r\n"), 1);
    EXPECT_EQ(Recorded.StatementErrors,
              (std::vector<std::pair<std::string, std::string>>{{"", escaped}}));
    EXPECT_EQ(firebird_test::AttachmentCount(db.DatabaseString()), 0);
    EXPECT_EQ(One(db.DatabaseString(), "select count(*) from F1;"), "0");
    // Thrown after the attach.
    SetTestVariable("IBESCRIPT_FAULT", "Connect");
    EXPECT_EQ(engine.Connect(ConnectString(db.DatabaseString())), 1);
    RemoveTestVariable("IBESCRIPT_FAULT");
    EXPECT_EQ(Recorded.ConnectErrors, std::vector<std::string>{escaped});
    EXPECT_EQ(firebird_test::AttachmentCount(db.DatabaseString()), 0);
}

} // namespace
