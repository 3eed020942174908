// The client bridge under Wine against the real server: the project's own layers (the service
// requests, the attachment layer, the database information, the script engine) with the bridge
// as their fbclient.dll, and what the bridge does with bad input.
#include "connectivity/attachment/ClientLibrary.h"
#include "dbadmin/AttachedUsers.h"
#include "dbadmin/DatabaseState.h"
#include "dbadmin/ScriptApplication.h"
#include "dbadmin/ServiceOperations.h"
#include "dbadmin/TDBConnection.h"

#include "scriptengine/IBEScript.h"
#include "tests/bridge/BridgeRecord.h"
#include "tests/firebird/TestServer.h"
#include "tests/support/FailureText.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

const std::string Client = UPDATER_BRIDGE_CLIENT;
const std::string Password = firebird_test::SysdbaPassword;

// The bridge's entry points, for what the layers do not do: making, reading and dropping the
// tests' own databases.
template <typename F> F Entry(const char* name) {
    static HMODULE module = LoadLibraryA(Client.c_str());
    const auto entry = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    if (entry == nullptr) {
        throw std::runtime_error(std::string("the bridge lacks ") + name);
    }
    return entry;
}
#define BRIDGE(name) Entry<decltype(&::name)>(#name)

std::string StatusText(const ISC_STATUS* status) {
    std::string text;
    char line[512];
    const ISC_STATUS* cursor = status;
    while (BRIDGE(fb_interpret)(line, sizeof line, &cursor) > 0) {
        text += (text.empty() ? "" : "\n") + std::string(line);
    }
    return text;
}

void Check(ISC_STATUS result, const ISC_STATUS* status, const std::string& what) {
    if (result != 0) {
        throw std::runtime_error(what + ": " + StatusText(status));
    }
}

std::string Dpb(const std::string& user = "SYSDBA", const std::string& password = Password) {
    std::string dpb{isc_dpb_version1, isc_dpb_user_name, static_cast<char>(user.size())};
    dpb += user;
    dpb += {isc_dpb_password, static_cast<char>(password.size())};
    return dpb + password;
}

isc_db_handle Attach(const std::string& databaseString, const std::string& user = "SYSDBA",
                     const std::string& password = Password) {
    ISC_STATUS_ARRAY status{};
    isc_db_handle handle = 0;
    const std::string dpb = Dpb(user, password);
    Check(BRIDGE(isc_attach_database)(status, 0, databaseString.c_str(), &handle,
                                      static_cast<short>(dpb.size()), dpb.data()),
          status, "attach " + databaseString);
    return handle;
}

// A database of its own in the server's instance folder, made and dropped through the bridge.
class TBridgeDatabase {
public:
    // `name` (ANSI text) goes into the file's name.
    explicit TBridgeDatabase(const std::string& name = "") {
        static std::atomic<int> counter{0};
        Path_ = std::string(firebird_test::InstanceFolder) + "/databases/bridge-" +
                (name.empty() ? std::string() : name + "-") +
                std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++) + ".fdb";
        std::string dpb = Dpb();
        dpb += {isc_dpb_set_db_charset, 7};
        dpb += "WIN1251";
        dpb += {isc_dpb_force_write, 1, 0};
        ISC_STATUS_ARRAY status{};
        isc_db_handle handle = 0;
        const std::string databaseString = DatabaseString();
        Check(BRIDGE(isc_create_database)(status, 0, databaseString.c_str(), &handle,
                                          static_cast<short>(dpb.size()), dpb.data(), 0),
              status, "create " + databaseString);
        Check(BRIDGE(isc_detach_database)(status, &handle), status, "detach");
    }
    ~TBridgeDatabase() {
        ISC_STATUS_ARRAY status{};
        try {
            isc_db_handle handle = Attach(DatabaseString());
            if (BRIDGE(isc_drop_database)(status, &handle) != 0) {
                BRIDGE(isc_detach_database)(status, &handle);
            }
        } catch (const std::exception&) {
        }
    }
    TBridgeDatabase(const TBridgeDatabase&) = delete;
    TBridgeDatabase& operator=(const TBridgeDatabase&) = delete;

    const std::string& Path() const { return Path_; }
    std::string DatabaseString() const { return firebird_test::DatabaseString(Path_); }

    // The first column of every row of `sql` as text (integers and strings), through the
    // bridge's DSQL calls.
    std::vector<std::string> Column(const std::string& sql) const {
        ISC_STATUS_ARRAY status{};
        isc_db_handle db = Attach(DatabaseString());
        isc_tr_handle tr = 0;
        struct {
            isc_db_handle* Database;
            int TpbLength;
            const char* Tpb;
        } block{&db, 0, nullptr};
        Check(BRIDGE(isc_start_multiple)(status, &tr, 1, &block), status, "start");
        isc_stmt_handle statement = 0;
        Check(BRIDGE(isc_dsql_allocate_statement)(status, &db, &statement), status, "allocate");
        std::vector<char> area(XSQLDA_LENGTH(1));
        auto* da = reinterpret_cast<XSQLDA*>(area.data());
        da->version = SQLDA_VERSION1;
        da->sqln = 1;
        Check(BRIDGE(isc_dsql_prepare)(status, &tr, &statement, 0, sql.c_str(), 3, da), status,
              "prepare " + sql);
        XSQLVAR& var = da->sqlvar[0];
        std::vector<char> value(static_cast<std::size_t>(var.sqllen) + 2);
        short indicator = 0;
        var.sqldata = value.data();
        var.sqlind = &indicator;
        Check(BRIDGE(isc_dsql_execute)(status, &tr, &statement, 3, nullptr), status, "execute");
        std::vector<std::string> rows;
        while (BRIDGE(isc_dsql_fetch)(status, &statement, 3, da) == 0) {
            const int type = var.sqltype & ~1;
            if (indicator < 0) {
                rows.emplace_back("<null>");
            } else if (type == SQL_LONG) {
                rows.push_back(std::to_string(*reinterpret_cast<ISC_LONG*>(value.data())));
            } else if (type == SQL_SHORT) {
                rows.push_back(std::to_string(*reinterpret_cast<short*>(value.data())));
            } else if (type == SQL_VARYING) {
                rows.emplace_back(value.data() + 2,
                                  *reinterpret_cast<unsigned short*>(value.data()));
            } else {
                rows.emplace_back(value.data(), static_cast<std::size_t>(var.sqllen));
            }
        }
        BRIDGE(isc_dsql_free_statement)(status, &statement, DSQL_drop);
        BRIDGE(isc_commit_transaction)(status, &tr);
        BRIDGE(isc_detach_database)(status, &db);
        return rows;
    }

