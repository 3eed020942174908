// A connection attached to the real server: the refusals while attached, the detach, and the
// failure text of a refused attach.
#include "connectivity/attachment/TIB_Connection.h"

#include "connectivity/attachment/ClientLibrary.h"
#include "connectivity/attachment/EIB_Error.h"
#include "connectivity/service/FbClientBinding.h"
#include "tests/firebird/TestServer.h"

#include <gtest/gtest.h>

namespace {

// The attachments that the server holds on the test database, its own probe included, counted
// through the other layer's binding (isc_info_user_names lists every attachment to SYSDBA).
int ServerAttachments() {
    TFbClientBinding& binding = FbClientBinding();
    binding.LibraryName = "fbclient.dll";
    binding.EnsureLoaded();
    const std::string name = firebird_test::DatabaseString(firebird_test::TestDatabasePath);
    const std::string password = firebird_test::SysdbaPassword;
    std::string block{isc_dpb_version1, isc_dpb_user_name, 6};
    block += "SYSDBA";
    block += static_cast<char>(isc_dpb_password);
    block += static_cast<char>(password.size());
    block += password;
    isc_db_handle handle = 0;
    if (binding.Call(&TFbClientEntryPoints::isc_attach_database, StatusVector(), short{0},
                     name.c_str(), &handle, static_cast<short>(block.size()), block.data()) > 0) {
        binding.RaiseStatusError();
    }
    const char items[] = {isc_info_user_names, isc_info_end};
    char buffer[8192]{};
    const ISC_STATUS result =
        binding.Call(&TFbClientEntryPoints::isc_database_info, StatusVector(), &handle,
                     short{sizeof items}, items, short{sizeof buffer}, buffer);
    binding.Call(&TFbClientEntryPoints::isc_detach_database, StatusVector(), &handle);
    if (result > 0) {
        binding.RaiseStatusError();
    }
    int count = 0;
    for (std::size_t i = 0; i + 3 <= sizeof buffer && buffer[i] == isc_info_user_names;) {
        const auto length = static_cast<std::size_t>(
            binding.Call(&TFbClientEntryPoints::isc_vax_integer, buffer + i + 1, short{2}));
        ++count;
        i += 3 + length;
    }
    return count;
}

class ConnectionServer : public ::testing::Test {
protected:
    void SetUp() override { ResetClientLibrary("fbclient.dll"); }
    void TearDown() override { ResetClientLibrary("gds32.dll"); }

    static void Configure(TIB_Connection& connection, const std::string& password) {
        connection.SetCharSet("WIN1251");
        connection.SetDatabaseName(firebird_test::DatabaseString(firebird_test::TestDatabasePath));
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
    EXPECT_EQ(connection.ComposeDatabaseName(),
              firebird_test::DatabaseString(firebird_test::TestDatabasePath));

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
    const int before = ServerAttachments();
    {
        // After the reset this object alone holds the count: its internal transaction is the
        // release that brings it to 0 and frees the library.
        TIBODatabase database;
        Configure(database, firebird_test::SysdbaPassword);
        database.SetConnected(true);
        ASSERT_TRUE(database.Connected());
        EXPECT_EQ(ServerAttachments(), before + 1);
    }
    EXPECT_FALSE(ClientLibraryLoaded());
    EXPECT_EQ(ServerAttachments(), before);
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
