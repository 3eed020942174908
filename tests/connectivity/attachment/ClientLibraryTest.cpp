// The attachment layer's library loading: the load count, the reset, the settings file read at
// start-up, and libraries that lack entry points.
#include "connectivity/attachment/ClientLibrary.h"

#include "connectivity/attachment/EIB_Error.h"
#include "connectivity/attachment/TIB_Connection.h"
#include "connectivity/attachment/TIB_Session.h"
#include "tests/support/LoadedLibrary.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <fstream>
#include <memory>
#include <thread>

namespace {

class ClientLibrary : public ::testing::Test {
protected:
    void SetUp() override { ResetClientLibrary("gds32.dll"); }
    void TearDown() override { ResetClientLibrary("gds32.dll"); }
};

TEST_F(ClientLibrary, ResolvesTheRequiredEntryPointsInTheListedOrder) {
    const std::vector<std::string_view> expected{"isc_array_gen_sdl",
                                                 "isc_array_get_slice",
                                                 "isc_array_lookup_bounds",
                                                 "isc_array_lookup_desc",
                                                 "isc_array_set_desc",
                                                 "isc_array_put_slice",
                                                 "isc_blob_default_desc",
                                                 "isc_blob_gen_bpb",
                                                 "isc_blob_info",
                                                 "isc_blob_lookup_desc",
                                                 "isc_blob_set_desc",
                                                 "isc_cancel_blob",
                                                 "isc_close_blob",
                                                 "isc_create_blob",
                                                 "isc_create_blob2",
                                                 "isc_open_blob",
                                                 "isc_open_blob2",
                                                 "isc_put_segment",
                                                 "isc_put_slice",
                                                 "isc_get_segment",
                                                 "isc_get_slice",
                                                 "isc_attach_database",
                                                 "isc_create_database",
                                                 "isc_detach_database",
                                                 "isc_drop_database",
                                                 "isc_database_info",
                                                 "isc_start_multiple",
                                                 "isc_commit_transaction",
                                                 "isc_commit_retaining",
                                                 "isc_rollback_transaction",
                                                 "isc_transaction_info",
                                                 "isc_transact_request",
                                                 "isc_dsql_execute_immediate",
                                                 "isc_dsql_exec_immed2",
                                                 "isc_dsql_execute",
                                                 "isc_dsql_execute2",
                                                 "isc_dsql_allocate_statement",
                                                 "isc_dsql_alloc_statement2",
                                                 "isc_dsql_prepare",
                                                 "isc_dsql_set_cursor_name",
                                                 "isc_dsql_describe",
                                                 "isc_dsql_describe_bind",
                                                 "isc_dsql_fetch",
                                                 "isc_dsql_free_statement",
                                                 "isc_dsql_sql_info",
                                                 "isc_decode_date",
                                                 "isc_encode_date",
                                                 "isc_cancel_events",
                                                 "isc_event_counts",
                                                 "isc_que_events",
                                                 "isc_event_block",
                                                 "isc_event_counts",
                                                 "isc_interprete",
                                                 "isc_sql_interprete",
                                                 "isc_free",
                                                 "isc_sqlcode",
                                                 "isc_vax_integer",
                                                 "isc_compile_request",
                                                 "isc_compile_request2",
                                                 "isc_send",
                                                 "isc_start_and_send",
                                                 "isc_start_request",
                                                 "isc_unwind_request",
                                                 "isc_receive",
                                                 "isc_release_request"};
    EXPECT_EQ(RequiredClientEntryPointNames(), expected);
}

TEST_F(ClientLibrary, StartUpWithoutSettingsOrGds32LoadsNothingAndCountsOne) {
    TTempFolder folder;
    {
        TClientLibraryModule module((folder.Path() / "Updater.exe").string());
        EXPECT_EQ(ClientLibraryName(), "gds32.dll");
        EXPECT_EQ(ClientLibraryLoadCount(), 1);
        EXPECT_FALSE(ClientLibraryLoaded());
        EXPECT_NE(ClientCallLock(), nullptr);
        EXPECT_NE(ClientSessionSlot(), nullptr);
    }
    EXPECT_EQ(ClientLibraryLoadCount(), 0);
}

TEST_F(ClientLibrary, StartUpLoadsTheLibraryThatTheSettingsFileNames) {
    struct TCase {
        const char* Executable;
        const char* Settings;
        const char* Content;
        const char* ExpectedName;
        bool Loaded;
    };
    const std::string real = "fbclient.dll";
    const std::vector<TCase> cases{
        {"Updater.exe", "Updater.ini", "[SERVER]\nDataBaseClient=fbclient.dll\n", "fbclient.dll",
         true},
        {"Updater", "Updater.ini", "[server]\r\n  databaseclient = fbclient.dll  \r\n",
         "fbclient.dll", true},
        {"Updater.exe", "Updater.ini", "[SERVER]\nDataBaseClient=\n", "gds32.dll", false},
        {"Updater.exe", "Updater.ini", "[OTHER]\nDataBaseClient=fbclient.dll\n", "gds32.dll",
         false},
        {"Updater.exe", "Other.ini", "[SERVER]\nDataBaseClient=fbclient.dll\n", "gds32.dll", false},
        {"Updater.exe", "Updater.ini", "[SERVER]\nDataBaseClient=missing.dll\n", "missing.dll",
         false},
        {"Updater.exe", "Updater.ini", "\x01\xff garbage\n[SERVER\nDataBaseClient\n", "gds32.dll",
         false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Content);
        ResetClientLibrary("gds32.dll");
        TTempFolder folder;
        folder.MakeFile(c.Settings, c.Content);
        {
            TClientLibraryModule module((folder.Path() / c.Executable).string());
            EXPECT_EQ(ClientLibraryName(), c.ExpectedName);
            EXPECT_EQ(ClientLibraryLoadCount(), 1);
            EXPECT_EQ(ClientLibraryLoaded(), c.Loaded);
            EXPECT_EQ(ClientEntryPoints().isc_attach_database != nullptr, c.Loaded);
        }
        EXPECT_FALSE(ClientLibraryLoaded());
    }
}

TEST_F(ClientLibrary, UnreadableSettingsFileLeavesTheNameAsItWas) {
    TTempFolder folder;
    // A folder in place of the file cannot be read as one.
    folder.MakeFolder("Updater.ini");
    TClientLibraryModule module((folder.Path() / "Updater.exe").string());
    EXPECT_EQ(ClientLibraryName(), "gds32.dll");
    EXPECT_EQ(ClientLibraryLoadCount(), 1);
}

TEST_F(ClientLibrary, StartUpWithALibraryLackingAnEntryPointEndsTheProgramWithItsText) {
    TTempFolder folder;
    folder.MakeFile("Updater.ini",
                    std::string("[SERVER]\nDataBaseClient=") + FAKE_CLIENT_NO_ATTACH_AND_SQLCODE);
    const std::string executable = (folder.Path() / "Updater.exe").string();
    EXPECT_EXIT(TClientLibraryModule module(executable), ::testing::ExitedWithCode(1),
                "Невозможно найти импорт DLL \"isc_attach_database\"");
}

TEST_F(ClientLibrary, LoadsWhenTheCountRisesToZeroAndFreesWhenItFallsBack) {
    ResetClientLibrary(FAKE_CLIENT_NO_ROLLBACK_RETAINING);
    EXPECT_EQ(ClientLibraryLoadCount(), -1);
    EXPECT_FALSE(IsLibraryLoaded(FAKE_CLIENT_NO_ROLLBACK_RETAINING));
    {
        TIB_Connection connection;
        EXPECT_EQ(ClientLibraryLoadCount(), 0);
        EXPECT_TRUE(ClientLibraryLoaded());
        EXPECT_TRUE(IsLibraryLoaded(FAKE_CLIENT_NO_ROLLBACK_RETAINING));
        {
            auto transaction = std::make_unique<TIB_Transaction>();
            EXPECT_EQ(ClientLibraryLoadCount(), 1);
        }
        // The fall back to 0 frees, although the connection still exists.
        EXPECT_EQ(ClientLibraryLoadCount(), 0);
        EXPECT_FALSE(ClientLibraryLoaded());
        EXPECT_FALSE(IsLibraryLoaded(FAKE_CLIENT_NO_ROLLBACK_RETAINING));
    }
    EXPECT_EQ(ClientLibraryLoadCount(), -1);
    EXPECT_FALSE(ClientLibraryLoaded());
    EXPECT_FALSE(IsLibraryLoaded(FAKE_CLIENT_NO_ROLLBACK_RETAINING));
    EXPECT_EQ(ClientEntryPoints().isc_attach_database, nullptr);
    EXPECT_EQ(ClientCallLock(), nullptr);
    EXPECT_EQ(ClientSessionSlot(), nullptr);
}

TEST_F(ClientLibrary, LoneComponentFreesTheLibraryOnItsWayBackToMinusOne) {
    ResetClientLibrary(FAKE_CLIENT_NO_ROLLBACK_RETAINING);
    { TIB_Connection lone; }
    EXPECT_EQ(ClientLibraryLoadCount(), -1);
    EXPECT_FALSE(ClientLibraryLoaded());
    // So a reset's new name is what the next component loads.
    ResetClientLibrary(FAKE_CLIENT_NO_SERVICE_START);
    TIB_Connection next;
    EXPECT_FALSE(IsLibraryLoaded(FAKE_CLIENT_NO_ROLLBACK_RETAINING));
    EXPECT_TRUE(IsLibraryLoaded(FAKE_CLIENT_NO_SERVICE_START));
}

TEST_F(ClientLibrary, DatabaseObjectRunsTheCountWithItsInternalTransaction) {
    ResetClientLibrary(FAKE_CLIENT_NO_ROLLBACK_RETAINING);
    {
        TIBODatabase database;
        EXPECT_EQ(ClientLibraryLoadCount(), 1);
        EXPECT_TRUE(ClientLibraryLoaded());
    }
    EXPECT_EQ(ClientLibraryLoadCount(), -1);
    EXPECT_FALSE(ClientLibraryLoaded());
}

TEST_F(ClientLibrary, ResetFreesTheStartUpLibraryOrOnlyChangesTheName) {
    TTempFolder folder;
    folder.MakeFile("Updater.ini",
                    std::string("[SERVER]\nDataBaseClient=") + FAKE_CLIENT_NO_ROLLBACK_RETAINING);
    TClientLibraryModule module((folder.Path() / "Updater.exe").string());
    ASSERT_TRUE(ClientLibraryLoaded());
    EXPECT_EQ(ClientLibraryLoadCount(), 1);

    ResetClientLibrary("fbclient.dll");
    EXPECT_EQ(ClientLibraryLoadCount(), -1);
    EXPECT_FALSE(ClientLibraryLoaded());
    EXPECT_FALSE(IsLibraryLoaded(FAKE_CLIENT_NO_ROLLBACK_RETAINING));
    EXPECT_EQ(ClientLibraryName(), "fbclient.dll");

    ResetClientLibrary("other.dll");
    EXPECT_EQ(ClientLibraryLoadCount(), -1);
    EXPECT_EQ(ClientLibraryName(), "other.dll");
    // The module's shut-down release then takes the count from -1 to -2; reset again so that the
    // next test starts from -1.
}

// The real client's own answers: the Windows client is not at hand where the Windows tests run.
#ifndef _WIN32
TEST_F(ClientLibrary, RealClientLibraryLoadsWithEveryRequiredEntryPoint) {
    ResetClientLibrary("fbclient.dll");
    TIB_Connection connection;
    ASSERT_TRUE(ClientLibraryLoaded());
    const TIB_ClientEntryPoints& table = ClientEntryPoints();
    EXPECT_NE(table.isc_attach_database, nullptr);
    EXPECT_NE(table.isc_interprete, nullptr);
    EXPECT_NE(table.isc_release_request, nullptr);
    EXPECT_NE(table.isc_rollback_retaining, nullptr);
    EXPECT_NE(table.isc_portable_integer, nullptr);
    // The real library's own service entry point, not the replacement.
    EXPECT_EQ(ClientCall(&TIB_ClientEntryPoints::isc_portable_integer,
                         reinterpret_cast<const ISC_UCHAR*>("\x01\x02"), short{2}),
              0x0201);
}
#endif

TEST_F(ClientLibrary, FailedLoadAfterASuccessfulOneLeavesTheTableEmpty) {
    ResetClientLibrary("fbclient.dll");
    { TIB_Connection loaded; }
    ResetClientLibrary("missing.dll");
    TIB_Connection connection;
    EXPECT_FALSE(ClientLibraryLoaded());
    EXPECT_EQ(ClientEntryPoints().isc_attach_database, nullptr);
    EXPECT_EQ(ClientEntryPoints().isc_interprete, nullptr);
    connection.SetDatabaseName("localhost/3051:/db/x.fdb");
    try {
        connection.SetConnected(true);
        FAIL() << "attached without a client library";
    } catch (const EIB_Error& failure) {
        EXPECT_STREQ(failure.what(), "Не установлен InterBase клиент GDS32.DLL");
    }
    EXPECT_FALSE(connection.Connected());
}

TEST_F(ClientLibrary, FileThatIsNoLibraryLoadsNothingAndReportsNothing) {
    TTempFolder folder;
    const std::string path = folder.MakeFile("libfbclient.so", "plain text").string();
    ResetClientLibrary(path);
    TIB_Connection connection;
    EXPECT_FALSE(ClientLibraryLoaded());
    EXPECT_EQ(ClientLibraryLoadCount(), 0);
}

TEST_F(ClientLibrary, LibraryWithoutRollbackRetainingLoadsWithThatSlotEmpty) {
    ResetClientLibrary(FAKE_CLIENT_NO_ROLLBACK_RETAINING);
    TIB_Connection connection;
    EXPECT_TRUE(ClientLibraryLoaded());
    EXPECT_EQ(ClientEntryPoints().isc_rollback_retaining, nullptr);
    EXPECT_NE(ClientEntryPoints().isc_service_start, nullptr);
}

TEST_F(ClientLibrary, MissingOptionalEntryPointRaisesOnlyWhenCalled) {
    ResetClientLibrary(FAKE_CLIENT_NO_SERVICE_START);
    TIB_Connection connection;
    ASSERT_NE(ClientEntryPoints().isc_service_start, nullptr);
    isc_svc_handle handle = 0;
    try {
        ClientCall(&TIB_ClientEntryPoints::isc_service_start, connection.Session().StatusVector(),
                   &handle, static_cast<isc_resv_handle*>(nullptr), static_cast<unsigned short>(0),
                   static_cast<const ISC_SCHAR*>(""));
        FAIL();
    } catch (const EIB_Error& failure) {
        EXPECT_STREQ(failure.what(), "isc_service_start() not implemented");
    }
}

TEST_F(ClientLibrary, MissingRequiredEntryPointFailsTheConstructionAndKeepsTheLibrary) {
    ResetClientLibrary(FAKE_CLIENT_NO_ATTACH_AND_SQLCODE);
    try {
        TIB_Connection connection;
        FAIL() << "constructed on an incomplete library";
    } catch (const EIB_Error& failure) {
        // isc_attach_database precedes isc_sqlcode in this layer's order.
        EXPECT_STREQ(failure.what(), "Невозможно найти импорт DLL \"isc_attach_database\"");
    }
    EXPECT_EQ(ClientLibraryLoadCount(), 0);
    EXPECT_TRUE(ClientLibraryLoaded());
    // Later components of the layer still find their session slot.
    TIB_Transaction transaction;
    EXPECT_EQ(ClientLibraryLoadCount(), 1);
    EXPECT_EQ(transaction.Session().Name(), "DefaultSession");
}

TEST_F(ClientLibrary, KeepsTheCallersFloatingPointEnvironment) {
    ResetClientLibrary(FAKE_CLIENT_NO_ROLLBACK_RETAINING);
    TIB_Connection connection;
    ASSERT_EQ(std::fesetround(FE_DOWNWARD), 0);
    ClientCall(&TIB_ClientEntryPoints::isc_vax_integer, static_cast<const ISC_SCHAR*>(""),
               short{0});
    EXPECT_EQ(std::fegetround(), FE_DOWNWARD);
    std::fesetround(FE_TONEAREST);
}

TEST_F(ClientLibrary, ComponentsOnSeveralThreadsKeepTheCountAndHaveTheirOwnSessions) {
    ResetClientLibrary(FAKE_CLIENT_NO_ROLLBACK_RETAINING);
    // Two holders keep the count at 1, as the start-up's two acquisitions do, so that no thread's
    // release brings it down to 0 (which would free the library under the others).
    TIB_Connection holder;
    TIB_Transaction second;
    std::vector<std::thread> threads;
    std::vector<const TIB_Session*> sessions(4, nullptr);
    for (std::size_t t = 0; t < sessions.size(); ++t) {
        threads.emplace_back([&, t] {
            TIB_Connection own;
            sessions[t] = &own.Session();
            for (int i = 0; i < 500; ++i) {
                TIB_Transaction transaction;
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(ClientLibraryLoadCount(), 1);
    EXPECT_TRUE(ClientLibraryLoaded());
    for (const TIB_Session* session : sessions) {
        EXPECT_NE(session, &holder.Session());
    }
}

} // namespace