private:
    std::string Path_;
};

class TPane : public TScriptLogPane {
public:
    std::vector<std::string> Lines;
    void LogClear() override { Lines.clear(); }
    void LogAppend(const std::string& line) override { Lines.push_back(line); }
    void ProcessEvents() override {}
};

const std::string TestDatabase = firebird_test::DatabaseString(firebird_test::TestDatabasePath);

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

TEST(ClientBridge, ServedStateOfTheTestDatabaseIsOnline) {
    const TServedStateRead read = ReadServedState(Client, TestDatabase, "SYSDBA", Password);
    EXPECT_EQ(read.State, TServedState::Online) << read.Message;
}

// The updater names the database by the installation's folder, on a Wine drive; the Linux server
// gets the Unix path that the drive maps to, in an attach and in a service request alike.
TEST(ClientBridge, AWineDrivePathReachesTheServerAsItsUnixPath) {
    const std::string drivePath =
        firebird_test::DatabaseString("Z:" + Replaced(firebird_test::TestDatabasePath, "/", "\\"));
    const TServedStateRead read = ReadServedState(Client, drivePath, "SYSDBA", Password);
    EXPECT_EQ(read.State, TServedState::Online) << read.Message;
    TBridgeDatabase db;
    const std::string own = firebird_test::DatabaseString("Z:" + Replaced(db.Path(), "/", "\\"));
    SetSingleUserMode(Client, own, "SYSDBA", Password);
    EXPECT_EQ(ReadServedState(Client, db.DatabaseString(), "SYSDBA", Password).State,
              TServedState::ShutDown);
    SetMultiUserMode(Client, own, "SYSDBA", Password);
}

TEST(ClientBridge, AttachedUsersListTheOtherUsersAttachment) {
    isc_db_handle other =
        Attach(TestDatabase, firebird_test::OtherUser, firebird_test::OtherPassword);
    std::vector<std::string> users;
    ReadAttachedUsers(Client, TestDatabase, "SYSDBA", Password, "", users);
    ISC_STATUS_ARRAY status{};
    BRIDGE(isc_detach_database)(status, &other);
    EXPECT_NE(std::find(users.begin(), users.end(), firebird_test::OtherUser), users.end());
}

TEST(ClientBridge, ServiceRequestsShutTheDatabaseDownAndBringItOnline) {
    TBridgeDatabase db;
    SetSingleUserMode(Client, db.DatabaseString(), "SYSDBA", Password);
    EXPECT_EQ(ReadServedState(Client, db.DatabaseString(), "SYSDBA", Password).State,
              TServedState::ShutDown);
    SetMultiUserMode(Client, db.DatabaseString(), "SYSDBA", Password);
    EXPECT_EQ(ReadServedState(Client, db.DatabaseString(), "SYSDBA", Password).State,
              TServedState::Online);
}

TEST(ClientBridge, ScriptEngineAppliesAScript) {
    TBridgeDatabase db;
    TPane pane;
    SetScriptEngineLibrary(UPDATER_SCRIPT_ENGINE);
    const std::string failure = FailureText([&] {
        ApplyScriptText(Client, db.DatabaseString(), "SYSDBA", Password, "",
                        "SET AUTODDL ON;\r\ncreate table T1 (A integer, B varchar(10));\r\n"
                        "insert into T1 values (7, 'seven');\r\ncommit;\r\n",
                        &pane);
    });
    SetScriptEngineLibrary("IBEScript.dll");
    EXPECT_EQ(failure, "<no failure>");
    EXPECT_EQ(db.Column("select A from T1"), std::vector<std::string>{"7"});
    EXPECT_EQ(db.Column("select B from T1"), std::vector<std::string>{"seven"});
}

