// The attachment object against the private server, each test on a database of its own, with
// what reached the client library read back from the recording client: the parameter block and
// the attach path as sent, the states of a real attach, refusals with their composed texts.
#include "dbadmin/TDBConnection.h"

#include "connectivity/attachment/ClientLibrary.h"
#include "connectivity/attachment/EIB_Error.h"
#include "tests/firebird/OwnDatabase.h"
#include "tests/support/RecordingClient.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using TLines = std::vector<std::string>;
const std::string Password = firebird_test::SysdbaPassword;

// Version 1; user name 28, 6, "SYSDBA"; password 29, its length, the password; lc_ctype 48, 7,
// "WIN1251".
std::string SysdbaBlock(const std::string& password) {
    return std::string("\x01\x1c\x06SYSDBA\x1d", 10) + static_cast<char>(password.size()) +
           password + std::string("\x30\x07WIN1251", 9);
}

// The attach and detach calls in order, "+" when accepted and "-" when refused.
TLines AttachCalls() {
    TLines calls;
    for (const recording_client::TCall& call : recording_client::Calls()) {
        if (call.Name == "isc_attach_database" || call.Name == "isc_detach_database") {
            calls.push_back(call.Name + (call.Result == 0 ? "+" : "-"));
        }
    }
    return calls;
}

class DBConnectionServer : public ::testing::Test {
protected:
    void SetUp() override {
        ResetClientLibrary(recording_client::Path);
        recording_client::Clear();
    }
    void TearDown() override { ResetClientLibrary("gds32.dll"); }
};

TEST_F(DBConnectionServer, AttachSendsTheDatabaseStringAndTheUpdatersParameterBlock) {
    firebird_test::TOwnDatabase database;
    {
        TDBConnection connection(database.DatabaseString(), "SYSDBA", Password, "");
        connection.Attach();
        ASSERT_TRUE(connection.Connection().Connected());
        EXPECT_EQ(firebird_test::AttachmentCount(database.DatabaseString()), 1);
        const auto attaches = recording_client::Calls("isc_attach_database");
        ASSERT_EQ(attaches.size(), 1u);
        EXPECT_EQ(attaches[0].Args[0], database.DatabaseString());
        EXPECT_EQ(attaches[0].Args[1], SysdbaBlock(Password));
        // Connection, transaction and the query's statement hold the library.
        EXPECT_EQ(ClientLibraryLoadCount(), 2);
    }
    EXPECT_EQ(AttachCalls(), (TLines{"isc_attach_database+", "isc_detach_database+"}));
    EXPECT_EQ(firebird_test::AttachmentCount(database.DatabaseString()), 0);
    EXPECT_EQ(ClientLibraryLoadCount(), -1);
    EXPECT_FALSE(ClientLibraryLoaded());
}

TEST_F(DBConnectionServer, ConnectAndDisconnectPassThroughTheirStates) {
    firebird_test::TOwnDatabase database;
    TDBConnection connection(database.DatabaseString(), "SYSDBA", Password, "");
    TIB_Connection& c = connection.Connection();
    TLines seen;
    const auto record = [&](const char* event) {
        return [&seen, event](TIB_Connection& at) {
            seen.push_back(std::string(event) + " " + std::to_string(at.ConnectionState()) +
                           (at.Connected() ? " attached" : ""));
        };
    };
    c.BeforeConnect = record("BeforeConnect");
    c.AfterConnect = record("AfterConnect");
    c.OnConnectedChanged = record("OnConnectedChanged");
    c.BeforeDisconnect = record("BeforeDisconnect");
    c.AfterDisconnect = record("AfterDisconnect");
    connection.Attach();
    connection.Attach();
    connection.Detach();
    connection.Detach();
    EXPECT_EQ(seen,
              (TLines{"BeforeConnect 1", "OnConnectedChanged 2 attached", "AfterConnect 2 attached",
                      "BeforeDisconnect 3 attached", "OnConnectedChanged 0", "AfterDisconnect 0"}));
    EXPECT_EQ(AttachCalls(), (TLines{"isc_attach_database+", "isc_detach_database+"}));
    EXPECT_EQ(firebird_test::AttachmentCount(database.DatabaseString()), 0);
}

TEST_F(DBConnectionServer, WrongPasswordGivesTheComposedTextAndNoDetach) {
    firebird_test::TOwnDatabase database;
    {
        TDBConnection connection(database.DatabaseString(), "SYSDBA", "wrong", "");
        try {
            connection.Attach();
            FAIL() << "attached with a wrong password";
        } catch (const EIB_ISCError& failure) {
            EXPECT_STREQ(failure.what(),
                         "КОД ОШИБКИ ISC:335544472\r\n\r\nСООБЩЕНИЕ ОШИБКИ ISC:\r\nYour user name "
                         "and password are not defined. Ask your database administrator to set "
                         "up a Firebird login.\r\n");
            EXPECT_EQ(failure.SQLCODE, -902);
            EXPECT_EQ(failure.Component, &connection.Connection());
        }
        EXPECT_FALSE(connection.Connection().Connected());
        EXPECT_EQ(connection.Connection().ConnectionState(), csDisconnected);
    }
    EXPECT_EQ(AttachCalls(), TLines{"isc_attach_database-"});
}

TEST_F(DBConnectionServer, UserNameIsSentTrimmedAndPasswordAsGiven) {
    firebird_test::TOwnDatabase database;
    {
        TDBConnection connection(database.DatabaseString(), "  SYSDBA \t", " " + Password + " ",
                                 "");
        // The server takes the blanks as part of the password.
        EXPECT_THROW(connection.Attach(), EIB_ISCError);
    }
    const auto attaches = recording_client::Calls("isc_attach_database");
    ASSERT_EQ(attaches.size(), 1u);
    EXPECT_EQ(attaches[0].Args[1], SysdbaBlock(" " + Password + " "));
    EXPECT_EQ(AttachCalls(), TLines{"isc_attach_database-"});

    // Trimmed, the same user attaches.
    recording_client::Clear();
    TDBConnection connection(database.DatabaseString(), " SYSDBA ", Password, "");
    connection.Attach();
    EXPECT_EQ(recording_client::Calls("isc_attach_database").at(0).Args[1], SysdbaBlock(Password));
    EXPECT_TRUE(connection.Connection().Connected());
}

} // namespace
