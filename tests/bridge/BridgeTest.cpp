// The client bridge under Wine against the real server: the project's own layers (the service
// requests, the attachment layer, the database information, the script engine) with the bridge
// as their fbclient.dll, and what the bridge does with bad input.
#include "connectivity/attachment/ClientLibrary.h"
#include "dbadmin/AttachedUsers.h"
#include "dbadmin/DatabaseState.h"
#include "dbadmin/ScriptApplication.h"
#include "dbadmin/ServiceOperations.h"
#include "dbadmin/TDBConnection.h"

#include "tests/firebird/TestServer.h"
#include "tests/support/FailureText.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
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

TEST(ClientBridge, ServedStateOfTheTestDatabaseIsOnline) {
    const TServedStateRead read = ReadServedState(Client, TestDatabase, "SYSDBA", Password);
    EXPECT_EQ(read.State, TServedState::Online) << read.Message;
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

} // namespace
