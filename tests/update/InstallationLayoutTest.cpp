#include "update/InstallationLayout.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>

#include "platform/Clock.h"
#include "platform/Failure.h"
#include "platform/Path.h"
#include "tests/support/FailureText.h"
#include "tests/support/TempFolder.h"

namespace {

namespace fs = std::filesystem;

platform::TLocalTime FixedClock() {
    // 14:05:09 on 3 July 2009.
    return {2009, 7, 3, 14, 5, 9};
}

// Every entry below `root` with its size, to show that resolution changes nothing on disk.
std::map<std::string, std::uintmax_t> Snapshot(const fs::path& root) {
    std::map<std::string, std::uintmax_t> entries;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        entries[entry.path().string()] = entry.is_regular_file() ? entry.file_size() : 0;
    }
    return entries;
}

std::string FailureOf(const std::string& root) {
    return FailureText<EFailure>([&] { ResolveLayout(root, FixedClock); });
}

TEST(ResolveLayout, BuildsEveryFieldInTheTableOrder) {
    TTempFolder temp;
    const std::string root = temp.Str() + Native("/Kormant");
    fs::create_directories(root + Native("/Program"));
    fs::create_directories(root + Native("/DB_Data"));

    const InstallationLayout layout = ResolveLayout(root, FixedClock);
    EXPECT_EQ(layout.RootDir, root);
    EXPECT_EQ(layout.ProgramDir, root + Native("/Program"));
    EXPECT_EQ(layout.DataDir, root + Native("/DB_Data"));
    EXPECT_EQ(layout.StagingDir, root + Native("/Tmp$030709140509"));
    EXPECT_EQ(layout.NewDir, root + Native("/Tmp$030709140509/New"));
    EXPECT_EQ(layout.OldDir, root + Native("/Tmp$030709140509/Old"));
    EXPECT_EQ(layout.OldProgramDir, root + Native("/Tmp$030709140509/Old/Program"));
    EXPECT_EQ(layout.OldDataDir, root + Native("/Tmp$030709140509/Old/DB_Data"));
    EXPECT_EQ(layout.DatabaseString, "localhost/3051:" + root + Native("/DB_Data/Kormant.fdb"));
    EXPECT_FALSE(layout.ClientPresent);
    EXPECT_FALSE(layout.ServerPresent);
}

TEST(ResolveLayout, TrailingDelimiterStaysInRootButIsNotDoubled) {
    TTempFolder temp;
    const std::string root = temp.Str() + Native("/Kormant/");
    fs::create_directories(root);
    const InstallationLayout layout = ResolveLayout(root, FixedClock);
    EXPECT_EQ(layout.RootDir, root);
    EXPECT_EQ(layout.ProgramDir, root + "Program");
    EXPECT_EQ(layout.StagingDir, root + "Tmp$030709140509");
    EXPECT_EQ(layout.DatabaseString, "localhost/3051:" + root + Native("DB_Data/Kormant.fdb"));
    for (const std::string* path : {&layout.ProgramDir, &layout.DataDir, &layout.StagingDir,
                                    &layout.OldDataDir, &layout.DatabaseString}) {
        EXPECT_EQ(path->find("//"), std::string::npos) << *path;
    }
    EXPECT_EQ(FailureOf(temp.Str() + Native("/Missing/")),
              "Путь к обновляемой программе \"" + temp.Str() + Native("/Missing/\" не найден!"));
}

TEST(ResolveLayout, EmptyRootIsNotFoundWithNothingBetweenTheQuotes) {
    EXPECT_EQ(FailureOf(""), "Путь к обновляемой программе \"\" не найден!");
}

TEST(ResolveLayout, RelativeRootIsReportedInItsAbsoluteForm) {
    TTempFolder temp;
    const fs::path saved = fs::current_path();
    fs::current_path(temp.Path());
    const std::string message = FailureOf("sub/../Kormant");
    fs::create_directories(temp.Path() / "Kormant");
    const InstallationLayout layout = ResolveLayout("./Kormant", FixedClock);
    fs::current_path(saved);

    EXPECT_EQ(message,
              "Путь к обновляемой программе \"" + temp.Str() + Native("/Kormant\" не найден!"));
    EXPECT_EQ(layout.RootDir, temp.Str() + Native("/Kormant"));
}

TEST(ResolveLayout, AFileIsNotARootFolder) {
    TTempFolder temp;
    temp.MakeFile("Kormant");
    EXPECT_EQ(FailureOf(temp.Str() + Native("/Kormant")),
              "Путь к обновляемой программе \"" + temp.Str() + Native("/Kormant\" не найден!"));
}

TEST(ResolveLayout, OverLongRootFailsCleanlyAsNotFound) {
    const std::string root = platform::FullPath("/") + std::string(5000, 'k');
    EXPECT_EQ(FailureOf(root), "Путь к обновляемой программе \"" + root + "\" не найден!");
}

