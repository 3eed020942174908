// Reading one key of a settings file, and where the settings file of an executable is.
#include "platform/IniFile.h"

#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

namespace {

TEST(IniFile, ReadsOneValueAsWindowsProfileFunctionsDo) {
    struct TCase {
        const char* Name;
        std::string Content;
        std::string Expected;
    };
    const std::string longValue(5000, 'v');
    const TCase cases[] = {
        {"plain", "[SERVER]\nDataBaseClient=fbclient.dll\n", "fbclient.dll"},
        {"names without case", "[server]\ndatabaseclient=x.dll\n", "x.dll"},
        {"blanks around", "[SERVER]\n  DataBaseClient  =   x.dll   \n", "x.dll"},
        {"quotes", "[SERVER]\nDataBaseClient=\"C:\\a b\\x.dll\"\n", "C:\\a b\\x.dll"},
        {"CR LF", "[SERVER]\r\nDataBaseClient=x.dll\r\n", "x.dll"},
        {"first of two", "[SERVER]\nDataBaseClient=a\nDataBaseClient=b\n", "a"},
        {"semicolon kept", "[SERVER]\nDataBaseClient=a;b\n", "a;b"},
        {"other section", "[OTHER]\nDataBaseClient=x.dll\n", "default"},
        {"missing key", "[SERVER]\nOther=x.dll\n", "default"},
        {"empty value", "[SERVER]\nDataBaseClient=\n", ""},
        {"comment line", "[SERVER]\n;DataBaseClient=x.dll\n", "default"},
        {"long value", "[SERVER]\nDataBaseClient=" + longValue + "\n", longValue},
        {"garbage before", "\x01\x02 junk\n[SERVER]\nDataBaseClient=x.dll\n", "x.dll"},
        {"BOM", "\xEF\xBB\xBF[SERVER]\nDataBaseClient=x.dll\n", "x.dll"},
        {"later section", "[A]\nk=1\n[SERVER]\nDataBaseClient=y\n", "y"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TTempFolder folder;
        const std::string file = folder.MakeFile("Updater.ini", c.Content).string();
        EXPECT_EQ(platform::ReadIniString(file, "SERVER", "DataBaseClient", "default"), c.Expected);
    }
}

TEST(IniFile, MissingOrUnreadableFileGivesTheDefault) {
    TTempFolder folder;
    EXPECT_EQ(platform::ReadIniString((folder.Path() / "none.ini").string(), "S", "K", "d"), "d");
    EXPECT_EQ(platform::ReadIniString(folder.MakeFolder("dir.ini").string(), "S", "K", "d"), "d");
}

TEST(IniFile, SettingsFileOfAnExecutable) {
    const std::pair<const char*, const char*> cases[] = {
        {"/opt/QUV/Updater.exe", "/opt/QUV/Updater.ini"},
        {"/opt/QUV/Updater", "/opt/QUV/Updater.ini"},
        {"/opt/a.b/Updater", "/opt/a.b/Updater.ini"},
        {"C:\\a.b\\Updater.v4.exe", "C:\\a.b\\Updater.v4.ini"},
        {"Updater", "Updater.ini"},
    };
    for (const auto& [executable, expected] : cases) {
        EXPECT_EQ(platform::SettingsFileFor(executable), expected) << executable;
    }
}

} // namespace
