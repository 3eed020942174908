// The test-support pieces that let the server tests run in the Windows build: Linux commands
// started from Wine, the Firebird folder written to the registry, and a child process killed at a
// chosen moment.
#include <gtest/gtest.h>

#include "platform/FirebirdFolder.h"
#include "tests/support/Command.h"
#include "tests/support/FirebirdFolderSetting.h"
#include "tests/support/KilledChild.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TreeSnapshot.h"

namespace {

namespace fs = std::filesystem;

TEST(LinuxCommand, GivesItsOutputAndExitCode) {
    const TCommandResult run = RunCommand("printf 'один\\n'; echo two >&2; exit 3");
    EXPECT_EQ(run.ExitCode, 3);
    EXPECT_EQ(run.Output, "один\ntwo\n");
    const TCommandResult quiet = RunCommand("echo out; echo error >&2", false);
    EXPECT_EQ(quiet.ExitCode, 0);
    EXPECT_EQ(quiet.Output, "out\n");
}

TEST(LinuxCommand, SeesTheTestsFilesUnderTheirLinuxPaths) {
    TTempFolder temp;
    const fs::path file = temp.MakeFile("seen.txt", "from Windows");
    EXPECT_EQ(HostPath(file.string()).rfind("/", 0), 0u) << HostPath(file.string());
    const TCommandResult run =
        RunCommand("cat '" + HostPath(file.string()) + "' && printf ' and Linux' >>'" +
                   HostPath(file.string()) + "'");
    EXPECT_EQ(run.ExitCode, 0);
    EXPECT_EQ(run.Output, "from Windows");
    EXPECT_EQ(ReadBytes(file), "from Windows and Linux");
    EXPECT_EQ(HostPath("C:\\QUV"), "C:\\QUV");
}

TEST(FirebirdFolderSetting, IsWhatTheProgramReadsAndGoesAgain) {
    using TOutcome = platform::TFirebirdFolderLookup::TOutcome;
    ASSERT_EQ(platform::LookUpFirebirdFolder().Outcome, TOutcome::NotFound);
    {
        TFirebirdFolder outer("Z:\\opt\\firebird");
        {
            TFirebirdFolder inner("Z:\\srv\\Сервер");
            EXPECT_EQ(platform::LookUpFirebirdFolder().Folder, "Z:\\srv\\Сервер");
        }
        const auto lookup = platform::LookUpFirebirdFolder();
        EXPECT_EQ(lookup.Outcome, TOutcome::Found);
        EXPECT_EQ(lookup.Folder, "Z:\\opt\\firebird");
    }
    EXPECT_EQ(platform::LookUpFirebirdFolder().Outcome, TOutcome::NotFound);
}

void WritesAndIsKilled(const std::vector<std::string>& arguments) {
    std::ofstream(arguments.at(0)) << arguments.at(1) << arguments.size();
    if (arguments.at(2) == "kill") {
        KillThisProcess();
    }
}

const TChildPartRegistration kWritesAndIsKilled("WritesAndIsKilled", WritesAndIsKilled);

TEST(KilledChild, RunsThePartAndTellsWhetherItWasKilled) {
    TTempFolder temp;
    const std::string file = (temp.Path() / "written").string();
    EXPECT_TRUE(RunKilledChild("WritesAndIsKilled", {file, "", "kill"}));
    EXPECT_EQ(ReadBytes(file), "3");
    EXPECT_FALSE(RunKilledChild("WritesAndIsKilled", {file, "ended", "return"}));
    EXPECT_EQ(ReadBytes(file), "ended3");
}

} // namespace
