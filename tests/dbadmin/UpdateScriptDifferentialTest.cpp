// The update script through the project's engine against the same script through isql-fb: two
// release-3 databases, one updated each way, must end with the same metadata and the same data.
// The one known difference is isql's: it drops every CR, also inside a literal, where the engine
// keeps the bytes as written.
#include "dbadmin/ScriptApplication.h"

#include "tests/firebird/OwnDatabase.h"
#include "tests/support/Command.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

// What `command` printed; a failing command fails the test.
std::string RunChecked(const std::string& command) {
    const TCommandResult run = RunCommand(command);
    EXPECT_EQ(run.ExitCode, 0) << command << "\n" << run.Output;
    return run.Output;
}

std::string Credentials() {
    return std::string(" -user SYSDBA -password '") + firebird_test::SysdbaPassword + "' ";
}

void MakeRelease3(const firebird_test::TOwnDatabase& database) {
    RunChecked("bash '" UPDATER_MAKE_RELEASE3 "' --existing '" + database.DatabaseString() + "' '" +
               firebird_test::SysdbaPassword + "'");
}

// The metadata as isql-fb extracts it, without the lines that name the database's own file and
// without CRs, so that both databases compare line by line.
std::string Extract(const firebird_test::TOwnDatabase& database) {
    const std::string extract =
        RunChecked("isql-fb -x -ch UTF8" + Credentials() + "'" + database.DatabaseString() + "'");
    std::string kept;
    std::istringstream lines(extract);
    for (std::string line; std::getline(lines, line);) {
        if (line.find(database.Path()) == std::string::npos) {
            kept += line + "\n";
        }
    }
    kept.erase(std::remove(kept.begin(), kept.end(), '\r'), kept.end());
    return kept;
}

// Every row of every table of the application, in key order. A timestamp written while the
// update ran (a trigger's "updated at") differs between two runs by nature: such values read
// "now", every older one as it is.
std::string Data(const firebird_test::TOwnDatabase& database) {
    const std::string tables = firebird_test::Query(
        database.DatabaseString(), "select trim(rdb$relation_name) from rdb$relations where "
                                   "rdb$system_flag = 0 and rdb$view_blr is null order by 1;");
    std::string data;
    std::istringstream names(tables);
    for (std::string table; std::getline(names, table);) {
        const std::string columns = firebird_test::Query(
            database.DatabaseString(),
            "select iif(f.rdb$field_type = 35, 'iif(\"' || trim(r.rdb$field_name) || '\" >= "
            "current_date, ''now'', cast(\"' || trim(r.rdb$field_name) || '\" as "
            "varchar(30)))', '\"' || trim(r.rdb$field_name) || '\"') from rdb$relation_fields "
            "r join rdb$fields f on f.rdb$field_name = r.rdb$field_source where "
            "r.rdb$relation_name = '" +
                table + "' order by r.rdb$field_position;");
        std::string list;
        std::istringstream lines(columns);
        for (std::string column; std::getline(lines, column);) {
            list += (list.empty() ? "" : ", ") + column;
        }
        data += "== " + table + "\n" +
                firebird_test::Query(database.DatabaseString(),
                                     "select " + list + " from \"" + table + "\" order by 1;");
    }
    return data;
}

TEST(UpdateScriptDifferential, EngineAndIsqlLeaveTheSameDatabase) {
    firebird_test::TOwnDatabase byEngine;
    firebird_test::TOwnDatabase byIsql;
    MakeRelease3(byEngine);
    MakeRelease3(byIsql);
    // A procedure of the update calls the function: the server checks it when the body is stored.
    firebird_test::InstallFunctionLibrary(UPDATER_QUV_UDF);

    SetScriptEngineLibrary(UPDATER_SCRIPT_ENGINE);
    std::ifstream in(UPDATER_PAYLOAD_SCRIPT, std::ios::binary);
    std::stringstream script;
    script << in.rdbuf();
    EXPECT_NO_THROW(ApplyScriptText("fbclient.dll", byEngine.DatabaseString(), "SYSDBA",
                                    firebird_test::SysdbaPassword, "", script.str(), nullptr));
    SetScriptEngineLibrary("IBEScript.dll");

    TTempFolder temp;
    const std::string variant = temp.Str() + "/update.isql.sql";
    RunChecked("bash '" UPDATER_MAKE_ISQL_VARIANT "' '" UPDATER_PAYLOAD_SCRIPT "' '" + variant +
               "' '" + byIsql.DatabaseString() + "' '" + firebird_test::SysdbaPassword + "'");
    RunChecked("isql-fb -q -i '" + variant + "'");

    EXPECT_EQ(Extract(byEngine), Extract(byIsql));
    EXPECT_EQ(Data(byEngine), Data(byIsql));
    EXPECT_EQ(firebird_test::Query(byEngine.DatabaseString(), "select Versio from Attrs;"), "4\n");

    // The literal that runs over several lines keeps its CR LF through the engine only.
    const std::string crlf =
        "select count(*) from rdb$relations where rdb$description containing ascii_char(13) || "
        "ascii_char(10);";
    EXPECT_EQ(firebird_test::Query(byEngine.DatabaseString(), crlf), "1\n");
    EXPECT_EQ(firebird_test::Query(byIsql.DatabaseString(), crlf), "0\n");
}

} // namespace
