// The script commands and the statement kinds, on statement texts as the lexer gives them, and
// the lexer and the commands together as the engine uses them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scriptengine/ScriptCommand.h"
#include "scriptengine/ScriptLexer.h"

namespace {

using namespace script;

// One line per command, so that a table can say what each text stands for.
std::string Describe(const std::optional<TScriptCommand>& command) {
    if (!command) {
        return "none";
    }
    struct TDescribe {
        std::string operator()(const TSetTerm& c) const { return "TERM " + c.Terminator; }
        std::string operator()(const TSetNames& c) const { return "NAMES " + c.CharacterSet; }
        std::string operator()(const TSetSqlDialect& c) const {
            return "DIALECT " + std::to_string(c.Dialect);
        }
        std::string operator()(const TSetAutoDdl& c) const {
            return std::string("AUTODDL ") + (c.On ? "on" : "off");
        }
        std::string operator()(const TReconnect&) const { return "RECONNECT"; }
        std::string operator()(const TCommit&) const { return "COMMIT"; }
    };
    return std::visit(TDescribe{}, *command);
}

struct TCommandCase {
    std::string Statement;
    std::string Expected;
};

class ScriptCommandText : public ::testing::TestWithParam<TCommandCase> {};

TEST_P(ScriptCommandText, StandsForItsCommand) {
    std::string error = "left over";
    const auto command = ParseScriptCommand(GetParam().Statement, &error);
    EXPECT_EQ(Describe(command), GetParam().Expected);
    EXPECT_EQ(error, "");
    EXPECT_EQ(IsScriptCommand(GetParam().Statement), command.has_value());
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(AnyCaseAndSpacing, ScriptCommandText, ::testing::Values(
    TCommandCase{"SET TERM ^ ", "TERM ^"},
    TCommandCase{"set term ; ", "TERM ;"},
    TCommandCase{"Set\r\n  Term\t!! ", "TERM !!"},
    TCommandCase{"SET TERM^", "TERM ^"},
    TCommandCase{"SET /* new one */ TERM ^ -- for the procedures\r\n", "TERM ^"},
    TCommandCase{"SET NAMES WIN1251", "NAMES WIN1251"},
    TCommandCase{"set names\r\nwin1251 ", "NAMES win1251"},
    TCommandCase{"SET SQL DIALECT 3", "DIALECT 3"},
    TCommandCase{"set sql /* ! */ dialect\r\n1", "DIALECT 1"},
    TCommandCase{"SET AUTODDL ON", "AUTODDL on"},
    TCommandCase{"Set AutoDDL off ", "AUTODDL off"},
    TCommandCase{"RECONNECT", "RECONNECT"},
    TCommandCase{"reconnect ", "RECONNECT"},
    TCommandCase{"Commit", "COMMIT"},
    TCommandCase{"commit work", "COMMIT"},
    TCommandCase{"COMMIT\r\n/* end of the group */\r\nWORK -- done", "COMMIT"},
    // Everything else goes to the server.
    TCommandCase{"SET GENERATOR GEN_DOC_ID TO 0", "none"},
    TCommandCase{"SET STATISTICS INDEX PK_DOC", "none"},
    TCommandCase{"set transaction read committed", "none"},
    TCommandCase{"COMMITTED", "none"},
    // The server commits and the transaction goes on, as isql has it.
    TCommandCase{"COMMIT RETAIN", "none"},
    TCommandCase{"commit work retain", "none"},
    TCommandCase{"COMMIT /* keep it */ WORK\r\nRETAIN SNAPSHOT", "none"},
    TCommandCase{"SETTERM ^", "none"},
    TCommandCase{"update RECONNECT_LOG set N = 0", "none"},
    TCommandCase{"execute procedure Check_Versio(4)", "none"},
    TCommandCase{"/* SET TERM ^ */ select 1 from RDB$DATABASE", "none"},
    TCommandCase{"'COMMIT'", "none"}
));
// clang-format on

struct TMalformedCase {
    std::string Statement;
    std::string Reason;
};

class MalformedScriptCommand : public ::testing::TestWithParam<TMalformedCase> {};

TEST_P(MalformedScriptCommand, IsACommandWithAReasonAndNoValue) {
    std::string error;
    EXPECT_FALSE(ParseScriptCommand(GetParam().Statement, &error).has_value());
    EXPECT_EQ(error, GetParam().Reason);
    EXPECT_TRUE(IsScriptCommand(GetParam().Statement));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Commands, MalformedScriptCommand, ::testing::Values(
    // "SET TERM ; ^" read while ";" is in force: the lexer ends it before the new terminator.
    TMalformedCase{"SET TERM ", "SET TERM without a new terminator"},
    TMalformedCase{"SET TERM /* only a comment */", "SET TERM without a new terminator"},
    TMalformedCase{"SET TERM ^ ;", "SET TERM with more than one word after TERM"},
    TMalformedCase{"SET NAMES", "SET NAMES without a character set name"},
    TMalformedCase{"SET NAMES WIN1251 UTF8", "SET NAMES with more than one character set name"},
    TMalformedCase{"SET SQL DIALECTS 3", "SET SQL not followed by DIALECT"},
    TMalformedCase{"SET SQL DIALECT three", "SET SQL DIALECT not followed by 1, 2 or 3 alone"},
    TMalformedCase{"SET SQL DIALECT 4", "SET SQL DIALECT not followed by 1, 2 or 3 alone"},
    TMalformedCase{"SET AUTODDL", "SET AUTODDL not followed by ON or OFF alone"},
    TMalformedCase{"SET AUTODDL YES", "SET AUTODDL not followed by ON or OFF alone"},
    TMalformedCase{"RECONNECT NOW", "RECONNECT followed by more words"}
));
// clang-format on

struct TKindCase {
    std::string Statement;
    std::string Kind;
};

class StatementKindOf : public ::testing::TestWithParam<TKindCase> {};

TEST_P(StatementKindOf, RealStatements) {
    EXPECT_EQ(StatementKind(GetParam().Statement), GetParam().Kind);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Release4Script, StatementKindOf, ::testing::Values(
    TKindCase{"SET TERM ^ ", "SET TERM"},
    TKindCase{"set names WIN1251", "SET NAMES"},
    TKindCase{"SET SQL DIALECT 3", "SET SQL DIALECT"},
    TKindCase{"SET AUTODDL ON", "SET AUTODDL"},
    TKindCase{"reconnect", "RECONNECT"},
    TKindCase{"commit work", "COMMIT"},
    TKindCase{"/* version */ execute procedure Check_Versio(4)", "EXECUTE PROCEDURE"},
    TKindCase{"CREATE TABLE DOC_KIND (\r\n  ID INTEGER NOT NULL,\r\n  NAME VARCHAR(40))",
              "CREATE TABLE"},
    TKindCase{"ALTER TABLE DOC ADD KIND_ID INTEGER DEFAULT 0 NOT NULL", "ALTER TABLE ADD"},
    TKindCase{"ALTER TABLE DOC DROP OLD_NOTE", "ALTER TABLE DROP"},
    TKindCase{"ALTER TABLE DOC ALTER COLUMN NOTE TYPE VARCHAR(200)",
              "ALTER TABLE ALTER COLUMN TYPE"},
    TKindCase{"alter table DOC alter NOTE set default ''", "ALTER TABLE ALTER COLUMN SET DEFAULT"},
    TKindCase{"ALTER TABLE DOC ALTER COLUMN NOTE POSITION 3", "ALTER TABLE ALTER COLUMN POSITION"},
    TKindCase{"ALTER TABLE DOC ADD CONSTRAINT PK_DOC PRIMARY KEY (ID)",
              "ALTER TABLE ADD CONSTRAINT"},
    TKindCase{"ALTER TABLE DOC ADD CHECK (SUMMA >= 0)", "ALTER TABLE ADD CONSTRAINT"},
    TKindCase{"ALTER TABLE \"Doc\" DROP CONSTRAINT FK_DOC_KIND", "ALTER TABLE DROP CONSTRAINT"},
    TKindCase{"DROP TABLE OLD_DOC", "DROP TABLE"},
    TKindCase{"CREATE PROCEDURE P_NEW (A INTEGER)\r\nAS\r\nBEGIN EXIT; END\r\n",
              "CREATE PROCEDURE"},
    TKindCase{"ALTER PROCEDURE P_SUM\r\nAS\r\nBEGIN EXIT; END\r\n", "ALTER PROCEDURE"},
    TKindCase{"DROP PROCEDURE P_OLD", "DROP PROCEDURE"},
    TKindCase{"CREATE TRIGGER DOC_BI FOR DOC\r\nACTIVE BEFORE INSERT POSITION 0\r\nAS\r\n"
              "BEGIN NEW.ID = GEN_ID(GEN_DOC_ID, 1); END\r\n", "CREATE TRIGGER"},
    TKindCase{"ALTER TRIGGER DOC_BI\r\nACTIVE BEFORE INSERT OR UPDATE POSITION 0\r\nAS\r\n"
              "DECLARE VARIABLE X INTEGER;\r\nBEGIN X = 0; END\r\n", "ALTER TRIGGER"},
    TKindCase{"ALTER TRIGGER DOC_BI INACTIVE", "ALTER TRIGGER ACTIVE/INACTIVE"},
    TKindCase{"alter trigger DOC_BU active", "ALTER TRIGGER ACTIVE/INACTIVE"},
    TKindCase{"DROP TRIGGER DOC_AD", "DROP TRIGGER"},
    TKindCase{"CREATE GENERATOR GEN_DOC_ID", "CREATE GENERATOR"},
    TKindCase{"DROP GENERATOR GEN_OLD", "DROP GENERATOR"},
    TKindCase{"SET GENERATOR GEN_DOC_ID TO 1000", "SET GENERATOR"},
    TKindCase{"DROP EXTERNAL FUNCTION UDF_INTEGER_IN_WORDS", "DROP EXTERNAL FUNCTION"},
    TKindCase{"DECLARE EXTERNAL FUNCTION UDF_INTEGER_IN_WORDS\r\nINTEGER, INTEGER\r\n"
              "RETURNS CSTRING(100) FREE_IT\r\nENTRY_POINT 'UDF_Integer_In_Words' "
              "MODULE_NAME 'quv_udf.DLL'", "DECLARE EXTERNAL FUNCTION"},
    TKindCase{"COMMENT ON PROCEDURE P_NEW IS '\xCD\xEE\xE2\xE0\xFF'", "COMMENT ON PROCEDURE"},
    TKindCase{"COMMENT ON COLUMN DOC.KIND_ID IS 'Kind'", "COMMENT ON COLUMN"},
    TKindCase{"COMMENT ON TABLE DOC_KIND IS 'Kinds'", "COMMENT ON TABLE"},
    TKindCase{"COMMENT ON EXTERNAL FUNCTION UDF_INTEGER_IN_WORDS IS 'Words'",
              "COMMENT ON EXTERNAL FUNCTION"},
    TKindCase{"ALTER INDEX IX_DOC_DATE ACTIVE", "ALTER INDEX"},
    TKindCase{"SET STATISTICS INDEX PK_DOC", "SET STATISTICS INDEX"},
    TKindCase{"GRANT SELECT, UPDATE (NOTE) ON DOC TO \"1C\"", "GRANT"},
    TKindCase{"REVOKE ALL ON DOC FROM PUBLIC", "REVOKE"},
    TKindCase{"INSERT INTO DOC_KIND (ID, NAME) VALUES (1, 'It''s')", "INSERT"},
    TKindCase{"update Attrs set Versio = 4", "UPDATE"},
    TKindCase{"UPDATE RDB$RELATION_FIELDS SET RDB$NULL_FLAG = 1\r\n"
              "WHERE RDB$FIELD_NAME = 'KIND_ID'", "UPDATE (system table)"},
    TKindCase{"update rdb$procedures set rdb$procedure_source = null", "UPDATE (system table)"},
    TKindCase{"DELETE FROM DOC WHERE ID < 0", "DELETE"},
    TKindCase{"CREATE VIEW V AS SELECT 1 FROM RDB$DATABASE", "other"},
    TKindCase{"ALTER TABLE DOC ALTER COLUMN NOTE SET NOT NULL",
              "ALTER TABLE ALTER COLUMN SET NOT NULL"},
    TKindCase{"ALTER TABLE DOC ALTER NOTE TO REMARK", "other"},
    TKindCase{"-- nothing but a comment\r\n", "other"}
));
// clang-format on

struct TServerStatementCase {
    std::string Statement;
    TServerStatement Known;
};

class ServerStatementOf : public ::testing::TestWithParam<TServerStatementCase> {};

TEST_P(ServerStatementOf, IsKnownOnlyWhereTheWordsTellIt) {
    EXPECT_EQ(ClassifyServerStatement(GetParam().Statement), GetParam().Known);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Release4Script, ServerStatementOf, ::testing::Values(
    TServerStatementCase{"CREATE TABLE DOC_KIND (\r\n  ID INTEGER NOT NULL)", TServerStatement::Metadata},
    TServerStatementCase{"/* Alter */ alter table DOC add KIND_ID integer", TServerStatement::Metadata},
    TServerStatementCase{"ALTER PROCEDURE P_SUM\r\nAS\r\nBEGIN EXIT; END\r\n", TServerStatement::Metadata},
    TServerStatementCase{"CREATE OR ALTER TRIGGER DOC_BI FOR DOC AS BEGIN END", TServerStatement::Metadata},
    TServerStatementCase{"RECREATE VIEW V AS SELECT 1 FROM RDB$DATABASE", TServerStatement::Metadata},
    TServerStatementCase{"CREATE UNIQUE DESC INDEX IX ON DOC (ID)", TServerStatement::Metadata},
    TServerStatementCase{"DROP EXTERNAL FUNCTION UDF_INTEGER_IN_WORDS", TServerStatement::Metadata},
    TServerStatementCase{"DECLARE EXTERNAL FUNCTION F INTEGER RETURNS INTEGER BY VALUE "
                         "ENTRY_POINT 'f' MODULE_NAME 'm'", TServerStatement::Metadata},
    TServerStatementCase{"COMMENT ON COLUMN DOC.KIND_ID IS 'Kind; -- x'", TServerStatement::Metadata},
    TServerStatementCase{"GRANT EXECUTE ON PROCEDURE P_1 TO \"1C\"", TServerStatement::Metadata},
    TServerStatementCase{"revoke all on DOC from PUBLIC", TServerStatement::Metadata},
    TServerStatementCase{"SET STATISTICS INDEX PK_DOC", TServerStatement::Metadata},
    TServerStatementCase{"INSERT INTO DOC_KIND (ID, NAME) VALUES (1, 'returning')", TServerStatement::DataChange},
    TServerStatementCase{"update Attrs set Versio = 4", TServerStatement::DataChange},
    TServerStatementCase{"DELETE FROM DOC /* returning */ WHERE ID < 0", TServerStatement::DataChange},
    TServerStatementCase{"UPDATE OR INSERT INTO DOC (ID) VALUES (1) MATCHING (ID)", TServerStatement::DataChange},
    TServerStatementCase{"SET GENERATOR GEN_DOC_ID TO 1000", TServerStatement::DataChange},
    TServerStatementCase{"INSERT INTO DOC (ID) VALUES (1) RETURNING ID", TServerStatement::Unknown},
    TServerStatementCase{"update DOC set ID = 2 returning old.ID", TServerStatement::Unknown},
    TServerStatementCase{"/* version */ execute procedure Check_Versio(4)", TServerStatement::Unknown},
    TServerStatementCase{"SELECT * FROM DOC", TServerStatement::Unknown},
    TServerStatementCase{"EXECUTE BLOCK AS BEGIN END", TServerStatement::Unknown},
    TServerStatementCase{"COMMIT RETAIN", TServerStatement::Unknown},
    TServerStatementCase{"ROLLBACK", TServerStatement::Unknown},
    TServerStatementCase{"SET TRANSACTION READ COMMITTED", TServerStatement::Unknown},
    TServerStatementCase{"CREATE DATABASE 'x.fdb'", TServerStatement::Unknown},
    TServerStatementCase{"ALTER SESSION RESET", TServerStatement::Unknown},
    TServerStatementCase{"ALTER EXTERNAL CONNECTIONS POOL CLEAR ALL", TServerStatement::Unknown},
    TServerStatementCase{"CREATE OR REPLACE TABLE T (X INTEGER)", TServerStatement::Unknown},
    TServerStatementCase{"-- nothing but a comment\r\n", TServerStatement::Unknown}
));
// clang-format on

// The statements and commands in order, with SET TERM applied the way the engine applies it.
std::vector<std::string> RunLikeTheEngine(std::string_view script) {
    TScriptLexer lexer(script);
    std::vector<std::string> texts;
    for (;;) {
        const auto result = lexer.NextStatement();
        const auto* statement = std::get_if<TPiece>(&result);
        if (statement == nullptr) {
            if (std::holds_alternative<TIncomplete>(result)) {
                texts.push_back("incomplete");
            }
            return texts;
        }
        const auto command = ParseScriptCommand(statement->Text);
        if (command && std::holds_alternative<TSetTerm>(*command)) {
            lexer.SetTerminator(std::get<TSetTerm>(*command).Terminator);
        }
        texts.emplace_back(statement->Text);
    }
}

TEST(ScriptCommandsWithTheLexer, SetTermBlocksEndDefinitionsAtTheCaret) {
    const std::string script = "SET TERM ^ ;\r\n"
                               "CREATE PROCEDURE P_EMPTY\r\nAS\r\nBEGIN EXIT; END\r\n^\r\n"
                               "SET TERM ; ^\r\n"
                               "commit;\r\n"
                               "set term !! ;\r\n"
                               "ALTER TRIGGER DOC_BI AS BEGIN NEW.ID = 1; END!!\r\n"
                               "SET   TERM ;!!\r\n"
                               "commit;";
    const std::vector<std::string> expected{
        "SET TERM ^ ",  "CREATE PROCEDURE P_EMPTY\r\nAS\r\nBEGIN EXIT; END\r\n",
        "SET TERM ; ",  "commit",
        "set term !! ", "ALTER TRIGGER DOC_BI AS BEGIN NEW.ID = 1; END",
        "SET   TERM ;", "commit"};
    EXPECT_EQ(RunLikeTheEngine(script), expected);
}

TEST(ScriptCommandsWithTheLexer, ABlockLeftOpenRunsToTheEndAsOneIncompleteStatement) {
    const std::vector<std::string> expected{"SET TERM ^ ", "incomplete"};
    EXPECT_EQ(RunLikeTheEngine("SET TERM ^ ;\r\nALTER PROCEDURE P AS BEGIN EXIT; END;\r\n"),
              expected);
}

TEST(ScriptCommandsWithTheLexer, TheVersionCheckAfterSectionAndMarkerCommentsKeepsItsText) {
    const std::string script = "/* Prologue */\r\nSET NAMES WIN1251;\r\nSET SQL DIALECT 3;\r\n"
                               "SET AUTODDL ON;\r\nRECONNECT;\r\n/* Check version */\r\n"
                               "/*>>>*/\r\n-- release 4\r\nexecute procedure Check_Versio(4);\r\n";
    const auto statements = RunLikeTheEngine(script);
    ASSERT_EQ(statements.size(), 5u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_TRUE(IsScriptCommand(statements[i])) << statements[i];
    }
    EXPECT_EQ(statements[4].rfind("execute procedure Check_Versio(", 0), 0u);
    EXPECT_FALSE(IsScriptCommand(statements[4]));
}

} // namespace