// The server's refusal of a statement comes back through the engine's status vector and the
// client's message texts: the statement's block and the server's words.
TEST(ClientBridge, ScriptEngineReportsTheServersRefusalOfAStatement) {
    TBridgeDatabase db;
    TPane pane;
    SetScriptEngineLibrary(UPDATER_SCRIPT_ENGINE);
    const std::string failure = FailureText([&] {
        ApplyScriptText(Client, db.DatabaseString(), "SYSDBA", Password, "",
                        "SET AUTODDL ON;\r\ncreate table T1 (A integer);\r\n"
                        "insert into T1 values (1);\r\ncommit;\r\n"
                        "insert into T1 values ('x');\r\n",
                        &pane);
    });
    SetScriptEngineLibrary("IBEScript.dll");
    EXPECT_EQ(failure.rfind("Ошибка применения скрипта!\r------- STATEMENT --------\r"
                            "insert into T1 values ('x')\r-------   ERROR   --------\r",
                            0),
              0u)
        << failure;
    EXPECT_NE(failure.find("conversion error from string \"x\""), std::string::npos) << failure;
    EXPECT_EQ(db.Column("select A from T1"), std::vector<std::string>{"1"});
}

TEST(ClientBridge, AttachmentLayerAttachesAndReportsTheServersRefusal) {
    ResetClientLibrary(Client);
    {
        TDBConnection connection(TestDatabase, "SYSDBA", Password, "");
        EXPECT_EQ(FailureText([&] { connection.Attach(); }), "<no failure>");
        connection.Detach();
    }
    TDBConnection refused(TestDatabase, "SYSDBA", "wrong", "");
    const std::string failure = FailureText([&] { refused.Attach(); });
    EXPECT_NE(failure.find("Your user name and password are not defined"), std::string::npos)
        << failure;
    ResetClientLibrary("fbclient.dll");
}

// Sets a variable of the process's environment for one scope: the bridge reads its settings
// from there at each call and opens a new connection when they change.
class TScopedEnvironment {
public:
    TScopedEnvironment(const char* name, const std::string& value) : Name_(name) {
        char old[1024];
        const DWORD size = GetEnvironmentVariableA(name, old, sizeof old);
        Had_ = size > 0 && size < sizeof old;
        Old_.assign(old, Had_ ? size : 0);
        SetEnvironmentVariableA(name, value.c_str());
    }
    ~TScopedEnvironment() { SetEnvironmentVariableA(Name_, Had_ ? Old_.c_str() : nullptr); }
    TScopedEnvironment(const TScopedEnvironment&) = delete;
    TScopedEnvironment& operator=(const TScopedEnvironment&) = delete;

private:
    const char* Name_;
    bool Had_ = false;
    std::string Old_;
};

// A letter outside ASCII that the system's ANSI code page has, in that code page and in UTF-8
// (converted by the system, not by the bridge); empty when the code page has none of them.
struct TLetter {
    std::string Ansi;
    std::string Utf8;
};

TLetter AnsiLetter() {
    for (const wchar_t* letter : {L"\u00e9", L"\u0436", L"\u00fc"}) {
        char ansi[8] = {};
        BOOL lossy = FALSE;
        const int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, letter, 1, ansi,
                                             sizeof ansi, nullptr, &lossy);
        if (size == 1 && !lossy && static_cast<unsigned char>(ansi[0]) >= 0x80) {
            char utf8[8] = {};
            const int bytes =
                WideCharToMultiByte(CP_UTF8, 0, letter, 1, utf8, sizeof utf8, nullptr, nullptr);
            return {std::string(ansi, 1), std::string(utf8, static_cast<std::size_t>(bytes))};
        }
    }
    return {};
}

std::wstring Wide(const std::string& ansi) {
    std::wstring wide(ansi.size(), L'\0');
    wide.resize(static_cast<std::size_t>(
        MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), wide.data(),
                            static_cast<int>(wide.size()))));
    return wide;
}

// What the three layers report when the bridge cannot make their first call.
struct TLayerFailures {
    std::string Attachment;
    std::string Service;
    std::string Script;
};

TLayerFailures FailuresOfTheLayers() {
    TLayerFailures failures;
    ResetClientLibrary(Client);
    {
        TDBConnection connection(TestDatabase, "SYSDBA", Password, "");
        failures.Attachment = FailureText([&] { connection.Attach(); });
    }
    ResetClientLibrary("fbclient.dll");
    failures.Service =
        FailureText([&] { SetSingleUserMode(Client, TestDatabase, "SYSDBA", Password); });
    TPane pane;
    SetScriptEngineLibrary(UPDATER_SCRIPT_ENGINE);
    failures.Script = FailureText(
        [&] { ApplyScriptText(Client, TestDatabase, "SYSDBA", Password, "", "commit;", &pane); });
    SetScriptEngineLibrary("IBEScript.dll");
    return failures;
}

// The settings of a caller's environment that make the bridge fail, and the lines that every
// layer's text must then hold (the service layer drops the last line's full stop).
struct TBadBridge {
    const char* Name;
    const char* Port;
    const char* Fault;
    const char* TimeoutMs;
    std::vector<std::string> Lines;
};

void PrintTo(const TBadBridge& bad, std::ostream* out) {
    *out << bad.Name;
}

class BadBridge : public ::testing::TestWithParam<TBadBridge> {};

