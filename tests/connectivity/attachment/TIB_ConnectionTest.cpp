// A connection's parameters and the database string: split, recomposition, path check,
// connection names.
#include "connectivity/attachment/TIB_Connection.h"

#include "connectivity/attachment/ClientLibrary.h"
#include "connectivity/attachment/EIB_Error.h"
#include "tests/support/Environment.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

// Splitting needs no library; the objects only hold the count (nothing can be loaded under the
// default name here).
class Connection : public ::testing::Test {
protected:
    void SetUp() override { ResetClientLibrary("gds32.dll"); }
    void TearDown() override { ResetClientLibrary("gds32.dll"); }
};

std::string Failure(const std::function<void()>& action) {
    try {
        action();
    } catch (const EIB_Error& failure) {
        return failure.what();
    }
    return "(no failure)";
}

TEST_F(Connection, DatabaseStringSplitsIntoServerPathAndProtocol) {
    struct TRow {
        const char* DatabaseString;
        const char* Server;
        const char* Path;
        TIB_Protocol Protocol;
    };
    const TRow rows[] = {
        {R"(localhost/3051:C:\QUV\Kormant\DB_Data\Kormant.fdb)", "localhost/3051",
         R"(C:\QUV\Kormant\DB_Data\Kormant.fdb)", cpTCP_IP},
        {R"(C:\QUV\Kormant\DB_Data\Kormant.fdb)", "", R"(C:\QUV\Kormant\DB_Data\Kormant.fdb)",
         cpLocal},
        {R"(server:C:\db\x.fdb)", "server", R"(C:\db\x.fdb)", cpTCP_IP},
        {R"(\\server\C:\db\x.fdb)", "server", R"(C:\db\x.fdb)", cpNetBEUI},
        {"server@vol:db.fdb", "server", "vol:db.fdb", cpNovell},
        {"C:db.fdb", "", "C:db.fdb", cpLocal},
        {"C:", "C", "", cpTCP_IP},
        {R"(C:\a:b)", "C", R"(\a:b)", cpTCP_IP},
        {R"(x\\y)", "", "y", cpNetBEUI},
        {"db.fdb", "", "db.fdb", cpLocal},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.DatabaseString);
        TIB_Connection connection;
        connection.SetDatabaseName(row.DatabaseString);
        EXPECT_EQ(connection.Server(), row.Server);
        EXPECT_EQ(connection.Path(), row.Path);
        EXPECT_EQ(connection.Protocol(), row.Protocol);
    }
}

TEST_F(Connection, InstallationStringRecomposesToItself) {
    const std::string text = R"(localhost/3051:C:\QUV\Kormant\DB_Data\Kormant.fdb)";
    TIB_Connection connection;
    connection.SetDatabaseName(text);
    EXPECT_EQ(connection.ComposeDatabaseName(), text);
    EXPECT_EQ(connection.DatabaseName(), text);
}

TEST_F(Connection, RecomposesByProtocol) {
    TIB_Connection connection;
    connection.SetServer("srv");
    connection.SetPath("p.fdb");
    const std::pair<TIB_Protocol, const char*> cases[] = {
        {cpNetBEUI, R"(\\srv\p.fdb)"},
        {cpTCP_IP, "srv:p.fdb"},
        {cpNovell, "srv@p.fdb"},
        {cpLocal, "p.fdb"},
    };
    for (const auto& [protocol, expected] : cases) {
        connection.SetProtocol(protocol);
        EXPECT_EQ(connection.ComposeDatabaseName(), expected);
    }
}

TEST_F(Connection, NothingIsTrimmed) {
    TIB_Connection connection;
    connection.SetDatabaseName(" localhost/3051:/db/x.fdb ");
    EXPECT_EQ(connection.Server(), " localhost/3051");
    EXPECT_EQ(connection.Path(), "/db/x.fdb ");
}

TEST_F(Connection, LocalPathAfterAServerFormKeepsTheServerButComposesWithoutIt) {
    TIB_Connection connection;
    connection.SetDatabaseName("server:/db/x.fdb");
    connection.SetDatabaseName(R"(C:\db\y.fdb)");
    EXPECT_EQ(connection.Server(), "server");
    EXPECT_EQ(connection.Protocol(), cpLocal);
    EXPECT_EQ(connection.ComposeDatabaseName(), R"(C:\db\y.fdb)");
    connection.SetDatabaseName("plain.fdb");
    EXPECT_EQ(connection.Server(), "server");
    EXPECT_EQ(connection.ComposeDatabaseName(), "plain.fdb");
}

