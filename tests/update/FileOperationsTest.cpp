#include "update/FileOperations.h"

#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "tests/support/FailureText.h"
#include "tests/support/OrdinaryUser.h"
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

// A folder without write permission is read-only in the Windows sense only for itself: it keeps
// neither its files from being deleted or replaced nor the tree from being removed. The write bit
// is lent for each change alone: every folder that stays keeps its whole mode, and a missing
// folder changes nothing.
TEST(FileOperations, ReadOnlyFoldersDoNotStopDeletingOrReplacingAndKeepTheirMode) {
    TTempFolder temp;
    fs::permissions(temp.Path(), fs::perms::all, fs::perm_options::add);
    temp.MakeFile("new/Kormant.exe", "release 4");
    temp.MakeFile("Program/Kormant.exe", "release 3");
    temp.MakeFile("Program/Help/old.chm", "help");
    temp.MakeFile("Old/Program/Docs/readme.txt", "text");
    const fs::perms readOnly = fs::perms::owner_read | fs::perms::owner_exec |
                               fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec |
                               fs::perms::sticky_bit;
    for (const char* folder : {"Program", "Program/Help", "Old/Program/Docs"}) {
        fs::permissions(temp.Path() / folder, readOnly);
    }

    EXPECT_EQ(FailureTextAsOrdinaryUser(temp.Path(),
                                        [&] {
                                            CopyOneFile(temp.Str() + "/new/Kormant.exe",
                                                        temp.Str() + "/Program/Kormant.exe");
                                            CopyOneFile(temp.Str() + "/new/Kormant.exe",
                                                        temp.Str() + "/Program/Help/new.exe");
                                            DeleteFolderTree(temp.Str() + "/Program/missing");
                                            DeleteFolderTree(temp.Str() + "/Program/Help");
                                            DeleteFolderTree(temp.Str() + "/Old");
                                        }),
              "<no failure>");
    EXPECT_EQ(ReadBytes(temp.Path() / "Program/Kormant.exe"), "release 4");
    EXPECT_FALSE(fs::exists(temp.Path() / "Program/Help"));
    EXPECT_FALSE(fs::exists(temp.Path() / "Old"));
    EXPECT_EQ(fs::status(temp.Path() / "Program").permissions(), readOnly);
}

