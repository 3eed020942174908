// The release engineer's script tool, run for real on small script files: the statements it
// prints, the kinds and problems the check reports, its exit codes.
#include <gtest/gtest.h>

#include "tests/support/Command.h"
#include "tests/support/TempFolder.h"
#include "tools/script/ScriptTool.h"

namespace {

// `updater-script ARGUMENTS`; stderr joins stdout only when asked, so that stdout can be compared
// whole.
TCommandResult RunTool(const std::string& arguments, bool withErrors = false) {
    return RunCommand(std::string("'") + UPDATER_SCRIPT_TOOL + "' " + arguments, withErrors);
}

const std::string kPrologue = "/* Server version: WI-T6.3.0.12654 Firebird 2.0 */\r\n"
                              "SET NAMES WIN1251;\r\nSET SQL DIALECT 3;\r\nSET AUTODDL ON;\r\n"
                              "RECONNECT;\r\n\r\n/* Check version */\r\n"
                              "execute procedure Check_Versio(4);\r\ncommit;\r\n";

class ScriptTool : public ::testing::Test {
protected:
    std::string Script(const std::string& content) {
        return "'" + Temp.MakeFile("script" + std::to_string(++Count) + ".sql", content).string() +
               "'";
    }

    TTempFolder Temp;
    int Count = 0;
};

TEST_F(ScriptTool, SplitPrintsWhatTheEngineRunsAsUtf8Json) {
    const std::string script = kPrologue +
                               "SET TERM ^ ;\r\n"
                               "CREATE PROCEDURE P_EMPTY\r\nAS\r\nBEGIN EXIT; END\r\n^\r\n"
                               "SET TERM ; ^\r\n"
                               "/* Reference data */\r\n"
                               "insert into MSG values ('\xC4\xE0; \"\x98\" -- \\ \x01\t');  \r\n"
                               "GRANT SELECT ON MSG TO \"1C\";\r\n"
                               "Commit Work;\r\n-- end\r\n\r\n";
    const auto result = RunTool("split " + Script(script));
    EXPECT_EQ(result.ExitCode, 0);
    EXPECT_EQ(result.Output,
              "[\n"
              "{\"text\": \"SET NAMES WIN1251\", \"command\": true},\n"
              "{\"text\": \"SET SQL DIALECT 3\", \"command\": true},\n"
              "{\"text\": \"SET AUTODDL ON\", \"command\": true},\n"
              "{\"text\": \"RECONNECT\", \"command\": true},\n"
              "{\"text\": \"execute procedure Check_Versio(4)\", \"command\": false},\n"
              "{\"text\": \"commit\", \"command\": true},\n"
              "{\"text\": \"SET TERM ^ \", \"command\": true},\n"
              "{\"text\": \"CREATE PROCEDURE P_EMPTY\\r\\nAS\\r\\nBEGIN EXIT; END\\r\\n\", "
              "\"command\": false},\n"
              "{\"text\": \"SET TERM ; \", \"command\": true},\n"
              "{\"text\": \"insert into MSG values ('Да; \\\"\xEF\xBF\xBD\\\" -- \\\\ "
              "\\u0001\\t')\", \"command\": false},\n"
              "{\"text\": \"GRANT SELECT ON MSG TO \\\"1C\\\"\", \"command\": false},\n"
              "{\"text\": \"Commit Work\", \"command\": true}\n"
              "]\n");
}

TEST_F(ScriptTool, SplitReadsTheCharacterSetGiven) {
    // "Да" in KOI8-R.
    const auto result =
        RunTool("split --charset KOI8R " + Script("commit; -- \xE4\xC1\r\n"
                                                  "insert into T values ('\xE4\xC1');"));
    EXPECT_EQ(result.ExitCode, 0);
    EXPECT_EQ(result.Output,
              "[\n{\"text\": \"commit\", \"command\": true},\n"
              "{\"text\": \"insert into T values ('Да')\", \"command\": false}\n]\n");
}

TEST_F(ScriptTool, SplitOfAnUnfinishedScriptPrintsWhatIsCompleteAndFails) {
    const auto file =
        Script("commit;\r\nSET TERM ^ ;\r\nALTER PROCEDURE P AS BEGIN EXIT; END;\r\n");
    const auto result = RunTool("split " + file);
    EXPECT_EQ(result.ExitCode, 1);
    EXPECT_EQ(result.Output, "[\n{\"text\": \"commit\", \"command\": true},\n"
                             "{\"text\": \"SET TERM ^ \", \"command\": true}\n]\n");
    EXPECT_NE(RunTool("split " + file, true).Output.find("line 3: the script ends inside"),
              std::string::npos);
}

TEST_F(ScriptTool, CheckCountsTheKindsOfAScriptWithoutProblems) {
    const std::string script = kPrologue + "SET TERM ^ ;\r\n"
                                           "ALTER PROCEDURE P1 AS BEGIN EXIT; END^\r\n"
                                           "ALTER PROCEDURE P2 AS BEGIN EXIT; END^\r\n"
                                           "SET TERM ; ^\r\n"
                                           "SET GENERATOR GEN_DOC TO 10;\r\n"
                                           "update Attrs set Versio = 4;\r\n"
                                           "commit;\r\n/* the end */\r\n\r\n";
    const auto result = RunTool("check " + Script(script), true);
    EXPECT_EQ(result.ExitCode, 0) << result.Output;
    EXPECT_EQ(result.Output, "statements: 13\n"
                             "  SET NAMES: 1\n"
                             "  SET SQL DIALECT: 1\n"
                             "  SET AUTODDL: 1\n"
                             "  RECONNECT: 1\n"
                             "  EXECUTE PROCEDURE: 1\n"
                             "  COMMIT: 2\n"
                             "  SET TERM: 2\n"
                             "  ALTER PROCEDURE: 2\n"
                             "  SET GENERATOR: 1\n"
                             "  UPDATE: 1\n"
                             "problems: 0\n");
}

struct TProblemCase {
    const char* Name;
    std::string Script;
    std::string Problem;
};

class ScriptCheck : public ScriptTool, public ::testing::WithParamInterface<TProblemCase> {};

TEST_P(ScriptCheck, ReportsTheProblemAndFails) {
    const auto result = RunTool("check " + Script(GetParam().Script), true);
    EXPECT_EQ(result.ExitCode, 1);
    EXPECT_NE(result.Output.find("\n  " + GetParam().Problem + "\n"), std::string::npos)
        << result.Output;
    EXPECT_NE(result.Output.find("problems: 1\n"), std::string::npos) << result.Output;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Problems, ScriptCheck, ::testing::Values(
    TProblemCase{"UnclosedLiteral",
        kPrologue + "insert into T values ('a;\r\nb);\r\ncommit;\r\n",
        "line 10: a string literal opened at line 10 is never closed"},
    TProblemCase{"UnclosedComment",
        kPrologue + "commit;\r\n/* the end\r\n",
        "line 11: a comment opened at line 11 is never closed"},
    TProblemCase{"UnclosedIdentifier",
        kPrologue + "GRANT ALL ON T TO \"1C;\r\ncommit;\r\n",
        "line 10: a delimited identifier opened at line 10 is never closed"},
    TProblemCase{"StatementWithoutTerminator",
        kPrologue + "SET TERM ^ ;\r\nCREATE PROCEDURE P AS BEGIN EXIT; END^\r\n"
                    "SET TERM ; ^\r\ncommit;\r\nupdate Attrs set Versio = 4\r\n",
        "line 14: the statement that begins at line 14 has no terminator \";\""},
    TProblemCase{"ZeroByte",
        kPrologue + std::string("commit;\0\r\n", 10),
        "line 10: a zero byte at offset 196; the updater would cut the script there"},
    TProblemCase{"NoVersionCheck",
        "SET NAMES WIN1251;\r\nSET SQL DIALECT 3;\r\nCREATE TABLE T (A INTEGER);\r\ncommit;\r\n",
        "line 3: the first statement after the prologue is not the version check "
        "\"execute procedure Check_Versio(...)\": CREATE TABLE T (A INTEGER)"},
    TProblemCase{"VersionCheckOfAnotherName",
        "SET NAMES WIN1251;\r\nexecute procedure Check_Version(4);\r\ncommit;\r\n",
        "line 2: the first statement after the prologue is not the version check "
        "\"execute procedure Check_Versio(...)\": execute procedure Check_Version(4)"},
    TProblemCase{"StatementAfterTheLastCommit",
        kPrologue + "update Attrs set Versio = 4;\r\n",
        "line 10: a statement after the last COMMIT (line 9): update Attrs set Versio = 4"},
    TProblemCase{"NoCommit",
        "SET NAMES WIN1251;\r\nEXECUTE PROCEDURE CHECK_VERSIO(4);\r\n",
        "no COMMIT: nothing the script does would be kept"},
    TProblemCase{"MalformedCommand",
        kPrologue + "SET AUTODDL;\r\ncommit;\r\n",
        "line 10: SET AUTODDL not followed by ON or OFF alone"}
), [](const auto& info) { return info.param.Name; });
// clang-format on

TEST_F(ScriptTool, UsageAndInputErrorsEndWithTwo) {
    const std::string good = Script(kPrologue);
    for (const auto& [arguments, message] : std::vector<std::pair<std::string, std::string>>{
             {"", "usage: updater-script split|check FILE"},
             {"count " + good, "usage: updater-script split|check FILE"},
             {"check", "usage: updater-script split|check FILE"},
             {"check " + good + " " + good, "more than one script named"},
             {"split " + good + " --charset", "--charset needs a character set name"},
             {"split " + good + " --charset NO-SUCH-SET", "unknown character set NO-SUCH-SET"},
             {"split --verbose " + good, "unknown option --verbose"},
             {"check '" + (Temp.Path() / "missing.sql").string() + "'",
              "missing.sql: No such file or directory"}}) {
        const auto result = RunTool(arguments, true);
        EXPECT_EQ(result.ExitCode, 2) << arguments;
        EXPECT_NE(result.Output.find(message), std::string::npos) << result.Output;
    }
}

TEST(ScriptToolText, JsonEscapesEveryControlCharacter) {
    std::string all;
    for (int c = 0; c < 0x20; ++c) {
        all += static_cast<char>(c);
    }
    const std::string json = JsonString(all + "\"\\/\x7F");
    EXPECT_EQ(json, "\"\\u0000\\u0001\\u0002\\u0003\\u0004\\u0005\\u0006\\u0007\\b\\t\\n\\u000b"
                    "\\f\\r\\u000e\\u000f\\u0010\\u0011\\u0012\\u0013\\u0014\\u0015\\u0016\\u0017"
                    "\\u0018\\u0019\\u001a\\u001b\\u001c\\u001d\\u001e\\u001f\\\"\\\\/\\u007f\"");
}

TEST(ScriptToolText, AnUndefinedByteIsMarkedAndTheRestConverted) {
    TTextConverter windows1251("WIN1251");
    EXPECT_EQ(windows1251.ToUtf8("\x98\xC0\x98\x98z"),
              "\xEF\xBF\xBD\xD0\x90\xEF\xBF\xBD\xEF\xBF\xBDz");
    TTextConverter utf8("UTF8");
    EXPECT_EQ(utf8.ToUtf8("\xD0\x90\xD0"), "\xD0\x90\xEF\xBF\xBD");
}

} // namespace
