#include "platform/FolderLookup.h"

#include <gtest/gtest.h>

#include "tests/support/TempFolder.h"

namespace {

using platform::FindChild;
using platform::TEntryKind;

TEST(FindChild, FindsANameInAnyLetterCase) {
    TTempFolder temp;
    temp.MakeFile("kORMANT.Exe");
    EXPECT_EQ(FindChild(temp.Str(), "Kormant.exe", TEntryKind::File), "kORMANT.Exe");
    EXPECT_EQ(FindChild(temp.Str(), "KORMANT.EXE", TEntryKind::File), "kORMANT.Exe");
}

#ifndef _WIN32
// Only a Linux folder can hold several spellings of one name.
TEST(FindChild, PrefersTheExactSpellingWhenSeveralExist) {
    TTempFolder temp;
    temp.MakeFile("KORMANT.EXE");
    temp.MakeFile("Kormant.exe");
    temp.MakeFile("kormant.exe");
    EXPECT_EQ(FindChild(temp.Str(), "Kormant.exe", TEntryKind::File), "Kormant.exe");
}

#endif

TEST(FindChild, FileAndFolderAreDifferentKinds) {
    TTempFolder temp;
    temp.MakeFolder("Kormant.exe");
    temp.MakeFile("program");
    EXPECT_EQ(FindChild(temp.Str(), "Kormant.exe", TEntryKind::File), std::nullopt);
    EXPECT_EQ(FindChild(temp.Str(), "Kormant.exe", TEntryKind::Folder), "Kormant.exe");
    EXPECT_EQ(FindChild(temp.Str(), "Program", TEntryKind::Folder), std::nullopt);
}

TEST(FindChild, MissingFolderAndSimilarNamesFindNothing) {
    TTempFolder temp;
    temp.MakeFile("Kormant.exe.bak");
    temp.MakeFile("Kormant.ex");
    EXPECT_EQ(FindChild(temp.Str(), "Kormant.exe", TEntryKind::File), std::nullopt);
    EXPECT_EQ(FindChild(temp.Str() + "/missing", "Kormant.exe", TEntryKind::File), std::nullopt);
}

TEST(SameNameIgnoringCase, FoldsAsciiLettersOnly) {
    EXPECT_TRUE(platform::SameNameIgnoringCase("DB_Data", "db_data"));
    EXPECT_FALSE(platform::SameNameIgnoringCase("DB_Data", "DB-Data"));
    EXPECT_FALSE(platform::SameNameIgnoringCase("a", "ab"));
}

} // namespace