// A folder that cannot be listed must not be passed over: a backup would miss its files and
// a delete would leave them, both reporting success.
TEST(FileOperations, AFolderThatCannotBeListedFailsWithItsName) {
    struct TCase {
        std::string Operation;
        std::function<void(const std::string& root)> Run;
        std::string Folder; // as named in the text, relative to the root
    };
    for (const auto& [operation, run, folder] : {
             TCase{"copy",
                   [](const std::string& root) { CopyFolderTree(root + "/src", root + "/dst"); },
                   "src/locked/"},
             TCase{"delete", [](const std::string& root) { DeleteFolderTree(root + "/src"); },
                   "src/locked"},
         }) {
        TTempFolder temp;
        fs::permissions(temp.Path(), fs::perms::all, fs::perm_options::add);
        temp.MakeFile("src/a.txt", "a");
        const auto hidden = temp.MakeFile("src/locked/data.fdb", "data");
        fs::permissions(temp.Path() / "src/locked", fs::perms::none);
        const std::string text = FailureTextAsOrdinaryUser(temp.Path(), [&] { run(temp.Str()); });
        fs::permissions(temp.Path() / "src/locked", fs::perms::owner_all);
        EXPECT_EQ(text, "Невозможно прочитать папку " + (temp.Path() / folder).string() + "!")
            << operation;
        EXPECT_EQ(ReadBytes(hidden), "data") << operation;
    }
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

// The server's library is set aside, not written over: a process that has it mapped keeps the
// old content, the name has the new one, and nothing set aside stays (Linux deletes at once),
// nor the leftover of an earlier run. A failed copy puts the old library back.
TEST(ReplaceLibrary, SetsTheHeldLibraryAsideAndLeavesNothingBehind) {
    TTempFolder temp;
    const auto source = temp.MakeFile("New/QUV_UDF.dll", "library 4");
    const auto target = temp.MakeFile("udf/QUV_UDF.dll", "library 3");
    temp.MakeFile("udf/QUV_UDF.dll.1.old", "left by an earlier run");
    temp.MakeFile("udf/QUV_UDF.dll.x.old", "not a name of the updater's");
    temp.MakeFile("udf/ib_udf.so", "the server's own");
    const int held = open(target.c_str(), O_RDONLY);
    ASSERT_GE(held, 0);
    void* mapped = mmap(nullptr, 9, PROT_READ, MAP_PRIVATE, held, 0);
    ASSERT_NE(mapped, MAP_FAILED);

    EXPECT_EQ(FailureText([&] { ReplaceLibrary(source.string(), target.string()); }),
              "<no failure>");
    EXPECT_EQ(ReadBytes(target), "library 4");
    EXPECT_EQ(std::string(static_cast<const char*>(mapped), 9), "library 3");
    EXPECT_EQ(SnapshotOf(temp.Path() / "udf"),
              (TTreeSnapshot{{"QUV_UDF.dll", "library 4"},
                             {"QUV_UDF.dll.x.old", "not a name of the updater's"},
                             {"ib_udf.so", "the server's own"}}));
    munmap(mapped, 9);
    close(held);

    const std::string missing = (temp.Path() / "New/missing.dll").string();
    EXPECT_EQ(FailureText([&] { ReplaceLibrary(missing, target.string()); }),
              "Невозможно скопировать файл " + missing + "!");
    EXPECT_EQ(ReadBytes(target), "library 4");
    EXPECT_EQ(SnapshotOf(temp.Path() / "udf").size(), 3u);

    const auto fresh = temp.Path() / "udf/other.dll";
    ReplaceLibrary(source.string(), fresh.string());
    EXPECT_EQ(ReadBytes(fresh), "library 4");
}

TEST(CopyOneFile, AFullDiskFailsAndKeepsTheOldTargetOrLeavesNoNewOne) {
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
    const std::string fresh = (disk.Path() / "Kormant.chm").string();
    EXPECT_EQ(FailureText([&] { CopyOneFile(source.string(), fresh); }),
              "Невозможно скопировать файл " + source.string() + "!");
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

// Files the server owns (a database) must come back with their owner, group, mode and times,
// or the restored installation is dead; a copy there and back keeps every one of them.
TEST(CopyFolderTree, ARoundTripKeepsOwnersModesTimesAndLinks) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "giving files to other users needs root";
    }
    TTempFolder temp;
    const fs::path source = temp.Path() / "Program";
    struct TEntry {
        std::string Name;
        std::string Content; // a folder when empty
        mode_t Mode;
        uid_t Owner;
        gid_t Group;
        int DaysOld;
    };
    const std::vector<TEntry> entries = {
        {"Kormant.fdb", "database", 0640, kNobody, kNobody, 30},
        {"Kormant.exe", "exe", 04750, 0, kNobody, 20},
        {"udf", "", 0750, kNobody, 0, 10},
        {"udf/quv_udf.so", "udf", 0700, 1234, 4321, 40},
        {"udf/private", "", 0700, 1234, kNobody, 50},
        {"udf/private/key", "k", 0600, kNobody, 1234, 60},
    };
    for (const auto& entry : entries) {
        entry.Content.empty() ? temp.MakeFolder("Program/" + entry.Name)
                              : temp.MakeFile("Program/" + entry.Name, entry.Content);
    }
    fs::create_symlink("udf/quv_udf.so", source / "link");
    ASSERT_EQ(lchown((source / "link").c_str(), 1234, kNobody), 0);
    ASSERT_EQ(chown(source.c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(chmod(source.c_str(), 0750), 0);
    // Deepest first, so that setting an entry's time does not change it for its folder.
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        const fs::path path = source / entry->Name;
        ASSERT_EQ(chown(path.c_str(), entry->Owner, entry->Group), 0);
        ASSERT_EQ(chmod(path.c_str(), entry->Mode), 0);
        const timespec times[2] = {{1600000000, 0},
                                   {1600000000 - entry->DaysOld * 86400, 123456789}};
        ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    }
    const timespec linkTimes[2] = {{1500000000, 0}, {1500000000, 5}};
    ASSERT_EQ(utimensat(AT_FDCWD, (source / "link").c_str(), linkTimes, AT_SYMLINK_NOFOLLOW), 0);
    const timespec rootTimes[2] = {{1400000000, 0}, {1400000000, 7}};
    ASSERT_EQ(utimensat(AT_FDCWD, source.c_str(), rootTimes, 0), 0);
    const TTreeSnapshot original = DetailedSnapshotOf(source);

    CopyFolderTree(source.string(), (temp.Path() / "Old/Program").string());
    EXPECT_EQ(DetailedSnapshotOf(temp.Path() / "Old/Program"), original);
    DeleteFolderTree(source.string());
    CopyFolderTree((temp.Path() / "Old/Program").string(), source.string());
    EXPECT_EQ(DetailedSnapshotOf(source), original);
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

// Links in a target are replaced or refused, never written through: the copy stays in its tree.
TEST(CopyFolderTree, LinksInTheTargetAreNeverWrittenThrough) {
    TTempFolder temp;
    temp.MakeFile("src/Kormant.exe", "new");
    temp.MakeFile("elsewhere/Kormant.exe", "outside");
    temp.MakeFolder("dst");
    fs::create_symlink(temp.Path() / "elsewhere/Kormant.exe", temp.Path() / "dst/Kormant.exe");
    const auto outside = SnapshotOf(temp.Path() / "elsewhere");
    // A file link is replaced by the copy.
    CopyFolderTree(temp.Str() + "/src", temp.Str() + "/dst");
    EXPECT_FALSE(fs::is_symlink(temp.Path() / "dst/Kormant.exe"));
    EXPECT_EQ(ReadBytes(temp.Path() / "dst/Kormant.exe"), "new");
    // A link in place of a folder is refused.
    temp.MakeFile("src/Reports/Invoice.frf", "new report");
    fs::create_symlink(temp.Path() / "elsewhere", temp.Path() / "dst/Reports");
    EXPECT_EQ(FailureText([&] { CopyFolderTree(temp.Str() + "/src", temp.Str() + "/dst"); }),
              "Невозможно создать папку " + temp.Str() + "/dst/Reports/!");
    EXPECT_EQ(SnapshotOf(temp.Path() / "elsewhere"), outside);
}

// A file listed with its folder but deleted before its turn (by another program) fails the copy
// with its name instead of leaving a backup without it.
TEST(CopyFolderTree, AFileThatVanishesDuringTheCopyFailsWithItsName) {
    TTempFolder temp;
    for (const char* name : {"a", "b", "c", "d", "e", "f", "g", "h"}) {
        temp.MakeFile(std::string("src/") + name, name);
    }
    std::vector<std::string> order;
    for (const auto& entry : fs::directory_iterator(temp.Path() / "src")) {
        order.push_back(entry.path().filename().string());
    }
    // The first file to be copied is big, so the copy is still at it when the last one goes.
    temp.MakeFile("src/" + order.front(), std::string(32 << 20, 'x'));
    const auto victim = temp.Path() / "src" / order.back();
    const auto target = temp.MakeFolder("dst");
    const int watch = inotify_init1(IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, target.c_str(), IN_CREATE), 0);
    auto remover = std::async(std::launch::async, [&] {
        char event[sizeof(inotify_event) + NAME_MAX + 1];
        pollfd ready{watch, POLLIN, 0};
        const bool seen = poll(&ready, 1, 10000) == 1 && read(watch, event, sizeof event) > 0;
        fs::remove(victim);
        return seen;
    });
    const std::string failure =
        FailureText([&] { CopyFolderTree(temp.Str() + "/src", target.string()); });
    EXPECT_TRUE(remover.get());
    close(watch);
    EXPECT_EQ(failure, "Невозможно скопировать файл " + victim.string() + "!");
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
