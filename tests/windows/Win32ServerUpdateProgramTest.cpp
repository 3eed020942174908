// Updater.exe for release 4 as a release engineer makes it (the release tool puts the release-4
// script and a package into a copy of the built program), run as a program of its own on an
// installation with both parts and driven from outside as the operator drives it, against the
// real server: the client calls go through the client bridge, the database is read with isql-fb
// on the Linux side.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "tests/firebird/OwnDatabase.h"
#include "tests/support/Command.h"
#include "tests/support/FirebirdFolderSetting.h"
#include "tests/support/PackageMaker.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TreeSnapshot.h"
#include "tests/update/ServerInstallation.h"
#include "tests/windows/Win32ProgramDriver.h"
#include "tests/windows/Wine.h"
#include "update/UpdateSeams.h"

namespace {

namespace fs = std::filesystem;
using firebird_test::Query;

// The program under test and what lies beside it: this build's, or those named by the
// environment (scripts/windows32-tests.sh runs the 32-bit build's Updater.exe, engine and bridge
// with this 64-bit driver).
std::string Part(const char* variable, const char* built) {
    const char* named = std::getenv(variable);
    return named != nullptr && *named != '\0' ? named : built;
}
const std::string kUpdaterExe = Part("UPDATER_TEST_UPDATER_EXE", UPDATER_EXE);
const std::string kBridgeClient = Part("UPDATER_TEST_BRIDGE_CLIENT", UPDATER_BRIDGE_CLIENT);
const std::string kScriptEngine = Part("UPDATER_TEST_SCRIPT_ENGINE", UPDATER_SCRIPT_ENGINE);

// The longest a whole run may take here: the program's start, the package program, the 2 s
// pause after the shutdown, the script through the bridge; UPDATER_TEST_RUN_LIMIT_MS for a
// program that runs emulated.
const unsigned long kRunLimitMs = std::stoul(Part("UPDATER_TEST_RUN_LIMIT_MS", "120000"));

std::string Utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

class UpdaterProgramWithServer : public ::testing::Test {
protected:
    void SetUp() override {
        // Spelled in UTF-8, whatever the process's narrow code page.
        const std::string folder = RootFolderName();
        Root = Temp.Path() / fs::path(std::u8string(folder.begin(), folder.end())) / "Kormant";
        Database = LayOutRelease3(Root);
        ProgramBefore = DetailedSnapshotOf(Root / "Program");
    }

    // Updater.exe with the release-4 script and a package of release-4 stand-ins and (unless
    // `withoutLibrary`) the server's function library, put in by the release tool, in a folder of
    // its own beside the client library and the script engine it loads.
    fs::path MakeUpdater(bool withoutLibrary = false) {
        std::vector<fs::path> files = {Temp.MakeFile("release4/Kormant.exe", "client release 4"),
                                       Temp.MakeFile("release4/Kormant.chm", "help release 4")};
        if (!withoutLibrary) {
            // The Linux server loads the Linux build, under the name the package gives it.
            files.push_back(Temp.Path() / "release4/QUV_UDF.dll");
            fs::copy_file(UPDATER_QUV_UDF, files.back());
        }
        const std::string package = BuildTestPackage(Temp.Path() / "Kormant_update.exe", files);
        const auto script = Temp.MakeFile("KormantUpdate4.sql", ReadBytes(UPDATER_PAYLOAD_SCRIPT));
        const fs::path folder = Temp.MakeFolder("updater");
        const fs::path program = folder / "Updater.exe";
        const std::string arguments = "--script \"" + Utf8(script) + "\" --package \"" + package +
                                      "\" -o \"" + Utf8(program) + "\" \"" + Native(kUpdaterExe) +
                                      "\"";
        EXPECT_EQ(RunToEnd(Native(UPDATER_ATTACH_PAYLOAD), arguments, 60000), 0u);
        fs::copy_file(kBridgeClient, folder / "fbclient.dll");
        fs::copy_file(kScriptEngine, folder / "IBEScript.dll");
        return program;
    }

    // The folder the installation lies in, inside the test's own folder.
    virtual std::string RootFolderName() const { return "installation"; }