TEST_P(BadBridge, EveryLayerReportsItAsTheClientDoesAndNothingHangs) {
    const TBadBridge& bad = GetParam();
    TScopedEnvironment port("UPDATER_BRIDGE_PORT", bad.Port);
    TScopedEnvironment fault("UPDATER_BRIDGE_FAULT", bad.Fault);
    TScopedEnvironment timeout("UPDATER_BRIDGE_TIMEOUT_MS", bad.TimeoutMs);
    const auto begun = std::chrono::steady_clock::now();
    const TLayerFailures failures = FailuresOfTheLayers();
    EXPECT_LT(std::chrono::steady_clock::now() - begun, std::chrono::seconds(30));
    for (const std::string& line : bad.Lines) {
        EXPECT_NE(failures.Attachment.find(line), std::string::npos) << failures.Attachment;
        EXPECT_NE(failures.Service.find(line), std::string::npos) << failures.Service;
        EXPECT_NE(failures.Script.find(line), std::string::npos) << failures.Script;
    }
    // The client's texts come back in the ANSI code page; both layers read them from it.
    if (std::string(bad.Fault) == "strings:*" && AnsiLetter().Utf8 == "\xC3\xA9") {
        EXPECT_NE(failures.Attachment.find("bridge fault text 1 \xC3\xA9"), std::string::npos)
            << failures.Attachment;
        EXPECT_NE(failures.Service.find("bridge fault text 1 \xC3\xA9"), std::string::npos)
            << failures.Service;
    }
}

const std::string Unreachable = "Unable to complete network request to host \"localhost\".";

INSTANTIATE_TEST_SUITE_P(
    Rows, BadBridge,
    ::testing::Values(TBadBridge{"HelperNotRunning",
                                 "3058",
                                 "",
                                 "60000",
                                 {Unreachable, "Failed to establish a connection"}},
                      TBadBridge{"ConnectionBreaksInTheMiddleOfTheReply",
                                 UPDATER_BRIDGE_PORT,
                                 "break:*",
                                 "60000",
                                 {Unreachable, "Error reading data from the connection"}},
                      TBadBridge{"HelperStopsAnswering",
                                 UPDATER_BRIDGE_PORT,
                                 "stall:*",
                                 "1500",
                                 {Unreachable, "Error reading data from the connection"}},
                      TBadBridge{"StatusVectorWithManyStrings",
                                 UPDATER_BRIDGE_PORT,
                                 "strings:*",
                                 "60000",
                                 {"bridge fault text 1 "}}),
    [](const ::testing::TestParamInfo<TBadBridge>& info) { return std::string(info.param.Name); });

TEST(ClientBridge, AnUnreachableHelperGivesTheClientsNetworkVector) {
    TScopedEnvironment port("UPDATER_BRIDGE_PORT", "3058");
    ISC_STATUS status[24];
    std::fill(std::begin(status), std::end(status), 0x5A5A);
    isc_db_handle handle = 0;
    const std::string dpb = Dpb();
    EXPECT_EQ(BRIDGE(isc_attach_database)(status, 0, TestDatabase.c_str(), &handle,
                                          static_cast<short>(dpb.size()), dpb.data()),
              isc_network_error);
    EXPECT_EQ(handle, isc_db_handle{});
    ASSERT_EQ(status[0], isc_arg_gds);
    EXPECT_EQ(status[1], isc_network_error);
    ASSERT_EQ(status[2], isc_arg_string);
    EXPECT_STREQ(reinterpret_cast<const char*>(status[3]), "localhost");
    EXPECT_EQ(status[4], isc_arg_gds);
    EXPECT_EQ(status[5], isc_net_connect_err);
    EXPECT_EQ(status[6], isc_arg_win32);
    EXPECT_EQ(status[7], 10061); // WSAECONNREFUSED
    EXPECT_EQ(status[8], isc_arg_end);
    EXPECT_EQ(status[9], 0x5A5A);
    EXPECT_EQ(BRIDGE(isc_sqlcode)(status), -902);
    // Worded by the bridge itself, the helper being away; a text that does not fit is not given.
    EXPECT_EQ(StatusText(status).rfind(Unreachable + "\nFailed to establish a connection.\n", 0),
              0u)
        << StatusText(status);
    char text[16];
    const ISC_STATUS* cursor = status;
    EXPECT_EQ(BRIDGE(fb_interpret)(text, sizeof text, &cursor), 0);
    EXPECT_EQ(cursor, status);
}

TEST(ClientBridge, ManyStringsFillAtMostTwentyWordsAndStayValid) {
    TScopedEnvironment fault("UPDATER_BRIDGE_FAULT", "strings:isc_attach_database");
    ISC_STATUS status[40];
    std::fill(std::begin(status), std::end(status), 0x5A5A);
    isc_db_handle handle = 0;
    const std::string dpb = Dpb();
    EXPECT_EQ(BRIDGE(isc_attach_database)(status, 0, TestDatabase.c_str(), &handle,
                                          static_cast<short>(dpb.size()), dpb.data()),
              isc_random);
    EXPECT_EQ(std::count(status, status + 20, isc_arg_end), 1);
    EXPECT_EQ(status[18], isc_arg_end);
    for (int i = 20; i < 40; ++i) {
        EXPECT_EQ(status[i], 0x5A5A) << i;
    }
    // The texts are in the caller's code page (the helper sends "\xC3\xA9" in UTF-8) and
    // outlive further calls.
    const std::string first = reinterpret_cast<const char*>(status[3]);
    const std::string fourth = reinterpret_cast<const char*>(status[15]);
    EXPECT_EQ(first.substr(0, 20), "bridge fault text 1 ");
    EXPECT_EQ(fourth.substr(0, 20), "bridge fault text 4 ");
    if (AnsiLetter().Utf8 == "\xC3\xA9") {
        EXPECT_EQ(first, "bridge fault text 1 " + AnsiLetter().Ansi);
    }
    BRIDGE(isc_detach_database)(status + 20, &handle);
    EXPECT_EQ(StatusText(status).substr(0, 20), "bridge fault text 1 ");
    EXPECT_EQ(reinterpret_cast<const char*>(status[15]), fourth);
}

