// The engine's reading of the connect string that the updater builds, and what the engine library
// needs on another computer.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

#include "scriptengine/ConnectString.h"

namespace {

using scriptengine::ParseConnectString;
using scriptengine::TConnectParams;

// The connect string exactly as the updater composes it.
std::string Compose(const TConnectParams& p) {
    return "db_name=" + p.DatabaseName + "; password=" + p.Password + "; user_name=" + p.UserName +
           "; lc_ctype=" + p.CharacterSet + "; sql_role_name=" + p.RoleName +
           "; sql_dialect=" + std::to_string(p.SqlDialect) + "; clientlib=\"" + p.ClientLibrary +
           "\"";
}

struct TCase {
    const char* Name;
    TConnectParams Params;
};

const TCase Cases[] = {
    {"plain",
     {"localhost/3051:/opt/QUV/Kormant/DB_Data/Kormant.fdb", "masterkey", "SYSDBA", "win1251", "",
      3, "fbclient.dll"}},
    {"blanks in the password",
     {"localhost/3051:/db.fdb", " two  words ", "SYSDBA", "win1251", "", 3, "fbclient.dll"}},
    {"semicolons and equal signs",
     {"localhost/3051:/db.fdb", "a;b=c; d=;=", "SYSDBA", "win1251", "", 3, "fbclient.dll"}},
    {"the separators of the keys",
     {"localhost/3051:/db.fdb",
      "x; password=y; user_name=z; lc_ctype=q; sql_dialect=1; "
      "clientlib=\"w\"",
      "SYSDBA", "win1251", "", 3, "fbclient.dll"}},
    {"empty password", {"localhost/3051:/db.fdb", "", "SYSDBA", "win1251", "", 3, "fbclient.dll"}},
    {"a role",
     {"localhost/3051:/db.fdb", "pw", "SYSDBA", "win1251", "RDB$ADMIN", 3, "fbclient.dll"}},
    {"Cyrillic bytes (windows-1251)",
     {"localhost/3051:/\xc1\xe0\xe7\xe0 \xe4\xe0\xed\xed\xfb\xf5.fdb", "\xef\xe0\xf0\xee\xeb\xfc",
      "SYSDBA", "win1251", "", 3, "fbclient.dll"}},
    {"blanks in the path and a library path",
     {"localhost/3051:/opt/QUV/My Kormant/DB_Data/Kormant.fdb", "pw", "SYSDBA", "", "", 1,
      "/usr/lib/x86_64-linux-gnu/libfbclient.so.2"}},
};

TEST(ConnectString, GivesBackEveryValueTheUpdaterPutIn) {
    for (const TCase& c : Cases) {
        SCOPED_TRACE(c.Name);
        std::string error;
        const auto parsed = ParseConnectString(Compose(c.Params), &error);
        ASSERT_TRUE(parsed.has_value()) << error;
        EXPECT_EQ(parsed->DatabaseName, c.Params.DatabaseName);
        EXPECT_EQ(parsed->Password, c.Params.Password);
        EXPECT_EQ(parsed->UserName, c.Params.UserName);
        EXPECT_EQ(parsed->CharacterSet, c.Params.CharacterSet);
        EXPECT_EQ(parsed->RoleName, c.Params.RoleName);
        EXPECT_EQ(parsed->SqlDialect, c.Params.SqlDialect);
        EXPECT_EQ(parsed->ClientLibrary, c.Params.ClientLibrary);
    }
}

TEST(ConnectString, ADatabaseNameHoldingThePasswordSeparatorEndsThere) {
    const auto parsed = ParseConnectString("db_name=/a; password=b; password=pw; user_name=SYSDBA; "
                                           "lc_ctype=win1251; sql_role_name=; sql_dialect=3; "
                                           "clientlib=\"fbclient.dll\"",
                                           nullptr);
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->DatabaseName, "/a");
    EXPECT_EQ(parsed->Password, "b; password=pw");
}

TEST(ConnectString, RefusesOtherForms) {
    const char* const refused[] = {
        "",
        "password=pw; db_name=/db.fdb; user_name=SYSDBA; lc_ctype=win1251; sql_role_name=; "
        "sql_dialect=3; clientlib=\"fbclient.dll\"",
        "db_name=/db.fdb; password=pw; user_name=SYSDBA; lc_ctype=win1251; sql_role_name=; "
        "sql_dialect=3; clientlib=fbclient.dll",
        "db_name=/db.fdb; password=pw; user_name=SYSDBA; lc_ctype=win1251; sql_role_name=; "
        "sql_dialect=3",
        "db_name=/db.fdb; password=pw; lc_ctype=win1251; sql_role_name=; sql_dialect=3; "
        "clientlib=\"fbclient.dll\"",
        "db_name=/db.fdb; password=pw; user_name=SYSDBA; lc_ctype=win1251; sql_role_name=; "
        "sql_dialect=4; clientlib=\"fbclient.dll\"",
        "db_name=/db.fdb; password=pw; user_name=SYSDBA; lc_ctype=win1251; sql_role_name=; "
        "sql_dialect=; clientlib=\"fbclient.dll\"",
        "db_name=/db.fdb;password=pw; user_name=SYSDBA; lc_ctype=win1251; sql_role_name=; "
        "sql_dialect=3; clientlib=\"fbclient.dll\"",
    };
    for (const char* text : refused) {
        SCOPED_TRACE(text);
        std::string error;
        EXPECT_FALSE(ParseConnectString(text, &error).has_value());
        EXPECT_EQ(error.rfind("Malformed connect string: ", 0), 0u) << error;
    }
}

// The engine goes to the operator's computer with the updater: it may need the C library and
// nothing else (the client library is loaded by name at run time).
TEST(EngineLibrary, NeedsNothingBeyondTheCLibrary) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "a sanitizer build links its runtimes";
#else
    std::FILE* pipe =
        popen(("readelf -d '" + std::string(UPDATER_SCRIPT_ENGINE) + "'").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::set<std::string> needed;
    char line[512];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        const std::string text = line;
        const auto open = text.find("(NEEDED)");
        const auto begin = text.find('[');
        const auto end = text.find(']');
        if (open != std::string::npos && begin != std::string::npos && end != std::string::npos) {
            needed.insert(text.substr(begin + 1, end - begin - 1));
        }
    }
    ASSERT_EQ(pclose(pipe), 0);
    EXPECT_FALSE(needed.empty());
    const std::set<std::string> cLibrary = {"libc.so.6", "libm.so.6", "ld-linux-x86-64.so.2"};
    for (const std::string& name : needed) {
        EXPECT_TRUE(cLibrary.count(name) == 1) << name;
    }
#endif
}

} // namespace