    std::string Release() const {
        return Query(Database->DatabaseString(), "select Versio from Attrs;");
    }
    bool Online() const {
        const std::string attributes = Database->Attributes();
        return attributes.find("shutdown") == std::string::npos &&
               attributes.find("maintenance") == std::string::npos;
    }
    TTempFolder Temp;
    // The program finds the server's folder in the registry.
    TFirebirdFolder Server{firebird_test::InstanceFolder};
    fs::path Root;
    std::unique_ptr<firebird_test::TOwnDatabase> Database;
    TTreeSnapshot ProgramBefore;
};

TEST_F(UpdaterProgramWithServer, AWholeUpdateBringsTheDatabaseToRelease4) {
    // Without Wine's own fonts the log pane's Cyrillic falls back to a system font, and Wine 8's
    // text shaping crashes Updater.exe at the first long Cyrillic log line ("33/254 COMMENT ON
    // EXTERNAL FUNCTION ... 'Целое число прописью; ...'"): Uniscribe's GPOS_apply_MarkToMark
    // reads glyphs[-1]. scripts/windows-tests.sh puts them into the prefix (package fonts-wine).
    if (RunningUnderWine() && !fs::exists("C:\\windows\\Fonts\\ms_sans_serif.ttf")) {
        GTEST_SKIP() << "Wine without its own fonts (fonts-wine): its text shaping crashes the "
                        "log pane at the first long Cyrillic line";
    }
    // The library in udf, which the server may have loaded, stays there: the updater sets it
    // aside instead of writing over it, so the server keeps its mapping.
    const fs::path program = MakeUpdater();
    const TProgramRun run = RunUpdaterProgram(program, Utf8(Root), firebird_test::SysdbaPassword,
                                              {"&Yes", "OK"}, kRunLimitMs);
    SCOPED_TRACE(Described(run));
    EXPECT_EQ(run.Trouble, "");
    EXPECT_EQ(run.ExitCode, 0u);
    EXPECT_EQ(run.Unexpected, 0);
    ASSERT_EQ(run.Boxes.size(), 2u);
    EXPECT_EQ(run.Boxes[0].Text, AsShown(kBothParts));
    EXPECT_EQ(run.Boxes[0].Focused, "&No");
    EXPECT_EQ(run.Boxes[1].Caption, "Information");
    EXPECT_EQ(run.Boxes[1].Text, AsShown(kSuccess));
    EXPECT_NE(run.Log.find("Done: "), std::string::npos) << run.Log;

    EXPECT_TRUE(Online());
    EXPECT_EQ(Release(), "4\n");
    EXPECT_EQ(
        Query(Database->DatabaseString(), "select UDF_INTEGER_IN_WORDS(21, 1) from rdb$database;"),
        "двадцать одна\n");
    EXPECT_EQ(ReadBytes(fs::path(firebird_test::UdfFolder) / "QUV_UDF.dll"),
              ReadBytes(UPDATER_QUV_UDF));
    EXPECT_EQ(ReadBytes(Root / "Program/Kormant.exe"), "client release 4");
    EXPECT_EQ(ReadBytes(Root / "Program/Kormant.chm"), "help release 4");
}

// The package lacks the function library: the apply fails at its first step, before the
// script. The rollback boxes; DB_Data given back exactly as it was backed up (seen while the
// rollback-done box is open, before the database is brought online and the server writes to it
// again); Program exactly as before; the restored database online at release 3.
TEST_F(UpdaterProgramWithServer, APackageWithoutTheLibraryRollsBothPartsBack) {
    const fs::path program = MakeUpdater(true);
    const auto dataAsBackedUp = [this] {
        const auto staging = StagingFoldersUnder(Root);
        if (staging.size() != 1) {
            return std::to_string(staging.size()) + " staging folders";
        }
        return DetailedSnapshotOf(Root / "DB_Data") ==
                       DetailedSnapshotOf(staging[0] / "Old/DB_Data")
                   ? std::string("as backed up")
                   : std::string("not as backed up");
    };
    const TProgramRun run = RunUpdaterProgram(program, Utf8(Root), firebird_test::SysdbaPassword,
                                              {"&Yes", "OK", "OK"}, kRunLimitMs, dataAsBackedUp);
    SCOPED_TRACE(Described(run));
    EXPECT_EQ(run.Trouble, "");
    EXPECT_EQ(run.ExitCode, 0u);
    EXPECT_EQ(run.Unexpected, 0);
    ASSERT_EQ(run.Boxes.size(), 3u);
    EXPECT_EQ(run.Boxes[0].Text, AsShown(kBothParts));
    EXPECT_EQ(run.Boxes[1].Caption, "Error");
    const auto staging = StagingFoldersUnder(Root);
    ASSERT_EQ(staging.size(), 1u);
    EXPECT_EQ(run.Boxes[1].Text, AsShown(kRollbackAnnouncedText) + "Невозможно скопировать файл " +
                                     Utf8(staging[0] / "New" / "quv_udf.dll") + "!");
    EXPECT_EQ(run.Boxes[2].Caption, "Information");
    EXPECT_EQ(run.Boxes[2].Text, kRollbackDone);
    EXPECT_EQ(run.Boxes[2].Note, "as backed up");

    EXPECT_EQ(DetailedSnapshotOf(Root / "Program"), ProgramBefore);
    EXPECT_EQ(SnapshotOf(Root / "DB_Data").size(), 1u);
    EXPECT_TRUE(Online());
    EXPECT_EQ(Release(), "3\n");
}

// The tests of the system's code page: each runs in a process of its own whose locale gives Wine
// the code page (tests/windows/server/CMakeLists.txt registers them with LC_ALL set, outside the
// discovered list). The installation lies under a Cyrillic folder.
class UpdaterProgramOnLocale : public UpdaterProgramWithServer {
protected:
    std::string RootFolderName() const override { return "Программы Кормант"; }
};

// SYSDBA's password changed for the life of the object, by a tool on a Russian system: the new
// password's windows-1251 bytes sent over a WIN1251 connection, so the server keeps what such a
// tool leaves. Put back however the test ends (the server is shared; the test runs alone).
class TSysdbaPasswordChange {
public:
    TSysdbaPasswordChange(const std::string& cp1251, const std::string& utf8) : Utf8_(utf8) {
        const std::string failure = Run("alter user SYSDBA password '" + cp1251 + "';", "WIN1251",
                                        firebird_test::SysdbaPassword);
        EXPECT_EQ(failure, "") << "SYSDBA's password was not changed";
    }
    ~TSysdbaPasswordChange() {
        const std::string failure =
            Run(std::string("alter user SYSDBA password '") + firebird_test::SysdbaPassword + "';",
                "UTF8", Utf8_);
        EXPECT_EQ(failure, "") << "SYSDBA's password was not put back";
    }
    TSysdbaPasswordChange(const TSysdbaPasswordChange&) = delete;
    TSysdbaPasswordChange& operator=(const TSysdbaPasswordChange&) = delete;