TEST(ClientBridge, RepliesLongerThanTheCallersBufferStopAtItsEnd) {
    TScopedEnvironment fault("UPDATER_BRIDGE_FAULT", "oversize:*");
    isc_db_handle db = Attach(TestDatabase);
    ISC_STATUS_ARRAY status{};
    const char items[] = {isc_info_page_size, isc_info_end};
    char reply[64];
    std::memset(reply, 0x5A, sizeof reply);
    EXPECT_EQ(BRIDGE(isc_database_info)(status, &db, sizeof items, items, 16, reply), 0);
    EXPECT_EQ(reply[0], isc_info_page_size);
    EXPECT_EQ(std::count(reply + 16, reply + sizeof reply, 0x5A), 48);
    BRIDGE(isc_detach_database)(status, &db);

    // A code that the helper words (the bridge words only its own).
    const ISC_STATUS refusal[] = {isc_arg_gds, isc_bad_db_format, isc_arg_string,
                                  reinterpret_cast<ISC_STATUS>("x.fdb"), isc_arg_end};
    // The real client gives nothing when the text does not fit (here below 50 bytes), and the
    // cursor stays; the oversized reply is cut at the caller's size either way.
    char text[96];
    std::memset(text, 0x5A, sizeof text);
    const ISC_STATUS* cursor = refusal;
    EXPECT_EQ(BRIDGE(fb_interpret)(text, 20, &cursor), 0);
    EXPECT_EQ(cursor, refusal);
    EXPECT_EQ(std::count(text + 20, text + sizeof text, 0x5A), 76);
    EXPECT_EQ(BRIDGE(fb_interpret)(text, 56, &cursor), 34);
    EXPECT_EQ(std::string(text), "file x.fdb is not a valid database" + std::string(21, 'X'));
    EXPECT_EQ(std::count(text + 56, text + sizeof text, 0x5A), 40);
    EXPECT_EQ(cursor, refusal + 4);
    // isc_interprete knows no size: the client writes at most 1,024 bytes.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    std::vector<char> large(2048, 0x5A);
    cursor = refusal;
    const ISC_LONG length = BRIDGE(isc_interprete)(large.data(), const_cast<ISC_STATUS**>(&cursor));
    EXPECT_LE(length, 1023);
    EXPECT_EQ(std::count(large.begin() + 1024, large.end(), 0x5A), 1024);
#pragma GCC diagnostic pop
}

TEST(ClientBridge, OversizedRepliesLeaveTheLayersResultsWhole) {
    TScopedEnvironment fault("UPDATER_BRIDGE_FAULT", "oversize:*");
    isc_db_handle other =
        Attach(TestDatabase, firebird_test::OtherUser, firebird_test::OtherPassword);
    std::vector<std::string> users;
    ReadAttachedUsers(Client, TestDatabase, "SYSDBA", Password, "", users);
    EXPECT_EQ(ReadServedState(Client, TestDatabase, "SYSDBA", Password).State,
              TServedState::Online);
    ISC_STATUS_ARRAY status{};
    BRIDGE(isc_detach_database)(status, &other);
    EXPECT_NE(std::find(users.begin(), users.end(), firebird_test::OtherUser), users.end());
}

TEST(ClientBridge, TheServersTruncatedReplyFitsTheCallersBuffer) {
    isc_db_handle db = Attach(TestDatabase);
    ISC_STATUS_ARRAY status{};
    const char items[] = {isc_info_user_names, isc_info_page_size, isc_info_end};
    char reply[16];
    std::memset(reply, 0x5A, sizeof reply);
    EXPECT_EQ(BRIDGE(isc_database_info)(status, &db, sizeof items, items, 4, reply), 0);
    EXPECT_NE(std::find(reply, reply + 4, isc_info_truncated), reply + 4);
    EXPECT_EQ(std::count(reply + 4, reply + sizeof reply, 0x5A), 12);
    BRIDGE(isc_detach_database)(status, &db);
}

