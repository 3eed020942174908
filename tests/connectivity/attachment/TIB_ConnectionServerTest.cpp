// A connection attached to the real server: the refusals while attached, the detach, and the
// failure text of a refused attach.
#include "connectivity/attachment/TIB_Connection.h"

#include "connectivity/attachment/ClientLibrary.h"
#include "connectivity/attachment/EIB_Error.h"
#include "tests/firebird/OwnDatabase.h"

#include <gtest/gtest.h>

namespace {

class ConnectionServer : public ::testing::Test {
protected:
    void SetUp() override { ResetClientLibrary("fbclient.dll"); }
    void TearDown() override { ResetClientLibrary("gds32.dll"); }

    firebird_test::TOwnDatabase Database;

    void Configure(TIB_Connection& connection, const std::string& password) {
        connection.SetCharSet("WIN1251");
        connection.SetDatabaseName(Database.DatabaseString());
        connection.SetUsername("SYSDBA");
        connection.SetPassword(password);
    }
};

TEST_F(ConnectionServer, AttachedConnectionRefusesEveryChangeAndKeepsItsParameters) {
    TIB_Connection connection;
    Configure(connection, firebird_test::SysdbaPassword);
    connection.SetConnected(true);
    ASSERT_TRUE(connection.Connected());
    EXPECT_NE(connection.AttachmentHandle(), 0u);

    const std::vector<std::string> before = connection.Params().Lines();
    const std::string refused = "Невозможно сделать изменения, пока установлено соединение";
    const std::vector<std::pair<const char*, std::function<void()>>> changes{
        {"Username", [&] { connection.SetUsername("OTHER"); }},
        {"Path", [&] { connection.SetPath("/elsewhere.fdb"); }},
        {"DatabaseName split", [&] { connection.SetDatabaseName("other:/x.fdb"); }},
        {"DatabaseName local", [&] { connection.SetDatabaseName("/x.fdb"); }},
        {"index without parameter", [&] { connection.SetIndexedParam(0, "x"); }},
        {"Protocol change", [&] { connection.SetProtocol(cpLocal); }},
        {"Password", [&] { connection.SetPassword("x"); }},
    };
    for (const auto& [name, change] : changes) {
        SCOPED_TRACE(name);
        try {
            change();
            ADD_FAILURE() << "changed while attached";
        } catch (const EIB_ConnectionError& failure) {
            EXPECT_EQ(failure.what(), refused);
        }
        EXPECT_EQ(connection.Params().Lines(), before);
    }
    EXPECT_NO_THROW(connection.SetProtocol(cpTCP_IP));
    EXPECT_EQ(connection.ComposeDatabaseName(), Database.DatabaseString());

    connection.SetConnected(false);
    EXPECT_FALSE(connection.Connected());
    EXPECT_NO_THROW(connection.SetUsername("OTHER"));
}

TEST_F(ConnectionServer, ClientLibraryIsLoadedAndFreedByTheCountAroundAnAttachment) {
    EXPECT_FALSE(ClientLibraryLoaded());
    {
        TIB_Database database;
        EXPECT_EQ(ClientLibraryLoadCount(), 1);
        Configure(database, firebird_test::SysdbaPassword);
        database.SetConnected(true);
        EXPECT_TRUE(database.Connected());
    }
    EXPECT_EQ(ClientLibraryLoadCount(), -1);
    EXPECT_FALSE(ClientLibraryLoaded());
    // Loaded again by the next object, and able to attach again.
    TIB_Connection again;
    Configure(again, firebird_test::SysdbaPassword);
    again.SetConnected(true);
    EXPECT_TRUE(again.Connected());
}

TEST_F(ConnectionServer, DestroyingAnAttachedDatabaseObjectDetachesBeforeTheLibraryGoes) {
    const int before = firebird_test::AttachmentCount(Database.DatabaseString());
    {
        // After the reset this object alone holds the count: its internal transaction is the
        // release that brings it to 0 and frees the library.
        TIBODatabase database;
        Configure(database, firebird_test::SysdbaPassword);
        database.SetConnected(true);
        ASSERT_TRUE(database.Connected());
        EXPECT_EQ(firebird_test::AttachmentCount(Database.DatabaseString()), before + 1);
    }
    EXPECT_FALSE(ClientLibraryLoaded());
    EXPECT_EQ(firebird_test::AttachmentCount(Database.DatabaseString()), before);
}

TEST_F(ConnectionServer, WrongPasswordGivesTheComposedIscText) {
    TIB_Connection connection;
    Configure(connection, "wrong");
    try {
        connection.SetConnected(true);
        FAIL() << "attached with a wrong password";
    } catch (const EIB_ISCError& failure) {
        EXPECT_STREQ(failure.what(),
                     "КОД ОШИБКИ ISC:335544472\r\n\r\nСООБЩЕНИЕ ОШИБКИ ISC:\r\nYour user name and "
                     "password are not defined. Ask your database administrator to set up a "
                     "Firebird login.\r\n");
        EXPECT_EQ(failure.ERRCODE, 335544472);
        EXPECT_EQ(failure.SQLCODE, -902);
        EXPECT_EQ(failure.Component, &connection);
    }
    EXPECT_FALSE(connection.Connected());
    EXPECT_EQ(connection.AttachmentHandle(), 0u);
}

} // namespace