TEST_F(Connection, AttachPathCheck) {
    struct TCase {
        const char* DatabaseString;
        bool Passes;
    };
    const TCase cases[] = {
        {"C:db.fdb", false},
        {"localhost/3051:C:db.fdb", false},
        {R"(localhost/3051:C:\QUV\Kormant\DB_Data\Kormant.fdb)", true},
        {"localhost/3051:/opt/QUV/Kormant/DB_Data/Kormant.fdb", true},
        {"C:/db.fdb", true},
        {R"(server:"a:b"\c.fdb)", true},
        {R"(server:"a"C:x)", false},
        {"server:db:", true},
        {"server:db.fdb", true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.DatabaseString);
        TIB_Connection connection;
        connection.SetDatabaseName(c.DatabaseString);
        EXPECT_EQ(Failure([&] { connection.CheckAttachPath(); }),
                  c.Passes ? "(no failure)" : "Неверный путь для соединения");
    }
}

TEST_F(Connection, ConnectionNamesAreUniqueWithinTheSession) {
    TIB_Connection first;
    TIB_Connection second;
    TIB_Connection third;
    first.SetDatabaseName("MyDb");
    second.SetDatabaseName("MyDb");
    third.SetDatabaseName("mydb");
    EXPECT_EQ(first.DatabaseName(), "MyDb");
    EXPECT_EQ(second.DatabaseName(), "MyDb_1");
    EXPECT_EQ(third.DatabaseName(), "mydb_2");
    // Writing its own name again changes nothing.
    second.SetDatabaseName("MyDb_1");
    EXPECT_EQ(second.DatabaseName(), "MyDb_1");
    EXPECT_EQ(first.Server(), "");
    EXPECT_EQ(first.Path(), "");

    // Another thread has another session, where the name is free.
    std::string elsewhere;
    std::thread([&] {
        TIB_Connection other;
        other.SetDatabaseName("MyDb");
        elsewhere = other.DatabaseName();
    }).join();
    EXPECT_EQ(elsewhere, "MyDb");
}

TEST_F(Connection, ConnectionNameLeavesTheSplitPartsAlone) {
    TIB_Connection connection;
    connection.SetDatabaseName("localhost/3051:/db/x.fdb");
    connection.SetDatabaseName("Named");
    EXPECT_EQ(connection.DatabaseName(), "Named");
    EXPECT_EQ(connection.Server(), "localhost/3051");
    EXPECT_EQ(connection.Path(), "/db/x.fdb");
    EXPECT_EQ(connection.Protocol(), cpTCP_IP);
    // A database string clears the name again.
    connection.SetDatabaseName("other:/y.fdb");
    EXPECT_EQ(connection.DatabaseName(), "other:/y.fdb");
}

TEST_F(Connection, InvalidConnectionNamesAreRefused) {
    for (const char* name : {"my db", "", "1abc", "имя", "a-b"}) {
        SCOPED_TRACE(name);
        TIB_Connection connection;
        connection.SetDatabaseName("Kept");
        EXPECT_EQ(Failure([&] { connection.SetDatabaseName(name); }), "Неправильный DatabaseName");
        EXPECT_EQ(connection.DatabaseName(), "Kept");
    }
}

TEST_F(Connection, IndexedParametersWriteTheirNamedLines) {
    const std::pair<int, const char*> table[] = {
        {1, "USER NAME"},   {3, "SERVER"},        {4, "ROLE NAME"},
        {5, "PATH"},        {6, "LICENSE"},       {7, "SYSDBA"},
        {8, "ENCRYPT KEY"}, {9, "CHARACTER SET"}, {10, "MESSAGE FILE"},
    };
    for (const auto& [index, name] : table) {
        SCOPED_TRACE(index);
        TIB_Connection connection;
        connection.SetIndexedParam(index, " value ");
        EXPECT_EQ(connection.Params().Lines(),
                  std::vector<std::string>{std::string(name) + "= value "});
        EXPECT_EQ(connection.GetIndexedParam(index), " value ");
        connection.SetIndexedParam(index, "");
        EXPECT_TRUE(connection.Params().Lines().empty());
    }
    TIB_Connection connection;
    for (const int index : {0, 11, -1, 100}) {
        connection.SetIndexedParam(index, "x");
        EXPECT_EQ(connection.GetIndexedParam(index), "");
    }
    EXPECT_TRUE(connection.Params().Lines().empty());
}

TEST_F(Connection, PasswordIndexFollowsTheProtocolAndTheLocalLine) {
    TIB_Connection connection;
    connection.SetIndexedParam(2, "remote");
    EXPECT_EQ(connection.Params().Get("PASSWORD"), "remote");
    connection.Params().Set("LOCAL PASSWORD", "local");
    EXPECT_EQ(connection.GetIndexedParam(2), "local");
    connection.SetIndexedParam(2, "local2");
    EXPECT_EQ(connection.Params().Get("LOCAL PASSWORD"), "local2");
    connection.SetProtocol(cpTCP_IP);
    EXPECT_EQ(connection.GetIndexedParam(2), "remote");
    connection.SetIndexedParam(2, "remote2");
    EXPECT_EQ(connection.Params().Get("PASSWORD"), "remote2");
    EXPECT_EQ(connection.Params().Get("LOCAL PASSWORD"), "local2");
}