TEST(ClientBridge, ParametersAndValuesCrossFieldByField) {
    TBridgeDatabase db;
    ISC_STATUS_ARRAY status{};
    isc_db_handle handle = Attach(db.DatabaseString());
    isc_tr_handle tr = 0;
    const char create[] = "create table T2 (A integer, B varchar(20), C integer)";
    Check(
        BRIDGE(isc_dsql_execute_immediate)(status, &handle, &tr, 0, "set transaction", 3, nullptr),
        status, "set transaction");
    Check(BRIDGE(isc_dsql_execute_immediate)(status, &handle, &tr, 0, create, 3, nullptr), status,
          create);
    Check(BRIDGE(isc_commit_retaining)(status, &tr), status, "commit retaining");
    isc_stmt_handle statement = 0;
    Check(BRIDGE(isc_dsql_alloc_statement2)(status, &handle, &statement), status, "allocate");
    Check(BRIDGE(isc_dsql_prepare)(status, &tr, &statement, 0,
                                   "insert into T2 values (?, ?, ?) returning A + 1", 3, nullptr),
          status, "prepare");
    std::vector<char> area(XSQLDA_LENGTH(3));
    auto* in = reinterpret_cast<XSQLDA*>(area.data());
    in->version = SQLDA_VERSION1;
    in->sqln = 3;
    Check(BRIDGE(isc_dsql_describe_bind)(status, &statement, 3, in), status, "describe bind");
    ASSERT_EQ(in->sqld, 3);
    EXPECT_EQ(in->sqlvar[0].sqltype & ~1, SQL_LONG);
    EXPECT_EQ(in->sqlvar[1].sqltype & ~1, SQL_VARYING);
    EXPECT_EQ(in->sqlvar[1].sqllen, 20);
    ISC_LONG a = -123456;
    char b[22] = {5, 0, 'f', 'i', 'v', 'e', '!'};
    short notNull = 0;
    short null = -1;
    in->sqlvar[0].sqldata = reinterpret_cast<char*>(&a);
    in->sqlvar[0].sqlind = &notNull;
    in->sqlvar[1].sqldata = b;
    in->sqlvar[1].sqlind = &notNull;
    in->sqlvar[2].sqldata = reinterpret_cast<char*>(&a);
    in->sqlvar[2].sqlind = &null;
    std::vector<char> outArea(XSQLDA_LENGTH(1));
    auto* out = reinterpret_cast<XSQLDA*>(outArea.data());
    out->version = SQLDA_VERSION1;
    out->sqln = 1;
    Check(BRIDGE(isc_dsql_describe)(status, &statement, 3, out), status, "describe");
    ISC_INT64 returned = 0;
    short returnedIndicator = -1;
    out->sqlvar[0].sqldata = reinterpret_cast<char*>(&returned);
    out->sqlvar[0].sqlind = &returnedIndicator;
    Check(BRIDGE(isc_dsql_execute2)(status, &tr, &statement, 3, in, out), status, "execute");
    EXPECT_EQ(out->sqlvar[0].sqltype & ~1, SQL_INT64);
    EXPECT_EQ(returned, -123455);
    EXPECT_EQ(returnedIndicator, 0);
    char info[32];
    const char items[] = {isc_info_sql_stmt_type};
    Check(BRIDGE(isc_dsql_sql_info)(status, &statement, sizeof items, items, sizeof info, info),
          status, "sql info");
    EXPECT_EQ(info[0], isc_info_sql_stmt_type);
    EXPECT_EQ(
        BRIDGE(isc_vax_integer)(info + 3, static_cast<short>(BRIDGE(isc_vax_integer)(info + 1, 2))),
        isc_info_sql_stmt_exec_procedure);
    BRIDGE(isc_dsql_free_statement)(status, &statement, DSQL_drop);
    EXPECT_EQ(statement, isc_stmt_handle{});
    Check(BRIDGE(isc_commit_transaction)(status, &tr), status, "commit");
    BRIDGE(isc_detach_database)(status, &handle);
    EXPECT_EQ(db.Column("select A from T2"), std::vector<std::string>{"-123456"});
    EXPECT_EQ(db.Column("select B from T2"), std::vector<std::string>{"five!"});
    EXPECT_EQ(db.Column("select C from T2"), std::vector<std::string>{"<null>"});
}

TEST(ClientBridge, ServiceQueryAndTheClientsOwnComputations) {
    ISC_STATUS_ARRAY status{};
    isc_svc_handle service = 0;
    const std::string name = std::string(firebird_test::Server) + ":service_mgr";
    std::string spb{isc_spb_version, isc_spb_current_version, isc_spb_user_name, 6};
    spb += "SYSDBA";
    spb += {isc_spb_password, static_cast<char>(Password.size())};
    spb += Password;
    Check(BRIDGE(isc_service_attach)(status, 0, name.c_str(), &service,
                                     static_cast<unsigned short>(spb.size()), spb.data()),
          status, "service attach");
    const char request[] = {isc_info_svc_server_version};
    char reply[128] = {};
    Check(BRIDGE(isc_service_query)(status, &service, nullptr, 0, nullptr, sizeof request, request,
                                    sizeof reply, reply),
          status, "service query");
    BRIDGE(isc_service_detach)(status, &service);
    ASSERT_EQ(reply[0], isc_info_svc_server_version);
    const auto length = BRIDGE(isc_vax_integer)(reply + 1, 2);
    // The server that the test run started (tests/firebird/firebird-server.sh).
    const char* major = std::getenv("UPDATER_TEST_FIREBIRD");
    const std::string expected = std::string("Firebird ") + (major != nullptr ? major : "3");
    EXPECT_NE(std::string(reply + 3, static_cast<std::size_t>(length)).find(expected),
              std::string::npos);

    const char bytes[] = {'\x01', '\x02', '\xFF', '\xFF', '\x7F'};
    EXPECT_EQ(BRIDGE(isc_vax_integer)(bytes, 2), 0x0201);
    EXPECT_EQ(BRIDGE(isc_vax_integer)(bytes + 2, 2), -1);
    EXPECT_EQ(BRIDGE(isc_vax_integer)(bytes, 5), 0);
    EXPECT_EQ(BRIDGE(isc_portable_integer)(reinterpret_cast<const ISC_UCHAR*>(bytes), 5),
              0x7FFFFF0201LL);
    char text[64] = {};
    BRIDGE(isc_sql_interprete)(-902, text, sizeof text);
    EXPECT_NE(std::string(text).find("Unsuccessful execution"), std::string::npos) << text;
}

