// IBEScript.dll as the updater loads it on Windows: the entry points under their plain names,
// and the failures of Connect reported through the callback on the calling thread.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "platform/DynamicLibrary.h"
#include "scriptengine/IBEScript.h"
#include "tools/payload/ProgramCheck.h"

namespace {

std::vector<std::string> ConnectErrors;
std::vector<std::string> StatementErrors;

int IBESCRIPT_CALL OnConnectError(const char* text) {
    ConnectErrors.emplace_back(text);
    return 0;
}

int IBESCRIPT_CALL OnStatementError(const char*, const char* text) {
    StatementErrors.emplace_back(text);
    return 0;
}

TEST(ScriptEngineWindows, EntryPointsHaveTheirPlainNamesAndConnectFailuresAreReported) {
    const auto engine = platform::TDynamicLibrary::Load(UPDATER_SCRIPT_ENGINE);
    ASSERT_TRUE(engine.IsLoaded());
    const auto connect = reinterpret_cast<TConnect>(engine.Find("Connect"));
    const auto execText = reinterpret_cast<TExecScriptText>(engine.Find("ExecScriptText"));
    ASSERT_NE(connect, nullptr);
    ASSERT_NE(execText, nullptr);
    EXPECT_NE(engine.Find("ExecScriptFile"), nullptr);

    const std::string fields = "db_name=localhost/3051:C:\\QUV\\Kormant\\DB_Data\\Kormant.fdb; "
                               "password=x; user_name=SYSDBA; lc_ctype=win1251; "
                               "sql_role_name=; sql_dialect=3; ";
    const struct {
        std::string ConnectString;
        std::string Text;
    } rows[] = {
        {fields + "clientlib=\"C:\\nowhere\\fbclient.dll\"",
         "Cannot load the client library \"C:\\nowhere\\fbclient.dll\": "},
        {"db_name=x", "Malformed connect string: "},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.ConnectString);
        ConnectErrors.clear();
        StatementErrors.clear();
        EXPECT_NE(connect(row.ConnectString.c_str(), OnConnectError), 0);
        ASSERT_EQ(ConnectErrors.size(), 1u);
        EXPECT_EQ(ConnectErrors[0].rfind(row.Text, 0), 0u) << ConnectErrors[0];
        // Nothing is attached, so a script runs nothing and says so.
        EXPECT_NE(execText("select 1 from rdb$database;", OnStatementError, nullptr, nullptr), 0);
        EXPECT_EQ(StatementErrors.size(), 1u);
    }
}

// It goes to other computers with the updater, where nothing but the system is installed.
TEST(ScriptEngineWindows, NeedsNothingBeyondTheSystemsDlls) {
    const auto imported = PeImportedLibraries(UPDATER_SCRIPT_ENGINE);
    ASSERT_TRUE(imported.has_value());
    EXPECT_FALSE(imported->empty());
    for (const auto& library : *imported) {
        EXPECT_TRUE(IsSystemLibrary(library)) << library;
    }
}

} // namespace