    // "" when isql-fb ran `sql` as SYSDBA with `password`; its output otherwise. The statement
    // and the password go through files, as bytes, past every quoting.
    static std::string Run(const std::string& sql, const std::string& charset,
                           const std::string& password) {
        const fs::path folder = fs::path(UPDATER_TEST_SCRATCH);
        fs::create_directories(folder);
        const fs::path input =
            folder / ("sysdba-" + std::to_string(GetCurrentProcessId()) + ".sql");
        const fs::path secret =
            folder / ("sysdba-" + std::to_string(GetCurrentProcessId()) + ".pw");
        std::ofstream(input, std::ios::binary) << sql << "\ncommit;\n";
        std::ofstream(secret, std::ios::binary) << password;
        const TCommandResult run =
            RunCommand("isql-fb -q -bail -ch " + charset + " -user SYSDBA -password \"$(cat '" +
                       HostPath(Utf8(secret)) + "')\" -i '" + HostPath(Utf8(input)) + "' '" +
                       firebird_test::HostDatabaseString(
                           firebird_test::DatabaseString(firebird_test::TestDatabasePath)) +
                       "'");
        fs::remove(input);
        fs::remove(secret);
        return run.ExitCode == 0 ? std::string()
                                 : "exit " + std::to_string(run.ExitCode) + ": " + run.Output;
    }

private:
    std::string Utf8_;
};

// On a Russian system (code page 1251): the root and SYSDBA's password are Cyrillic. Every
// layer hands them to the client library in the code page, the client bridge reads them there as
// the Windows client does, and the whole update succeeds on all three roads (the service
// manager, the attachment, the script engine).
TEST_F(UpdaterProgramOnLocale, OnARussianSystemACyrillicRootAndPasswordUpdateBothParts) {
    ASSERT_EQ(GetACP(), 1251u) << "this test runs with LC_ALL=ru_RU.UTF-8, which needs the "
                                  "locale ru_RU.UTF-8 (scripts/install-deps.sh makes it)";
    if (!fs::exists("C:\\windows\\Fonts\\ms_sans_serif.ttf")) {
        GTEST_SKIP() << "Wine without its own fonts (fonts-wine): its text shaping crashes the "
                        "log pane at the first long Cyrillic line";
    }
    fs::remove(fs::path(firebird_test::UdfFolder) / "QUV_UDF.dll");
    const fs::path program = MakeUpdater();
    const std::string password = "Ключ2026";
    TProgramRun run;
    {
        TSysdbaPasswordChange change("\xCA\xEB\xFE\xF7"
                                     "2026",
                                     password);
        run = RunUpdaterProgram(program, Utf8(Root), password, {"&Yes", "OK"}, kRunLimitMs);
    }
    SCOPED_TRACE(Described(run));
    EXPECT_EQ(run.Trouble, "");
    EXPECT_EQ(run.ExitCode, 0u);
    EXPECT_EQ(run.Unexpected, 0);
    ASSERT_EQ(run.Boxes.size(), 2u);
    EXPECT_EQ(run.Boxes[0].Text, AsShown(kBothParts));
    EXPECT_EQ(run.Boxes[1].Caption, "Information");
    EXPECT_EQ(run.Boxes[1].Text, AsShown(kSuccess));

    EXPECT_TRUE(Online());
    EXPECT_EQ(Release(), "4\n");
    EXPECT_EQ(
        Query(Database->DatabaseString(), "select UDF_INTEGER_IN_WORDS(21, 1) from rdb$database;"),
        "двадцать одна\n");
    EXPECT_EQ(ReadBytes(Root / "Program/Kormant.exe"), "client release 4");
    EXPECT_EQ(ReadBytes(Root / "Program/Kormant.chm"), "help release 4");
}

// On a Western system (code page 1252) a Cyrillic root cannot be handed to the client library:
// the first step that would (the attached users' attachment) fails with a text that names the
// character, before anything is moved or the database is shut down.
TEST_F(UpdaterProgramOnLocale, OnAnEnglishSystemARootOutsideItsCodePageChangesNothing) {
    ASSERT_EQ(GetACP(), 1252u) << "this test runs with LC_ALL=en_US.UTF-8, which needs the "
                                  "locale en_US.UTF-8 (scripts/install-deps.sh makes it)";
    const fs::path program = MakeUpdater();
    const TTreeSnapshot dataBefore = DetailedSnapshotOf(Root / "DB_Data");
    const TProgramRun run = RunUpdaterProgram(program, Utf8(Root), firebird_test::SysdbaPassword,
                                              {"&Yes", "OK"}, kRunLimitMs);
    SCOPED_TRACE(Described(run));
    EXPECT_EQ(run.Trouble, "");
    EXPECT_EQ(run.ExitCode, 0u);
    EXPECT_EQ(run.Unexpected, 0);
    ASSERT_EQ(run.Boxes.size(), 2u);
    EXPECT_EQ(run.Boxes[0].Text, AsShown(kBothParts));
    EXPECT_EQ(run.Boxes[1].Text,
              "Невозможно передать клиенту Firebird путь к базе данных: символа \"П\" (U+041F) "
              "нет в кодовой странице системы 1252!");

    EXPECT_TRUE(StagingFoldersUnder(Root).empty());
    EXPECT_EQ(DetailedSnapshotOf(Root / "Program"), ProgramBefore);
    EXPECT_EQ(DetailedSnapshotOf(Root / "DB_Data"), dataBefore);
    EXPECT_TRUE(Online());
    EXPECT_EQ(Release(), "3\n");
}

} // namespace
