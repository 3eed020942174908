#include "update/FileOperations.h"

#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/FailureText.h"
#include "tests/support/SmallDisk.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TreeSnapshot.h"

namespace {

namespace fs = std::filesystem;

void MakeReadOnly(const fs::path& path) {
    fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
}

TEST(DeleteFolderTree, RemovesEverythingIncludingReadOnlyHiddenAndEmptyFolders) {
    TTempFolder temp;
    MakeReadOnly(temp.MakeFile("tree/read-only.txt"));
    temp.MakeFile("tree/.hidden");
    temp.MakeFolder("tree/a/b/c");
    temp.MakeFile("tree/a/b/deep.bin", std::string(100000, 'd'));
    DeleteFolderTree((temp.Path() / "tree").string());
    EXPECT_FALSE(fs::exists(temp.Path() / "tree"));
}

TEST(DeleteFolderTree, AMissingFolderIsNoFailure) {
    TTempFolder temp;
    EXPECT_NO_THROW(DeleteFolderTree((temp.Path() / "missing").string()));
}

TEST(DeleteFolderTree, RemovesLinksWithoutFollowingThem) {
    TTempFolder temp;
    const auto outside = temp.MakeFile("outside/keep.txt", "keep");
    temp.MakeFolder("tree");
    fs::create_directory_symlink(temp.Path() / "outside", temp.Path() / "tree/folder-link");
    fs::create_symlink(outside, temp.Path() / "tree/file-link");
    DeleteFolderTree((temp.Path() / "tree").string());
    EXPECT_FALSE(fs::exists(temp.Path() / "tree"));
    EXPECT_EQ(ReadBytes(outside), "keep");
}

TEST(DeleteFolderTree, ALockedFileStopsItWithTheFilesName) {
    TTempFolder temp;
    const auto locked = temp.MakeFile("tree/sub/locked.dat");
    TImmutable lock(locked);
    if (!lock.Available()) {
        GTEST_SKIP() << "chattr +i is not available here";
    }
    const std::string message =
        FailureText([&] { DeleteFolderTree((temp.Path() / "tree/").string()); });
    lock.Release();
    EXPECT_EQ(message, "Невозможно удалить файл " + locked.string() + "!");
    EXPECT_TRUE(fs::exists(locked));
}

// Runs `operation` with an ordinary user's rights (as that user in a child process when the test
// runs as root), so that folder permissions apply. True when it returned without failure.
bool RunsAsOrdinaryUser(const fs::path& tree, const std::function<void()>& operation) {
    if (geteuid() != 0) {
        operation();
        return true;
    }
    constexpr uid_t kNobody = 65534;
    for (const auto& entry : fs::recursive_directory_iterator(tree)) {
        EXPECT_EQ(lchown(entry.path().c_str(), kNobody, kNobody), 0);
    }
    EXPECT_EQ(lchown(tree.c_str(), kNobody, kNobody), 0);
    const pid_t child = fork();
    if (child == 0) {
        if (setgid(kNobody) != 0 || setuid(kNobody) != 0) {
            _exit(2);
        }
        try {
            operation();
        } catch (...) {
            _exit(1);
        }
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A folder without write permission is read-only in the Windows sense only for itself: it keeps
// neither its files from being deleted or replaced nor the tree from being removed.
TEST(FileOperations, ReadOnlyFoldersDoNotStopDeletingOrReplacing) {
    TTempFolder temp;
    fs::permissions(temp.Path(), fs::perms::all, fs::perm_options::add);
    temp.MakeFile("new/Kormant.exe", "release 4");
    temp.MakeFile("Program/Kormant.exe", "release 3");
    temp.MakeFile("Old/Program/Docs/readme.txt", "text");
    const fs::perms readOnly = fs::perms::owner_read | fs::perms::owner_exec |
                               fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec;
    fs::permissions(temp.Path() / "Program", readOnly);
    fs::permissions(temp.Path() / "Old/Program/Docs", readOnly);

    EXPECT_TRUE(RunsAsOrdinaryUser(temp.Path(), [&] {
        CopyOneFile(temp.Str() + "/new/Kormant.exe", temp.Str() + "/Program/Kormant.exe");
        DeleteFolderTree(temp.Str() + "/Old");
    }));
    EXPECT_EQ(ReadBytes(temp.Path() / "Program/Kormant.exe"), "release 4");
    EXPECT_FALSE(fs::exists(temp.Path() / "Old"));
}

TEST(CreateFolder, CreatesExactlyOneFolderAndRefusesWhatTheSystemRefuses) {
    TTempFolder temp;
    const std::string fresh = (temp.Path() / "fresh").string();
    CreateFolder(fresh);
    EXPECT_TRUE(fs::is_directory(fresh));
    const std::string missingParent = (temp.Path() / "no/such").string();
    temp.MakeFile("taken");
    for (const std::string& path : {fresh, missingParent, (temp.Path() / "taken").string()}) {
        EXPECT_EQ(FailureText([&] { CreateFolder(path); }),
                  "Невозможно создать папку " + path + "!");
    }
}

TEST(CopyOneFile, ReplacesAReadOnlyTargetWithContentModeAndTime) {
    TTempFolder temp;
    const auto source = temp.MakeFile("new/Kormant.exe", "release 4");
    fs::permissions(source, fs::perms::owner_all | fs::perms::group_read);
    const auto time = fs::last_write_time(source) - std::chrono::hours(240);
    fs::last_write_time(source, time);
    const auto target = temp.MakeFile("Program/Kormant.exe", "release 3, longer than the new one");
    MakeReadOnly(target);
    CopyOneFile(source.string(), target.string());
    EXPECT_EQ(ReadBytes(target), "release 4");
    EXPECT_EQ(fs::status(target).permissions(), fs::perms::owner_all | fs::perms::group_read);
    EXPECT_EQ(fs::last_write_time(target), time);
    EXPECT_EQ(SnapshotOf(temp.Path() / "Program").size(), 1u) << "no temporary file stays";
}

TEST(CopyOneFile, FailuresNameTheSourceAndLeaveTheTargetWhole) {
    TTempFolder temp;
    const auto source = temp.MakeFile("new/Kormant.chm", "help 4");
    const auto target = temp.MakeFile("Program/Kormant.chm", "help 3");
    temp.MakeFolder("Program/folder.chm");
    struct TCase {
        std::string Source;
        std::string Target;
    };
    for (const auto& [from, to] : {
             TCase{(temp.Path() / "new/missing.chm").string(), target.string()},
             TCase{source.string(), (temp.Path() / "no folder/Kormant.chm").string()},
             TCase{source.string(), (temp.Path() / "Program/folder.chm").string()},
             TCase{(temp.Path() / "new").string(), target.string()},
         }) {
        EXPECT_EQ(FailureText([&] { CopyOneFile(from, to); }),
                  "Невозможно скопировать файл " + from + "!");
    }
    EXPECT_EQ(ReadBytes(target), "help 3");
    EXPECT_EQ(SnapshotOf(temp.Path() / "Program").size(), 2u);
}

TEST(CopyOneFile, AFullDiskFailsAndKeepsTheOldTarget) {
    TTempFolder temp;
    TSmallDisk disk(temp.Path(), 8);
    if (!disk.Available()) {
        GTEST_SKIP() << "no loop mount here";
    }
    const auto target = disk.Path() / "Kormant.exe";
    std::ofstream(target) << "release 3";
    const auto source = temp.MakeFile("Kormant.exe", std::string(12 << 20, 'x'));
    EXPECT_EQ(FailureText([&] { CopyOneFile(source.string(), target.string()); }),
              "Невозможно скопировать файл " + source.string() + "!");
    EXPECT_EQ(ReadBytes(target), "release 3");
    EXPECT_EQ(SnapshotOf(disk.Path()).count("Kormant.exe"), 1u);
    for (const auto& [name, content] : SnapshotOf(disk.Path())) {
        EXPECT_TRUE(name == "Kormant.exe" || name == "lost+found") << name << " stayed behind";
    }
}

TEST(CopyFolderTree, MergesIntoAnExistingTarget) {
    TTempFolder temp;
    temp.MakeFile("src/Kormant.exe", "exe 4");
    temp.MakeFile("src/sub/nested.txt", "nested");
    temp.MakeFolder("src/empty");
    temp.MakeFile("src/.hidden", "hidden");
    temp.MakeFile("src/big.bin", std::string(3 << 20, 'b'));
    fs::create_symlink("Kormant.exe", temp.Path() / "src/link");
    temp.MakeFile("dst/Kormant.exe", "exe 3");
    temp.MakeFile("dst/only-in-target.txt", "stays");
    CopyFolderTree((temp.Path() / "src").string(), (temp.Path() / "dst").string());

    TTreeSnapshot expected = SnapshotOf(temp.Path() / "src");
    expected["only-in-target.txt"] = "stays";
    EXPECT_EQ(SnapshotOf(temp.Path() / "dst"), expected);
}

TEST(CopyFolderTree, CreatesTheTargetWithItsParents) {
    TTempFolder temp;
    temp.MakeFile("src/a.txt", "a");
    CopyFolderTree((temp.Path() / "src/").string(), (temp.Path() / "x/y/z").string());
    EXPECT_EQ(SnapshotOf(temp.Path() / "x/y/z"), SnapshotOf(temp.Path() / "src"));
}

TEST(CopyFolderTree, FailuresQuoteTheFoldersWithATrailingDelimiter) {
    TTempFolder temp;
    temp.MakeFile("src/a.txt", "a");
    temp.MakeFile("blocked", "a file where the target's parent should be");
    const std::string missing = (temp.Path() / "missing").string();
    EXPECT_EQ(FailureText([&] { CopyFolderTree(missing, temp.Str()); }),
              "Папка " + missing + "/ не существует!");
    const std::string target = (temp.Path() / "blocked/target").string();
    EXPECT_EQ(FailureText([&] { CopyFolderTree((temp.Path() / "src").string(), target); }),
              "Невозможно создать папку " + target + "/!");
}

TEST(CopyFolderTree, ANamedPipeFailsWithItsNameInsteadOfWaitingForAWriter) {
    TTempFolder temp;
    temp.MakeFile("src/Kormant.exe", "exe");
    const auto pipe = temp.Path() / "src/Kormant.pipe";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0644), 0);
    auto copy = std::async(std::launch::async, [&] {
        return FailureText([&] {
            CopyFolderTree((temp.Path() / "src").string(), (temp.Path() / "dst").string());
        });
    });
    if (copy.wait_for(std::chrono::seconds(5)) == std::future_status::timeout) {
        // Release the blocked reader so that the test can end.
        const int writer = open(pipe.c_str(), O_WRONLY);
        close(writer);
        copy.wait();
        FAIL() << "the copy waited for a writer of the pipe";
    }
    EXPECT_EQ(copy.get(), "Невозможно скопировать файл " + pipe.string() + "!");
}

TEST(CopyFolderTree, APathBeyondTheSystemsLimitFailsCleanly) {
    TTempFolder temp;
    temp.MakeFile("src/Kormant.exe", "exe");
    // Build a real target folder whose path leaves no room for the file name.
    fs::path target = temp.Path();
    const std::string segment(200, 's');
    while (target.string().size() + segment.size() + 1 < PATH_MAX - 8) {
        target /= segment;
    }
    target /= std::string(PATH_MAX - 8 - target.string().size() - 1, 't');
    const std::string message =
        FailureText([&] { CopyFolderTree((temp.Path() / "src").string(), target.string()); });
    EXPECT_EQ(message,
              "Невозможно скопировать файл " + (temp.Path() / "src/Kormant.exe").string() + "!");
    EXPECT_NO_THROW(DeleteFolderTree((temp.Path() / segment).string()));
}

TEST(FindFirebirdFolder, TheVariableFirebirdWinsWhenItNamesAFolder) {
    TTempFolder temp;
    const char* previous = std::getenv("FIREBIRD");
    const std::string saved = previous ? previous : "";
    setenv("FIREBIRD", temp.Str().c_str(), 1);
    const std::string fromVariable = FindFirebirdFolder();
    setenv("FIREBIRD", (temp.Path() / "missing").c_str(), 1);
    std::string fallback;
    const std::string failure = FailureText([&] { fallback = FindFirebirdFolder(); });
    previous ? setenv("FIREBIRD", saved.c_str(), 1) : unsetenv("FIREBIRD");

    EXPECT_EQ(fromVariable, temp.Str());
    // Without a usable variable the server's installed folders decide; on a machine without
    // any the fixed text comes.
    if (fallback.empty()) {
        EXPECT_EQ(failure, "Невозможно определить папку, в которой инсталлирована программа "
                           "\"FireBird\"!");
    } else {
        EXPECT_TRUE(fs::is_directory(fallback)) << fallback;
        EXPECT_NE(fallback, (temp.Path() / "missing").string());
    }
}

} // namespace