#ifdef _WIN32
TEST(ResolveLayout, RootsThatAreNoFoldersHereAreNotFound) {
    // The first letter without a drive, counted down from Y: (Z: is where Wine shows Linux).
    std::string letter;
    for (char c = 'Y'; c > 'C' && letter.empty(); --c) {
        if (!fs::exists(std::string(1, c) + ":\\")) {
            letter = std::string(1, c);
        }
    }
    ASSERT_FALSE(letter.empty());
    for (const std::string& root :
         {letter + ":\\QUV\\Kormant", std::string("\\\\server\\share\\Kormant")}) {
        EXPECT_EQ(FailureOf(root), "Путь к обновляемой программе \"" + root + "\" не найден!");
    }
}
#else
TEST(ResolveLayout, MemoryFileSystemRootIsNotLocal) {
    if (!fs::is_directory("/dev/shm")) {
        GTEST_SKIP() << "no /dev/shm on this machine";
    }
    EXPECT_EQ(FailureOf("/dev/shm"),
              "Путь к обновляемой программе \"/dev/shm\" не является локальным!");
    EXPECT_EQ(FailureOf("/dev/shm/"),
              "Путь к обновляемой программе \"/dev/shm/\" не является локальным!");
}
#endif

TEST(ResolveLayout, FolderNamedLikeTheClientDoesNotCount) {
    TTempFolder temp;
    temp.MakeFolder("Program/Kormant.exe");
    temp.MakeFolder("DB_Data/Kormant.fdb");
    const InstallationLayout layout = ResolveLayout(temp.Str(), FixedClock);
    EXPECT_FALSE(layout.ClientPresent);
    EXPECT_FALSE(layout.ServerPresent);
}

TEST(ResolveLayout, PartsAreFoundInAnyLetterCase) {
    TTempFolder temp;
    temp.MakeFile("program/KORMANT.EXE");
    temp.MakeFile("db_data/kormant.FDB");
    const InstallationLayout layout = ResolveLayout(temp.Str(), FixedClock);
    EXPECT_TRUE(layout.ClientPresent);
    EXPECT_TRUE(layout.ServerPresent);
    // The paths name what is on disk, so that copies and the server reach the real files.
    EXPECT_EQ(layout.ProgramDir, temp.Str() + Native("/program"));
    EXPECT_EQ(layout.DatabaseString,
              "localhost/3051:" + temp.Str() + Native("/db_data/kormant.FDB"));
    // The backup keeps the canonical names.
    EXPECT_EQ(layout.OldProgramDir, temp.Str() + Native("/Tmp$030709140509/Old/Program"));
}

TEST(ResolveLayout, EachPartIsDetectedOnItsOwn) {
    TTempFolder client;
    client.MakeFile("Program/Kormant.exe");
    TTempFolder server;
    server.MakeFile("DB_Data/Kormant.fdb");
    const InstallationLayout clientOnly = ResolveLayout(client.Str(), FixedClock);
    const InstallationLayout serverOnly = ResolveLayout(server.Str(), FixedClock);
    EXPECT_TRUE(clientOnly.ClientPresent);
    EXPECT_FALSE(clientOnly.ServerPresent);
    EXPECT_FALSE(serverOnly.ClientPresent);
    EXPECT_TRUE(serverOnly.ServerPresent);
}

TEST(ResolveLayout, TouchesNothingOnDisk) {
    TTempFolder temp;
    temp.MakeFile("Program/Kormant.exe", "client");
    temp.MakeFile("DB_Data/Kormant.fdb", "database");
    const auto before = Snapshot(temp.Path());
    ResolveLayout(temp.Str());
    FailureOf(temp.Str() + Native("/Missing"));
    EXPECT_EQ(Snapshot(temp.Path()), before);
}

TEST(StagingFolderName, WritesTwoDigitFieldsDayFirst) {
    EXPECT_EQ(StagingFolderName({2009, 7, 3, 14, 5, 9}), "Tmp$030709140509");
    EXPECT_EQ(StagingFolderName({2000, 1, 1, 0, 0, 0}), "Tmp$010100000000");
    EXPECT_EQ(StagingFolderName({2099, 12, 31, 23, 59, 59}), "Tmp$311299235959");
}

TEST(ResolveLayout, ResolutionsWithinOneSecondShareTheStagingFolder) {
    TTempFolder temp;
    // Retry if a second boundary falls between the two resolutions.
    for (int attempt = 0; attempt < 5; ++attempt) {
        const auto before = platform::ReadLocalClock();
        const auto first = ResolveLayout(temp.Str());
        const auto second = ResolveLayout(temp.Str());
        if (platform::ReadLocalClock() == before) {
            EXPECT_EQ(first.StagingDir, second.StagingDir);
            EXPECT_EQ(first.StagingDir, temp.Str() + Native("/") + StagingFolderName(before));
            return;
        }
    }
    FAIL() << "the clock moved on during every attempt";
}

} // namespace
