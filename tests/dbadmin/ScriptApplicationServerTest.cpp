// The update script applied as the update applies it, through the project's engine, to real
// databases of the private server: the sample release-3 database reaches release 4 and its
// function answers, a second run stops at the version check with the hint, a failing statement
// leaves the database as the transaction rules say, and nothing stays attached.
#include "dbadmin/ScriptApplication.h"

#include "platform/Failure.h"
#include "tests/firebird/OwnDatabase.h"
#include "tests/support/FailureText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

namespace {


class TPane : public TScriptLogPane {
public:
    std::vector<std::string> Lines;
    void LogClear() override { Lines.clear(); }
    void LogAppend(const std::string& line) override { Lines.push_back(line); }
    void ProcessEvents() override {}
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class ScriptApplicationServer : public ::testing::Test {
protected:
    void SetUp() override { SetScriptEngineLibrary(UPDATER_SCRIPT_ENGINE); }
    void TearDown() override { SetScriptEngineLibrary("IBEScript.dll"); }

    std::string Apply(const firebird_test::TOwnDatabase& database, const std::string& script,
                      const std::string& password = firebird_test::SysdbaPassword) {
        return FailureText<EFailure>([&] {
            ApplyScriptText("fbclient.dll", database.DatabaseString(), "SYSDBA", password, "",
                            script, &Pane);
        });
    }

    TPane Pane;
};

TEST_F(ScriptApplicationServer, SampleUpdateReachesReleaseFourOnceAndThenStopsAtTheVersionCheck) {
    firebird_test::TOwnDatabase database;
    ASSERT_EQ(
        std::system(("bash '" UPDATER_MAKE_RELEASE3 "' --existing '" + database.DatabaseString() +
                     "' '" + firebird_test::SysdbaPassword + "' >/dev/null")
                        .c_str()),
        0);
    firebird_test::InstallFunctionLibrary(UPDATER_QUV_UDF);
    const std::string script = ReadFile(UPDATER_PAYLOAD_SCRIPT);

    EXPECT_EQ(Apply(database, script), "<no failure>");
    EXPECT_EQ(firebird_test::Query(database.DatabaseString(), "select Versio from Attrs;"), "4\n");
    EXPECT_EQ(firebird_test::Query(database.DatabaseString(),
                                   "select UDF_INTEGER_IN_WORDS(1234, 0) from rdb$database;"),
              "одна тысяча двести тридцать четыре\n");
    ASSERT_GE(Pane.Lines.size(), 2u);
    EXPECT_EQ(firebird_test::AttachmentCount(database.DatabaseString()), 0);

    const std::string again = Apply(database, script);
    EXPECT_EQ(again.rfind("Ошибка применения скрипта!\r\rВероятно, имеет место несоответствие "
                          "между версией обновления и версией обновляемой базы данных!\r\r"
                          "------- STATEMENT --------\r",
                          0),
              0u)
        << again;
    EXPECT_NE(again.find("execute procedure Check_Versio(4)"), std::string::npos);
    EXPECT_EQ(firebird_test::Query(database.DatabaseString(), "select Versio from Attrs;"), "4\n");
    EXPECT_EQ(firebird_test::AttachmentCount(database.DatabaseString()), 0);
}

TEST_F(ScriptApplicationServer, FailingStatementKeepsTheCommittedAndDropsTheRest) {
    firebird_test::TOwnDatabase database;
    const std::string failure =
        Apply(database, "SET AUTODDL ON;\r\ncreate table T1 (A integer);\r\n"
                        "insert into T1 values (1);\r\ncommit;\r\ninsert into T1 values (2);\r\n"
                        "insert into T1 values ('x');\r\ninsert into T1 values (3);\r\n");
    EXPECT_EQ(failure.rfind("Ошибка применения скрипта!\r------- STATEMENT --------\r"
                            "insert into T1 values ('x')\r-------   ERROR   --------\r",
                            0),
              0u)
        << failure;
    EXPECT_EQ(firebird_test::Query(database.DatabaseString(), "select A from T1 order by A;"),
              "1\n");
    // The pane shows the failing statement's block as the failure text carries it.
    const auto block =
        std::find(Pane.Lines.begin(), Pane.Lines.end(), "------- STATEMENT --------");
    ASSERT_NE(block, Pane.Lines.end());
    EXPECT_EQ(*(block + 1), "insert into T1 values ('x')");
    EXPECT_EQ(firebird_test::AttachmentCount(database.DatabaseString()), 0);
}

TEST_F(ScriptApplicationServer, RefusedConnectionNamesTheServersReason) {
    firebird_test::TOwnDatabase database;
    const std::string failure = Apply(database, "commit;", "wrong");
    EXPECT_EQ(failure.rfind("Ошибка подключения к базе данных!\r", 0), 0u) << failure;
    EXPECT_NE(failure.find("Your user name and password are not defined"), std::string::npos)
        << failure;
    EXPECT_EQ(firebird_test::AttachmentCount(database.DatabaseString()), 0);
}

} // namespace
