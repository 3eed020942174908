// The script application's checks, texts and callbacks, with stand-in engines that show on
// demand what the real one cannot: missing entry points, refused connections, any order of
// reports. The real engine runs the real script against the server elsewhere.
#include "dbadmin/ScriptApplication.h"

#include "platform/Failure.h"
#include "tests/support/Environment.h"
#include "tests/support/FailureText.h"
#include "tests/support/LoadedLibrary.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include "platform/win32/WindowsSupport.h"
#endif

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

namespace {

// The pane as the window would show it, "<clear>" first once emptied; "~" marks a run of the
// event queue.
class TRecordingPane : public TScriptLogPane {
public:
    std::vector<std::string> Lines;
    void LogClear() override { Lines = {"<clear>"}; }
    void LogAppend(const std::string& line) override { Lines.push_back(line); }
    void ProcessEvents() override { Lines.push_back("~"); }
};

const std::string kPassword = "mirdelkoza";
const std::string kDatabase = "localhost/3051:/opt/QUV/Kormant/DB_Data/Kormant.fdb";

class ScriptApplication : public ::testing::Test {
protected:
    void SetUp() override {
        SetScriptEngineLibrary(FAKE_ENGINE);
        Record = Temp.Str() + "/engine.log";
        SetTestVariable("FAKE_ENGINE_RECORD", Record);
    }
    void TearDown() override {
        RemoveTestVariable("FAKE_ENGINE_RECORD");
        SetScriptEngineLibrary("IBEScript.dll");
    }

    // The failure text of one application of `script` (text mode), "<no failure>" when none.
    std::string Apply(const std::string& script, const std::string& password = kPassword,
                      bool withPane = true) {
        return FailureText<EFailure>([&] {
            ApplyScriptText("fbclient.dll", kDatabase, "SYSDBA", password, "", script,
                            withPane ? &Pane : nullptr);
        });
    }

