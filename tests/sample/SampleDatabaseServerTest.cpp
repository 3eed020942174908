// The sample database and the release-4 update script on the private server, through isql-fb:
// a release-3 database reaches release 4 with the server-side function answering, and a
// database already at release 4 is stopped by the version check.
#include "platform/CodePage.h"
#include "tests/firebird/OwnDatabase.h"
#include "tests/support/Command.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

// Both streams, isql's windows-1251 output in UTF-8 for readable expectations.
TCommandResult RunInUtf8(const std::string& command) {
    TCommandResult run = RunCommand(command);
    run.Output = platform::Cp1251ToUtf8(run.Output);
    return run;
}

// A query through isql-fb with a windows-1251 connection.
std::string Query(const firebird_test::TOwnDatabase& database, const std::string& sql) {
    TTempFolder folder;
    const std::filesystem::path input = folder.MakeFile("query.sql", sql + "\n");
    return RunInUtf8(std::string("isql-fb -q -ch WIN1251 -user SYSDBA -password ") +
                     firebird_test::SysdbaPassword + " " + database.DatabaseString() + " -i " +
                     input.string())
        .Output;
}

void MakeRelease3(const firebird_test::TOwnDatabase& database) {
    const TCommandResult made =
        RunInUtf8(std::string("bash ") + UPDATER_SAMPLE_DIR + "/db/make-release3.sh " +
                  "--existing " + database.DatabaseString() + " " + firebird_test::SysdbaPassword);
    ASSERT_EQ(made.ExitCode, 0) << made.Output;
}

// The isql variant of the release-4 script for `database`, written into `folder`.
std::string IsqlVariant(const firebird_test::TOwnDatabase& database, const TTempFolder& folder) {
    const std::string variant = (folder.Path() / "KormantUpdate4.isql.sql").string();
    const TCommandResult made =
        RunInUtf8(std::string("bash ") + UPDATER_SAMPLE_DIR + "/script/make-isql-variant.sh " +
                  UPDATER_SAMPLE_SCRIPT + " " + variant + " " + database.DatabaseString() + " " +
                  firebird_test::SysdbaPassword);
    EXPECT_EQ(made.ExitCode, 0) << made.Output;
    return variant;
}

TEST(SampleDatabase, Release4ScriptBringsRelease3ToVersio4WithTheFunctionAnswering) {
    firebird_test::InstallFunctionLibrary(UPDATER_QUV_UDF);
    firebird_test::TOwnDatabase database;
    MakeRelease3(database);
    TTempFolder folder;
    const std::string variant = IsqlVariant(database, folder);

    const TCommandResult update = RunInUtf8("isql-fb -q -i " + variant);
    EXPECT_EQ(update.ExitCode, 0) << update.Output;
    EXPECT_EQ(update.Output.find("Statement failed"), std::string::npos) << update.Output;

    const std::string result = Query(database, "select 'V=' || Versio from Attrs;"
                                               "select UDF_INTEGER_IN_WORDS(1234, 0) from "
                                               "rdb$database;");
    EXPECT_NE(result.find("V=4"), std::string::npos) << result;
    EXPECT_NE(result.find("одна тысяча двести тридцать четыре"), std::string::npos) << result;
}

TEST(SampleDatabase, Release4ScriptStopsAtTheVersionCheckOnARelease4Database) {
    firebird_test::TOwnDatabase database;
    MakeRelease3(database);
    Query(database, "update Attrs set Versio = 4; commit;");
    TTempFolder folder;
    const std::string variant = IsqlVariant(database, folder);

    const TCommandResult update = RunInUtf8("isql-fb -q -i " + variant);
    EXPECT_NE(update.ExitCode, 0);
    EXPECT_NE(update.Output.find("Версия базы данных не соответствует обновлению"),
              std::string::npos)
        << update.Output;
    EXPECT_NE(update.Output.find("CHECK_VERSIO"), std::string::npos) << update.Output;
    // Nothing after the version check ran: the release-3 table is still there.
    EXPECT_NE(Query(database, "select 'N=' || count(*) from Import_Log;").find("N=2"),
              std::string::npos);
}

} // namespace
