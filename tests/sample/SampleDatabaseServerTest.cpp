// The sample database and the release-4 update script on the private server, through isql-fb:
// a release-3 database reaches release 4 with the server-side function answering, and a
// database already at release 4 is stopped by the version check.
#include "tests/firebird/OwnDatabase.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct TRun {
    int Status = -1;
    std::string Output; // both streams, UTF-8
};

// isql's windows-1251 output in UTF-8, for readable expectations.
std::string FromCp1251(const std::string& text) {
    std::string out;
    for (const unsigned char c : text) {
        if (c >= 0xC0) {
            const unsigned code = 0x410 + (c - 0xC0);
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

TRun RunCommand(const std::string& command) {
    TRun run;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        return run;
    }
    char buffer[4096];
    std::size_t read = 0;
    while ((read = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        run.Output.append(buffer, read);
    }
    const int status = pclose(pipe);
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.Output = FromCp1251(run.Output);
    return run;
}

// A query through isql-fb with a windows-1251 connection.
std::string Query(const firebird_test::TOwnDatabase& database, const std::string& sql) {
    TTempFolder folder;
    const std::filesystem::path input = folder.MakeFile("query.sql", sql + "\n");
    return RunCommand(std::string("isql-fb -q -ch WIN1251 -user SYSDBA -password ") +
                      firebird_test::SysdbaPassword + " " + database.DatabaseString() + " -i " +
                      input.string())
        .Output;
}

void MakeRelease3(const firebird_test::TOwnDatabase& database) {
    const TRun made =
        RunCommand(std::string("bash ") + UPDATER_SAMPLE_DIR + "/db/make-release3.sh " +
                   "--existing " + database.DatabaseString() + " " + firebird_test::SysdbaPassword);
    ASSERT_EQ(made.Status, 0) << made.Output;
}

// The isql variant of the release-4 script for `database`, written into `folder`.
std::string IsqlVariant(const firebird_test::TOwnDatabase& database, const TTempFolder& folder) {
    const std::string variant = (folder.Path() / "KormantUpdate4.isql.sql").string();
    const TRun made =
        RunCommand(std::string("bash ") + UPDATER_SAMPLE_DIR + "/script/make-isql-variant.sh " +
                   UPDATER_SAMPLE_SCRIPT + " " + variant + " " + database.DatabaseString() + " " +
                   firebird_test::SysdbaPassword);
    EXPECT_EQ(made.Status, 0) << made.Output;
    return variant;
}

// The server's udf folder is shared by every test: the library arrives under a temporary name
// and is renamed, so that the server never loads a half-written file.
void InstallUdfLibrary() {
    const std::filesystem::path folder = firebird_test::UdfFolder;
    std::filesystem::create_directories(folder);
    const std::filesystem::path temporary =
        folder / (".QUV_UDF.dll." + std::to_string(getpid()) + ".partial");
    std::filesystem::copy_file(UPDATER_QUV_UDF, temporary,
                               std::filesystem::copy_options::overwrite_existing);
    std::filesystem::rename(temporary, folder / "QUV_UDF.dll");
}

TEST(SampleDatabase, Release4ScriptBringsRelease3ToVersio4WithTheFunctionAnswering) {
    InstallUdfLibrary();
    firebird_test::TOwnDatabase database;
    MakeRelease3(database);
    TTempFolder folder;
    const std::string variant = IsqlVariant(database, folder);

    const TRun update = RunCommand("isql-fb -q -i " + variant);
    EXPECT_EQ(update.Status, 0) << update.Output;
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

    const TRun update = RunCommand("isql-fb -q -i " + variant);
    EXPECT_NE(update.Status, 0);
    EXPECT_NE(update.Output.find("Версия базы данных не соответствует обновлению"),
              std::string::npos)
        << update.Output;
    EXPECT_NE(update.Output.find("CHECK_VERSIO"), std::string::npos) << update.Output;
    // Nothing after the version check ran: the release-3 table is still there.
    EXPECT_NE(Query(database, "select 'N=' || count(*) from Import_Log;").find("N=2"),
              std::string::npos);
}

} // namespace