    // What the engine received, one line a call.
    std::string Received() const {
        std::ifstream in(Record, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    TTempFolder Temp;
    std::string Record;
    TRecordingPane Pane;
};

// The connect string's values in the client library's encoding: the system's ANSI code page on
// Windows (1252 under Wine without a locale), UTF-8 elsewhere.
#ifdef _WIN32
const std::string kPasswordInTheClientsEncoding = " p\xE4ss; =x ";
#else
const std::string kPasswordInTheClientsEncoding = " p\xC3\xA4ss; =x ";
#endif

TEST_F(ScriptApplication, ConnectStringAndScriptReachTheEngineAsSpecified) {
    EXPECT_EQ(Apply(" \r\n log first line\nquery\r\n \r\n", " päss; =x "), "<no failure>");
    EXPECT_EQ(Received(), "connect[db_name=" + kDatabase +
                              "; password=" + kPasswordInTheClientsEncoding +
                              "; user_name=SYSDBA; lc_ctype=win1251; "
                              "sql_role_name=; sql_dialect=3; clientlib=\"fbclient.dll\"]\n"
                              "text[log first line\nquery]\n");
    // OnEngineQuery answers 0 for 1 and 1 for anything else; every line runs the queue once.
    EXPECT_EQ(Pane.Lines,
              (std::vector<std::string>{"<clear>", "first line", "~", "answers 0 1", "~"}));
    // The engine is unloaded before the call returns.
    EXPECT_FALSE(IsLibraryLoaded(FAKE_ENGINE));
}

// A Cyrillic password on Linux goes as it is; on a system whose code page lacks its letters it
// is refused before the engine is even loaded, with the text that names it.
TEST_F(ScriptApplication, AValueTheClientsCodePageCannotHoldIsRefusedBeforeTheEngineLoads) {
#ifdef _WIN32
    if (GetACP() != 1252) {
        GTEST_SKIP() << "written for the ANSI code page 1252, not " << GetACP();
    }
    EXPECT_EQ(Apply("query", "пароль"), "Невозможно передать клиенту Firebird пароль: символа "
                                        "\"п\" (U+043F) нет в кодовой странице системы 1252!");
    EXPECT_EQ(Received(), "");
    EXPECT_EQ(Pane.Lines, std::vector<std::string>{"<clear>"});
#else
    EXPECT_EQ(Apply("query", "пароль"), "<no failure>");
    EXPECT_NE(Received().find("; password=пароль; "), std::string::npos) << Received();
#endif
}

TEST_F(ScriptApplication, FailingStatementsAreLoggedAndTheLastOneIsRaised) {
    const std::string script =
        "fail insert into T values (1)|violation of PRIMARY KEY\r\n"
        "log between\n"
        "fail EXECUTE PROCEDURE CHECK_VERSIO(4)|exception 1\\r\xC2\xE5\xF0\xF1\xE8\xFF\n"
        "return 0";
    EXPECT_EQ(Apply(script),
              "Ошибка применения скрипта!\r"
              "\rВероятно, имеет место несоответствие между версией обновления и версией "
              "обновляемой базы данных!\r\r"
              "------- STATEMENT --------\rEXECUTE PROCEDURE CHECK_VERSIO(4)\r"
              "-------   ERROR   --------\rexception 1\rВерсия");
    EXPECT_EQ(Pane.Lines,
              (std::vector<std::string>{
                  "<clear>", "------- STATEMENT --------", "insert into T values (1)",
                  "-------   ERROR   --------", "violation of PRIMARY KEY\r", "~", "between", "~",
                  "------- STATEMENT --------", "EXECUTE PROCEDURE CHECK_VERSIO(4)",
                  "-------   ERROR   --------", "exception 1\rВерсия", "~"}));
}

struct TEndingCase {
    const char* Name;
    std::string Script;
    std::string Password;
    std::string Engine;
    std::string Expected;
    // What the pane shows afterwards.
    std::vector<std::string> Pane;
};

void PrintTo(const TEndingCase& c, std::ostream* os) {
    *os << c.Name;
}

class ScriptApplicationEndings : public ScriptApplication,
                                 public ::testing::WithParamInterface<TEndingCase> {};

TEST_P(ScriptApplicationEndings, EndWithTheirTextAndPane) {
    const TEndingCase& c = GetParam();
    SetScriptEngineLibrary(c.Engine.empty() ? FAKE_ENGINE : c.Engine);
    Pane.Lines = {"earlier line"};
    EXPECT_EQ(Apply(c.Script, c.Password), c.Expected);
    EXPECT_EQ(Pane.Lines, c.Pane);
}

const std::string kEngineFunction = "В библиотеке \"IBEScript.dll\" не найдена функция ";

INSTANTIATE_TEST_SUITE_P(
    Cases, ScriptApplicationEndings,
    ::testing::Values(
        TEndingCase{
            "BlankPasswordLeavesThePane", "log x", " ", "", "Не задан пароль!", {"earlier line"}},
        TEndingCase{"BlankScriptEmptiesThePaneAndLoadsNothing",
                    " \r\n\r\n ",
                    kPassword,
                    "/nonexistent/engine.so",
                    "Скрипт пустой!",
                    {"<clear>"}},
        TEndingCase{"EngineNotLoadable",
                    "log x",
                    kPassword,
                    "/nonexistent/engine.so",
                    "Невозможно загрузить библиотеку \"IBEScript.dll\"!",
                    {"<clear>"}},
        TEndingCase{"NoConnect",
                    "log x",
                    kPassword,
                    FAKE_ENGINE_NO_CONNECT,
                    kEngineFunction + "\"Connect\"!",
                    {"<clear>"}},
        TEndingCase{"NoExec",
                    "log x",
                    kPassword,
                    FAKE_ENGINE_NO_EXEC,
                    kEngineFunction + "\"ExecScriptText\"!",
                    {"<clear>"}},
        TEndingCase{"NeitherNamesConnect",
                    "log x",
                    kPassword,
                    FAKE_ENGINE_NO_ENTRY_POINTS,
                    kEngineFunction + "\"Connect\"!",
                    {"<clear>"}},
        TEndingCase{"ReportedConnectErrorFailsThoughConnectAnsweredZero",
                    "log x",
                    "report",
                    "",
                    "Ошибка подключения к базе данных!\rСервер недоступен",
                    {"<clear>"}},
        TEndingCase{"RefusedConnectWithoutReport",
                    "log x",
                    "refuse",
                    "",
                    "Ошибка подключения к базе данных!\r",
                    {"<clear>"}},
        TEndingCase{"NonZeroExecWithoutFailureIsSuccess",
                    "log x\nreturn 5",
                    kPassword,
                    "",
                    "<no failure>",
                    {"<clear>", "x", "~"}},
        TEndingCase{"VersionCheckWithTwoBlanksGetsNoHint",
                    "fail execute  procedure Check_Versio(4)|e",
                    kPassword,
                    "",
                    "Ошибка применения скрипта!\r------- STATEMENT --------\r"
                    "execute  procedure Check_Versio(4)\r-------   ERROR   --------\re",
                    {"<clear>", "------- STATEMENT --------", "execute  procedure Check_Versio(4)",
                     "-------   ERROR   --------", "e", "~"}}),
    [](const auto& info) { return std::string(info.param.Name); });

// The callback that throws, as an allocation failure could there; empty: none.
std::string gThrowingCallback;

struct TCallbackFailureCase {
    const char* Callback;
    std::string Script;
    std::string Password;
    std::string Expected;
    std::vector<std::string> Pane;
};

void PrintTo(const TCallbackFailureCase& c, std::ostream* os) {
    *os << c.Callback;
}

class ScriptApplicationCallbackFailures
    : public ScriptApplication,
      public ::testing::WithParamInterface<TCallbackFailureCase> {
protected:
    void SetUp() override {
        ScriptApplication::SetUp();
        gThrowingCallback = GetParam().Callback;
        SetScriptCallbackProbe([](const char* callback) {
            if (gThrowingCallback == callback) {
                throw std::bad_alloc();
            }
        });
    }
    void TearDown() override {
        SetScriptCallbackProbe(nullptr);
        ScriptApplication::TearDown();
    }
};

// Nothing goes back into the engine: a report that could not be kept fails the application with
// its own text, a line that could not be shown is only missing.
TEST_P(ScriptApplicationCallbackFailures, StayOnTheUpdatersSide) {
    EXPECT_EQ(Apply(GetParam().Script, GetParam().Password), GetParam().Expected);
    EXPECT_EQ(Pane.Lines, GetParam().Pane);
    EXPECT_FALSE(IsLibraryLoaded(FAKE_ENGINE));
}

const std::string kNotHandled =
    "Сообщение библиотеки \"IBEScript.dll\" не удалось обработать: std::bad_alloc";

INSTANTIATE_TEST_SUITE_P(
    Cases, ScriptApplicationCallbackFailures,
    ::testing::Values(TCallbackFailureCase{"OnConnectError",
                                           "log x",
                                           "report",
                                           "Ошибка подключения к базе данных!\r" + kNotHandled,
                                           {"<clear>"}},
                      TCallbackFailureCase{"OnStatementError",
                                           "log a\nfail s|e\nlog b",
                                           kPassword,
                                           "Ошибка применения скрипта!\r" + kNotHandled,
                                           {"<clear>", "a", "~", "b", "~"}},
                      TCallbackFailureCase{
                          "OnLogLine",
                          "log a\nfail s|e",
                          kPassword,
                          "Ошибка применения скрипта!\r------- STATEMENT --------\rs\r"
                          "-------   ERROR   --------\re",
                          {"<clear>", "------- STATEMENT --------", "s",
                           "-------   ERROR   --------", "e", "~"}}),
    [](const auto& info) { return std::string(info.param.Callback); });

TEST_F(ScriptApplication, WithoutAPaneFailuresAreStillCollected) {
    EXPECT_EQ(Apply("log x\nfail s|e", kPassword, false),
              "Ошибка применения скрипта!\r------- STATEMENT --------\rs\r"
              "-------   ERROR   --------\re");
    EXPECT_TRUE(Pane.Lines.empty());
}

TEST_F(ScriptApplication, FileModeChecksTheNameAndHandsItOn) {
    const auto apply = [&](const std::string& name) {
        return FailureText<EFailure>([&] {
            ApplyScript(false, "fbclient.dll", kDatabase, "SYSDBA", kPassword, "", name, &Pane);
        });
    };
    EXPECT_EQ(apply("  \r\n"), "Не задан файл скрипта!");
    const std::string missing = Temp.Str() + "/нет.sql";
    EXPECT_EQ(apply(" " + missing + " "), "Файл скрипта \"" + missing + "\" не найден!");
    const std::string file = Temp.MakeFile("update.sql", "commit;").string();
    EXPECT_EQ(apply(" " + file + "\r\n"), "<no failure>");
    EXPECT_NE(Received().find("file[" + file + "]\n"), std::string::npos);
}

} // namespace