TEST(ClientBridge, AnEntryPointThatIsNotForwardedFailsWithItsName) {
    ISC_STATUS_ARRAY status{};
    isc_db_handle db = 0;
    isc_tr_handle tr = 0;
    isc_blob_handle blob = 0;
    ISC_QUAD id{};
    EXPECT_EQ(BRIDGE(isc_create_blob2)(status, &db, &tr, &blob, &id, 0, nullptr), isc_wish_list);
    EXPECT_EQ(StatusText(status),
              "feature is not supported\nisc_create_blob2 is not forwarded by the client bridge");
    EXPECT_EQ(BRIDGE(isc_sqlcode)(status), -901);
}

TEST(ClientBridge, AnAnsiFileNameReachesTheServerInUtf8) {
    const TLetter letter = AnsiLetter();
    if (letter.Ansi.empty()) {
        GTEST_SKIP() << "the ANSI code page has none of the letters tried";
    }
    TBridgeDatabase db(letter.Ansi);
    // Wine names the file on Linux in UTF-8: it is found by its Unicode name.
    const std::wstring unicode = L"Z:" + Wide(Replaced(db.Path(), "/", "\\"));
    EXPECT_NE(GetFileAttributesW(unicode.c_str()), INVALID_FILE_ATTRIBUTES);
    // The layers take the program's UTF-8 and hand the client the ANSI name.
    const std::string utf8Name = Replaced(db.DatabaseString(), letter.Ansi, letter.Utf8);
    SetSingleUserMode(Client, utf8Name, "SYSDBA", Password);
    EXPECT_EQ(ReadServedState(Client, utf8Name, "SYSDBA", Password).State, TServedState::ShutDown);
    SetMultiUserMode(Client, utf8Name, "SYSDBA", Password);
    EXPECT_EQ(ReadServedState(Client, utf8Name, "SYSDBA", Password).State, TServedState::Online);

    // With isc_dpb_utf8_filename the name is taken as given, in UTF-8.
    std::string dpb = Dpb();
    dpb += {isc_dpb_utf8_filename, 0};
    ISC_STATUS_ARRAY status{};
    isc_db_handle handle = 0;
    EXPECT_EQ(BRIDGE(isc_attach_database)(status, 0, utf8Name.c_str(), &handle,
                                          static_cast<short>(dpb.size()), dpb.data()),
              0)
        << StatusText(status);
    BRIDGE(isc_detach_database)(status, &handle);
    // Without it, UTF-8 bytes are read as ANSI text and name another file.
    const std::string plain = Dpb();
    EXPECT_EQ(BRIDGE(isc_attach_database)(status, 0, utf8Name.c_str(), &handle,
                                          static_cast<short>(plain.size()), plain.data()),
              isc_io_error);
}

TEST(ClientBridge, RecordsWhatTheCallerGaveAndWhatWentToTheServer) {
    const TLetter letter = AnsiLetter();
    if (letter.Ansi.empty()) {
        GTEST_SKIP() << "the ANSI code page has none of the letters tried";
    }
    TBridgeDatabase db(letter.Ansi);
    const std::string record = std::string(UPDATER_TEST_SCRATCH) + "\\bridge-record-" +
                               std::to_string(GetCurrentProcessId()) + ".txt";
    CreateDirectoryA(UPDATER_TEST_SCRATCH, nullptr);
    DeleteFileA(record.c_str());
    // The layers are given UTF-8; the client is handed the ANSI text.
    const std::string utf8DatabaseString = Replaced(db.DatabaseString(), letter.Ansi, letter.Utf8);
    {
        TScopedEnvironment recording("UPDATER_BRIDGE_RECORD", record);
        SetSingleUserMode(Client, utf8DatabaseString, "SYSDBA", Password);
        SetMultiUserMode(Client, utf8DatabaseString, "SYSDBA", Password);
        std::vector<std::string> users;
        ReadAttachedUsers(Client, TestDatabase, "SYSDBA", Password, "", users);
        ResetClientLibrary(Client);
        TDBConnection refused(utf8DatabaseString, "SYSDBA", "p" + letter.Utf8, "");
        EXPECT_NE(FailureText([&] { refused.Attach(); }), "<no failure>");
    }
    ResetClientLibrary("fbclient.dll");
    const std::vector<bridge_record::TCall> calls = bridge_record::Read(record);
    DeleteFileA(record.c_str());
    std::vector<std::string> names;
    for (const bridge_record::TCall& call : calls) {
        names.push_back(call.Name + (call.Result == 0 ? "+" : "-"));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"isc_service_attach+", "isc_service_start+",
                                               "isc_service_detach+", "isc_service_attach+",
                                               "isc_service_start+", "isc_service_detach+",
                                               "isc_attach_database+", "isc_database_info+",
                                               "isc_detach_database+", "isc_attach_database-"}));
    ASSERT_EQ(calls.size(), 10u);
    const std::string path = db.Path();
    const std::string utf8Path = Replaced(path, letter.Ansi, letter.Utf8);
    // The start request: sent with the name in UTF-8, given to the client in ANSI.
    ASSERT_EQ(calls[1].Args.size(), 2u);
    EXPECT_NE(calls[1].Args[0].find(utf8Path), std::string::npos);
    EXPECT_NE(calls[1].Args[1].find(path), std::string::npos);
    EXPECT_EQ(calls[1].Args[0].size(), calls[1].Args[1].size() + letter.Utf8.size() - 1);
    EXPECT_EQ(calls[0].Args[0], std::string(firebird_test::Server) + ":service_mgr");
    // The attach: path and parameter block sent, then as given.
    ASSERT_EQ(calls[6].Args.size(), 4u);
    EXPECT_EQ(calls[6].Args[0], TestDatabase);
    EXPECT_EQ(calls[6].Args[2], TestDatabase);
    EXPECT_EQ(calls[6].Args[1], calls[6].Args[3]);
    EXPECT_EQ(calls[7].Args, (std::vector<std::string>{std::string(1, isc_info_user_names), "20480",
                                                       calls[7].Args.at(2)}));
    ASSERT_EQ(calls[9].Args.size(), 4u);
    EXPECT_EQ(calls[9].Args[0], firebird_test::DatabaseString(utf8Path));
    EXPECT_EQ(calls[9].Args[2], db.DatabaseString());
    EXPECT_NE(calls[9].Args[1].find("p" + letter.Utf8), std::string::npos);
    EXPECT_NE(calls[9].Args[3].find("p" + letter.Ansi), std::string::npos);
}

