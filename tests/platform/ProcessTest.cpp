#include "platform/Process.h"

#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>

#include "tests/support/ChildProcess.h"
#include "tests/support/TempFolder.h"

namespace {

std::vector<std::string> Lines(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

TEST(Process, RunsInTheGivenFolderWithParametersSplitAtBlanks) {
    TTempFolder temp;
    const auto folder = temp.MakeFolder("work folder");
    const auto report = temp.Path() / "report.txt";
    auto process = platform::TProcess::Start(
        ChildProgramPath(), " report " + report.string() + "  extra", folder.string(), 1);
    ASSERT_TRUE(process.IsStarted());
    EXPECT_EQ(process.Wait(), 0);
    EXPECT_EQ(Lines(report), (std::vector<std::string>{folder.string(), ChildProgramPath(),
                                                       "report", report.string(), "extra"}));
}

TEST(Process, ReturnsTheExitCodeAndReportsASignalLikeAShell) {
    TTempFolder temp;
    auto exiting = platform::TProcess::Start(ChildProgramPath(), " exit 7", temp.Str(), 1);
    ASSERT_TRUE(exiting.IsStarted());
    EXPECT_EQ(exiting.Wait(), 7);

    const std::string pidFile = (temp.Path() / "pid").string();
    auto waiting = platform::TProcess::Start(ChildProgramPath(), " wait " + pidFile, temp.Str(), 1);
    ASSERT_TRUE(waiting.IsStarted());
    while (ReadPidFile(pidFile) <= 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    kill(ReadPidFile(pidFile), SIGKILL);
    EXPECT_EQ(waiting.Wait(), 128 + SIGKILL);
}

TEST(Process, ProgramPathWithBlanksIsStartedAsItIs) {
    TTempFolder temp;
    const auto copy = temp.Path() / "a program with blanks";
    std::filesystem::copy_file(ChildProgramPath(), copy);
    auto process = platform::TProcess::Start(copy.string(), " exit 5", temp.Str(), 1);
    ASSERT_TRUE(process.IsStarted());
    EXPECT_EQ(process.Wait(), 5);
}

TEST(Process, RefusedStartsAreReported) {
    TTempFolder temp;
    const auto text = temp.MakeFile("not a program", "just text");
    std::filesystem::permissions(text, std::filesystem::perms::owner_all);
    EXPECT_FALSE(platform::TProcess::Start(temp.Str() + "/missing", {}, temp.Str(), 1).IsStarted());
    EXPECT_FALSE(platform::TProcess::Start(text.string(), {}, temp.Str(), 1).IsStarted());
    EXPECT_FALSE(platform::TProcess::Start(ChildProgramPath(), {}, temp.Str() + "/no folder", 1)
                     .IsStarted());
}

} // namespace
