// The attachment object without a server: what its construction makes of the connection, the
// transaction and the query, the settings' own rules, and a client library that cannot be loaded.
#include "dbadmin/TDBConnection.h"

#include "connectivity/attachment/ClientLibrary.h"
#include "connectivity/attachment/EIB_Error.h"
#include "connectivity/attachment/TIB_Session.h"
#include "tests/support/FailureText.h"

#include <gtest/gtest.h>

namespace {

// No file of this name exists anywhere, so nothing is ever loaded.
constexpr const char* MissingClient = "no-such-client-library.dll";

class DBConnection : public ::testing::Test {
protected:
    void SetUp() override { ResetClientLibrary(MissingClient); }
    void TearDown() override { ResetClientLibrary("gds32.dll"); }
};

TEST_F(DBConnection, PageSizeIsRoundedDownToWholeKilobytesAndNeverBelowOne) {
    struct TRow {
        int Written;
        const char* Line;
        int Read;
    };
    const TRow rows[] = {
        {4096, "4096", 4096}, {5000, "4096", 4096},    {8191, "7168", 7168}, {2048, "2048", 2048},
        {2047, "", 1024},     {1024, "", 1024},        {1023, "", 1024},     {0, "", 1024},
        {-4096, "", 1024},    {65536, "65536", 65536},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Written);
        TIB_Connection connection;
        connection.SetPageSize(8192);
        connection.SetPageSize(row.Written);
        EXPECT_EQ(connection.Params().Get("PAGE SIZE"), row.Line);
        EXPECT_EQ(connection.PageSize(), row.Read);
    }
}

TEST_F(DBConnection, SqlDialectKeepsValuesAboveOneAndReadsOneWhenMissing) {
    struct TRow {
        int Written;
        const char* Line;
        int Read;
    };
    const TRow rows[] = {{3, "3", 3}, {2, "2", 2}, {1, "", 1}, {0, "", 1}, {-3, "", 1}};
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Written);
        TIB_Connection connection;
        connection.SetSQLDialect(3);
        connection.SetSQLDialect(row.Written);
        EXPECT_EQ(connection.Params().Get("SQL DIALECT"), row.Line);
        EXPECT_EQ(connection.SQLDialect(), row.Read);
    }
}

TEST_F(DBConnection, PasswordIsHeldBesideTheParametersOnceWritten) {
    struct TRow {
        const char* Name;
        bool Held;
        const char* PasswordLine;
        const char* Read;
    };
    const TRow rows[] = {
        {"written", true, "", " held pass "},
        {"never written", false, "from line", "from line"},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        TIB_Connection connection;
        connection.Params().Set("PASSWORD", "from line");
        if (row.Held) {
            connection.SetPassword(" held pass ");
        }
        EXPECT_EQ(connection.Params().Get("PASSWORD"), row.PasswordLine);
        EXPECT_EQ(connection.Password(), row.Read);
    }
}

TEST_F(DBConnection, ConstructionConfiguresConnectionTransactionAndQuery) {
    TDBConnection db("localhost/3051:/data/Kormant.fdb", "SYSDBA", "secret", "");
    TIB_Connection& connection = db.Connection();
    EXPECT_EQ(connection.Params().Lines(),
              (std::vector<std::string>{"CHARACTER SET=WIN1251", "PAGE SIZE=4096",
                                        "PROTOCOL=TCP/IP", "SQL DIALECT=3", "SERVER=localhost/3051",
                                        "PATH=/data/Kormant.fdb", "USER NAME=SYSDBA"}));
    EXPECT_EQ(connection.Password(), "secret");
    EXPECT_EQ(connection.DatabaseName(), "localhost/3051:/data/Kormant.fdb");
    EXPECT_TRUE(connection.AnnounceFocus());
    EXPECT_EQ(connection.Session().FocusedConnection(), &connection);
    EXPECT_FALSE(connection.LoginPrompt());
    EXPECT_FALSE(connection.Connected());
    EXPECT_EQ(connection.ConnectionState(), csDisconnected);

    TIB_Transaction& transaction = db.Transaction();
    EXPECT_FALSE(transaction.AnnounceFocus());
    EXPECT_EQ(transaction.Session().FocusedTransaction(), nullptr);
    EXPECT_FALSE(transaction.AutoCommit());
    EXPECT_EQ(transaction.Isolation(), tiCommitted);
    EXPECT_EQ(transaction.IB_Connection(), &connection);
    EXPECT_EQ(connection.Transactions(), std::vector<TIB_Transaction*>{&transaction});

    TIBOQuery& query = db.Query();
    EXPECT_FALSE(query.AutoCalcFields());
    EXPECT_TRUE(query.AutoFetchAll());
    EXPECT_FALSE(query.KeyLinksAutoDefine());
    EXPECT_EQ(query.IB_Connection(), &connection);
    EXPECT_EQ(query.IB_Transaction(), &transaction);
    EXPECT_EQ(connection.Statements().size(), 1u);
}

TEST_F(DBConnection, RoleBecomesTheRoleNameLineAndANameWithBlanksIsKeptAsGiven) {
    TDBConnection db(R"(C:\QUV\Kormant\DB_Data\Kormant.fdb)", " sysdba ", " p ", "ADMIN");
    EXPECT_EQ(db.Connection().Params().Lines(),
              (std::vector<std::string>{"CHARACTER SET=WIN1251", "PAGE SIZE=4096", "SQL DIALECT=3",
                                        R"(PATH=C:\QUV\Kormant\DB_Data\Kormant.fdb)",
                                        "USER NAME= sysdba ", "ROLE NAME=ADMIN"}));
    EXPECT_EQ(db.Connection().Protocol(), cpLocal);
    EXPECT_EQ(db.Connection().Password(), " p ");
}

TEST_F(DBConnection, EachOwnedObjectHoldsTheLibraryAndDestructionGivesItBack) {
    {
        TDBConnection db("localhost/3051:/data/Kormant.fdb", "SYSDBA", "secret", "");
        // Connection 0, transaction 1, the query's statement 2.
        EXPECT_EQ(ClientLibraryLoadCount(), 2);
    }
    EXPECT_EQ(ClientLibraryLoadCount(), -1);
    EXPECT_EQ(ClientSessionSlot(), nullptr);
}

TEST_F(DBConnection, FailedConstructionDestroysWhatItBuilt) {
    EXPECT_EQ(
        FailureText<EIB_ConnectionError>([] { TDBConnection db("my db", "SYSDBA", "secret", ""); }),
        "Неправильный DatabaseName");
    EXPECT_EQ(ClientLibraryLoadCount(), -1);
    // A new object starts afresh in a new default session: the failed one left no connection.
    TDBConnection db("MyDb", "SYSDBA", "secret", "");
    EXPECT_EQ(db.Connection().Session().Connections().size(), 1u);
    EXPECT_EQ(db.Connection().DatabaseName(), "MyDb");
}

TEST_F(DBConnection, UnloadableLibraryLetsConstructionSucceedAndFailsTheAttach) {
    TDBConnection db("localhost/3051:/data/Kormant.fdb", "SYSDBA", "secret", "");
    EXPECT_FALSE(ClientLibraryLoaded());
    EXPECT_EQ(FailureText<EIB_Error>([&] { db.Attach(); }),
              "Не установлен InterBase клиент GDS32.DLL");
    EXPECT_FALSE(db.Connection().Connected());
    EXPECT_EQ(db.Connection().ConnectionState(), csDisconnected);
    EXPECT_EQ(db.Connection().Session().ERRCODE, -1);
    EXPECT_NO_THROW(db.Detach());
}

} // namespace