int IBESCRIPT_CALL IgnoreConnectError(const char*) {
    return 0;
}
int IBESCRIPT_CALL IgnoreStatementError(const char*, const char*) {
    return 0;
}
int IBESCRIPT_CALL IgnoreLogLine(int, const char*) {
    return 0;
}
int IBESCRIPT_CALL AnswerQuery(int, int value) {
    return value == 1 ? 0 : 1;
}

// The engine ends everything in its exec call, success or failure: when the call returns,
// nothing of it is attached, and no client call happens while the engine's library is unloaded
// (under the loader lock). The engine's client is a copy of the bridge under a name of its own,
// whose calls the record holds. (The bridge pins itself in the process, so that the client is
// freed is seen by the Linux build's engine test.)
TEST(ClientBridge, TheEngineLeavesNothingForItsUnload) {
    TBridgeDatabase db;
    CreateDirectoryA(UPDATER_TEST_SCRATCH, nullptr);
    const std::string stem =
        std::string(UPDATER_TEST_SCRATCH) + "\\engine-" + std::to_string(GetCurrentProcessId());
    const std::string client = stem + "-client.dll";
    const std::string record = stem + "-record.txt";
    ASSERT_TRUE(CopyFileA(Client.c_str(), client.c_str(), FALSE));
    const std::string connectString = "db_name=" + db.DatabaseString() + "; password=" + Password +
                                      "; user_name=SYSDBA; lc_ctype=win1251; sql_role_name=; "
                                      "sql_dialect=3; clientlib=\"" +
                                      client + "\"";
    const std::string others = "select cast(count(*) as integer) from mon$attachments "
                               "where mon$attachment_id <> current_connection "
                               "and mon$system_flag = 0";
    // The same statement twice: the second run fails, the table being there.
    for (const char* script : {"create table E (X integer);", "create table E (X integer);"}) {
        SCOPED_TRACE(script);
        DeleteFileA(record.c_str());
        TScopedEnvironment recording("UPDATER_BRIDGE_RECORD", record);
        const HMODULE engine = LoadLibraryA(UPDATER_SCRIPT_ENGINE);
        ASSERT_NE(engine, nullptr);
        const auto connect =
            reinterpret_cast<TConnect>(reinterpret_cast<void*>(GetProcAddress(engine, "Connect")));
        const auto exec = reinterpret_cast<TExecScriptText>(
            reinterpret_cast<void*>(GetProcAddress(engine, "ExecScriptText")));
        ASSERT_TRUE(connect != nullptr && exec != nullptr);
        ASSERT_EQ(connect(connectString.c_str(), IgnoreConnectError), 0);
        EXPECT_EQ(db.Column(others), std::vector<std::string>{"1"});
        exec(script, IgnoreStatementError, IgnoreLogLine, AnswerQuery);
        EXPECT_EQ(db.Column(others), std::vector<std::string>{"0"});
        const std::vector<bridge_record::TCall> before = bridge_record::Read(record);
        ASSERT_FALSE(before.empty());
        EXPECT_EQ(before.back().Name, "isc_detach_database");
        FreeLibrary(engine);
        EXPECT_EQ(bridge_record::Read(record).size(), before.size());
    }
    EXPECT_EQ(db.Column("select cast(count(*) as integer) from rdb$relations "
                        "where rdb$relation_name = 'E'"),
              std::vector<std::string>{"1"});
    DeleteFileA(record.c_str());
    DeleteFileA(client.c_str());
}

} // namespace