TEST_F(Connection, RoleReadMovesOlderNamesToRoleName) {
    for (const char* older : {"ROLE", "SQL ROLE NAME"}) {
        SCOPED_TRACE(older);
        TIB_Connection connection;
        connection.Params().Set(older, "ADMIN");
        EXPECT_EQ(connection.SQLRole(), "ADMIN");
        EXPECT_EQ(connection.Params().Lines(), std::vector<std::string>{"ROLE NAME=ADMIN"});
    }
    TIB_Connection connection;
    connection.Params().Set("ROLE", "A");
    connection.Params().Set("SQL ROLE NAME", "B");
    connection.SetSQLRole("C");
    EXPECT_EQ(connection.Params().Lines(), std::vector<std::string>{"ROLE NAME=C"});
}

TEST_F(Connection, ProtocolIsReadWithoutRegardToCase) {
    const std::pair<const char*, TIB_Protocol> table[] = {
        {"tcp/ip", cpTCP_IP}, {"NetBeui", cpNetBEUI}, {"NOVELL", cpNovell},
        {"", cpLocal},        {"LOCAL", cpLocal},     {"TCP", cpLocal},
    };
    for (const auto& [value, protocol] : table) {
        TIB_Connection connection;
        connection.Params().Set("protocol", value);
        EXPECT_EQ(connection.Protocol(), protocol) << value;
    }
    TIB_Connection connection;
    connection.SetProtocol(cpNovell);
    EXPECT_EQ(connection.Params().Lines(), std::vector<std::string>{"PROTOCOL=NOVELL"});
    connection.SetProtocol(cpLocal);
    EXPECT_TRUE(connection.Params().Lines().empty());
}

TEST_F(Connection, ParamsCompareNamesWithoutCaseAndKeepOrder) {
    TIB_Params params;
    params.Set("USER NAME", "a");
    params.Set("PATH", "b");
    params.Set("user name", "c");
    EXPECT_EQ(params.Lines(), (std::vector<std::string>{"USER NAME=c", "PATH=b"}));
    EXPECT_EQ(params.Get("User Name"), "c");
    EXPECT_EQ(params.Get("MISSING"), "");
    params.Set("path", "");
    EXPECT_EQ(params.Lines(), std::vector<std::string>{"USER NAME=c"});
    params.Set("X", "a=b");
    EXPECT_EQ(params.Get("x"), "a=b");
}

TEST_F(Connection, OverlongParameterBlockValueIsRefusedBeforeAnyClientCall) {
    TIB_Connection connection;
    connection.SetDatabaseName("localhost/3051:/db/x.fdb");
    connection.SetUsername(std::string(256, 'u'));
    EXPECT_EQ(Failure([&] { connection.SetConnected(true); }),
              "Неправильный DPB: содержит более 255 символов");
    EXPECT_FALSE(connection.Connected());
}

TEST_F(Connection, EmptyAttachPathIsRefused) {
    TIB_Connection connection;
    RemoveTestVariable("ISC_DATABASE");
    EXPECT_EQ(Failure([&] { connection.SetConnected(true); }), "DatabaseName не может быть пустым");
}

TEST_F(Connection, BadAttachPathIsRefusedBeforeAnyClientCall) {
    TIB_Connection connection;
    connection.SetDatabaseName("localhost/3051:C:db.fdb");
    EXPECT_EQ(Failure([&] { connection.SetConnected(true); }), "Неверный путь для соединения");
}

