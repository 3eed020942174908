#include "platform/FolderUse.h"

#include <gtest/gtest.h>

#include "tests/support/ChildProcess.h"
#include "tests/support/TempFolder.h"

namespace {

TEST(FolderUse, AnUnusedFolderIsFree) {
    TTempFolder temp;
    temp.MakeFile("root/Program/Kormant.exe");
    EXPECT_FALSE(platform::FolderInUse((temp.Path() / "root").string()));
}

TEST(FolderUse, AnotherProgramWithAFileOpenInsideUsesIt) {
    TTempFolder temp;
    const auto file = temp.MakeFile("root/Program/Kormant.chm");
    const std::string pidFile = (temp.Path() / "pid").string();
    TBackgroundChild holder({"hold", file.string(), pidFile}, pidFile);
    ASSERT_TRUE(holder.Ready());
    EXPECT_TRUE(platform::FolderInUse((temp.Path() / "root").string()));
    // A sibling whose name starts alike is another folder.
    temp.MakeFolder("roo");
    EXPECT_FALSE(platform::FolderInUse((temp.Path() / "roo").string()));
}

TEST(FolderUse, AnotherProgramWhoseCurrentFolderIsInsideUsesIt) {
    TTempFolder temp;
    const auto inside = temp.MakeFolder("root/Program");
    const std::string pidFile = (temp.Path() / "pid").string();
    TBackgroundChild child({"in", inside.string(), pidFile}, pidFile);
    ASSERT_TRUE(child.Ready());
    EXPECT_TRUE(platform::FolderInUse((temp.Path() / "root").string()));
}

TEST(FolderUse, AProgramRunFromInsideUsesIt) {
    TTempFolder temp;
    const auto program = temp.MakeFolder("root/bin") / "child";
    std::filesystem::copy_file(ChildProgramPath(), program);
    const std::string pidFile = (temp.Path() / "pid").string();
    TBackgroundChild child({"wait", pidFile}, pidFile, program.string());
    ASSERT_TRUE(child.Ready());
    EXPECT_TRUE(platform::FolderInUse((temp.Path() / "root").string()));
}

TEST(FolderUse, ThisProgramsOwnCurrentFolderInsideUsesIt) {
    TTempFolder temp;
    const auto inside = temp.MakeFolder("root/Program");
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(inside);
    const bool used = platform::FolderInUse((temp.Path() / "root").string());
    std::filesystem::current_path(previous);
    EXPECT_TRUE(used);
}

} // namespace