TEST_F(Connection, ParameterBlockHoldsTheItemsInTheirOrder) {
    using namespace std::string_literals;
    struct TRow {
        const char* Name;
        std::vector<std::pair<const char*, const char*>> Lines;
        std::string Block;
    };
    const TRow rows[] = {
        {"user trimmed, password as given, character set",
         {{"USER NAME", " SYSDBA "}, {"CHARACTER SET", "WIN1251"}},
         "\x01\x1c\x06SYSDBA\x1d\x04 pw \x30\x07WIN1251"s},
        {"role, flags, system user, license, message file",
         {{"ROLE NAME", " R "},
          {"DB_KEY SCOPE", "CONNECTION"},
          {"FORCED WRITES", "FALSE"},
          {"RESERVE PAGE SPACE", "TRUE"},
          {"SYSDBA", "S"},
          {"LICENSE", "L"},
          {"MESSAGE FILE", "M"}},
         "\x01\x1d\x04 pw \x3c\x03 R \x0d\x01\x01\x18\x01\x00\x1b\x01\x00"
         "\x13\x01S\x12\x01L\x2f\x01M"s},
        {"the other flag values",
         {{"DB_KEY SCOPE", "TRANSACTION"},
          {"FORCED WRITES", "TRUE"},
          {"RESERVE PAGE SPACE", "FALSE"}},
         "\x01\x1d\x04 pw \x0d\x01\x00\x18\x01\x01\x1b\x01\x01"s},
        {"flag values other than their words are not sent",
         {{"FORCED WRITES", "true"}, {"DB_KEY SCOPE", "x"}},
         "\x01\x1d\x04 pw "s},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        TIB_Connection connection;
        connection.SetDatabaseName("localhost/3051:/db/x.fdb");
        connection.SetPassword(" pw ");
        for (const auto& [name, value] : row.Lines) {
            connection.Params().Set(name, value);
        }
        std::string seen;
        connection.OnCustomizeDPB = [&](TIB_Connection&, std::string& block) { seen = block; };
        // Nothing can be loaded under the fixture's name, so the attach stops after the block.
        EXPECT_EQ(Failure([&] { connection.SetConnected(true); }),
                  "Не установлен InterBase клиент GDS32.DLL");
        EXPECT_EQ(seen, row.Block);
    }
}

TEST_F(Connection, ConnectSequenceRunsItsEventsAndEndsDisconnectedOnFailure) {
    TIB_Connection connection;
    connection.SetDatabaseName("localhost/3051:/db/x.fdb");
    std::vector<std::string> events;
    connection.BeforeConnect = [&](TIB_Connection& c) {
        events.push_back("BeforeConnect " + std::to_string(c.ConnectionState()));
    };
    connection.OnCustomizeDPB = [&](TIB_Connection& c, std::string&) {
        events.push_back("OnCustomizeDPB " + std::to_string(c.ConnectionState()));
    };
    connection.OnConnectedChanged = [&](TIB_Connection&) { events.push_back("changed"); };
    connection.AfterConnect = [&](TIB_Connection&) { events.push_back("AfterConnect"); };
    EXPECT_EQ(Failure([&] { connection.SetConnected(true); }),
              "Не установлен InterBase клиент GDS32.DLL");
    EXPECT_EQ(events, (std::vector<std::string>{"BeforeConnect 1", "OnCustomizeDPB 1"}));
    EXPECT_EQ(connection.ConnectionState(), csDisconnected);
    EXPECT_EQ(connection.AttachmentHandle(), 0u);

    // A failing BeforeConnect stops the sequence before the attach.
    events.clear();
    connection.BeforeConnect = [&](TIB_Connection&) { throw EIB_Error("refused by the event"); };
    EXPECT_EQ(Failure([&] { connection.SetConnected(true); }), "refused by the event");
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(connection.ConnectionState(), csDisconnected);

    // Disconnecting a connection that is not attached runs nothing.
    connection.BeforeDisconnect = [&](TIB_Connection&) { events.push_back("BeforeDisconnect"); };
    connection.SetConnected(false);
    EXPECT_TRUE(events.empty());
}

TEST_F(Connection, CustomizedBlockBeyondTheClientsLengthIsRefused) {
    TIB_Connection connection;
    connection.SetDatabaseName("localhost/3051:/db/x.fdb");
    connection.OnCustomizeDPB = [](TIB_Connection&, std::string& block) {
        block.append(32768, '\0');
    };
    EXPECT_EQ(Failure([&] { connection.SetConnected(true); }),
              "Неправильный DPB: длина более 32767 байт");
    EXPECT_EQ(connection.ConnectionState(), csDisconnected);
}

TEST_F(Connection, LinksOfTransactionsAndStatementsDoNotOutliveTheirObjects) {
    auto connection = std::make_unique<TIB_Connection>();
    auto transaction = std::make_unique<TIB_Transaction>();
    TIB_Statement statement;
    transaction->SetIB_Connection(connection.get());
    statement.SetIB_Connection(connection.get());
    statement.SetIB_Transaction(transaction.get());
    EXPECT_EQ(connection->Transactions(), std::vector<TIB_Transaction*>{transaction.get()});
    EXPECT_EQ(connection->Statements(), std::vector<TIB_Statement*>{&statement});
    transaction.reset();
    EXPECT_EQ(statement.IB_Transaction(), nullptr);
    EXPECT_TRUE(connection->Transactions().empty());
    connection.reset();
    EXPECT_EQ(statement.IB_Connection(), nullptr);
}

} // namespace
