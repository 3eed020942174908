// What the server part's calls hand the client library (attach paths, parameter blocks, service
// requests), on each build for the same run: the Linux build's recorded by the recording client
// library, the Windows build's by the client bridge under Wine. The Linux tree's run writes its
// record; the Windows tree's run compares its own with it (./test.sh runs the Linux tree first).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <ibase.h>

#include "dbadmin/AttachedUsers.h"
#include "dbadmin/DatabaseState.h"
#include "dbadmin/ScriptApplication.h"
#include "dbadmin/ServiceOperations.h"
#include "tests/bridge/BridgeRecord.h"
#include "tests/firebird/OwnDatabase.h"
#include "tests/support/Environment.h"

#ifdef _WIN32
#include "tests/support/Command.h"
#include <process.h>
#else
#include "tests/support/RecordingClient.h"
#endif

namespace {

using bridge_record::TCall;

const char* const kScript = "CREATE TABLE CLIENT_BYTES (ID INTEGER);\r\nCOMMIT;\r\n";

// The server part's calls in the order of a whole update, each through the layer that makes it.
void RunTheServerPartsCalls(const std::string& client, const std::string& databaseString) {
    const std::string password = firebird_test::SysdbaPassword;
    std::vector<std::string> users;
    ReadAttachedUsers(client, databaseString, "SYSDBA", password, "", users);
    SetSingleUserMode(client, databaseString, "SYSDBA", password);
    EXPECT_EQ(ReadServedState(client, databaseString, "SYSDBA", password).State,
              TServedState::ShutDown);
    SetScriptEngineLibrary(UPDATER_SCRIPT_ENGINE);
    ApplyScriptText(client, databaseString, "SYSDBA", password, "", kScript, nullptr);
    SetScriptEngineLibrary("IBEScript.dll");
    SetMultiUserMode(client, databaseString, "SYSDBA", password);
    EXPECT_EQ(firebird_test::Query(databaseString, "select count(*) from CLIENT_BYTES;"), "0\n");
}

#ifndef _WIN32

// The first line names the database's path, which the Windows run's differs from.
TEST(ClientBytes, TheLinuxBuildsCallsAreRecordedForTheWindowsBuild) {
    const firebird_test::TOwnDatabase database;
    recording_client::Clear();
    RunTheServerPartsCalls(recording_client::Path, database.DatabaseString());
    std::vector<TCall> calls{{0, "database", 0, {database.Path()}}};
    for (const recording_client::TCall& call : recording_client::Calls()) {
        std::vector<std::string> args = call.Args;
        // Nothing is converted on Linux: what was given is what was sent.
        if (call.Name == "isc_attach_database") {
            args = {args.at(0), args.at(1), args.at(0), args.at(1)};
        } else if (call.Name == "isc_service_start") {
            args = {args.at(0), args.at(0)};
        } else if (call.Name == "isc_database_info") {
            args.resize(2); // the reply is the server's
        }
        calls.push_back({0, call.Name, call.Result, std::move(args)});
    }
    EXPECT_GT(calls.size(), 10u);
    ASSERT_TRUE(bridge_record::Write(UPDATER_CLIENT_BYTES_RECORD, calls))
        << UPDATER_CLIENT_BYTES_RECORD;
}

#else

std::string WithPath(std::string bytes, const std::string& from, const std::string& to) {
    for (std::size_t at = bytes.find(from); at != std::string::npos;
         at = bytes.find(from, at + to.size())) {
        bytes.replace(at, from.size(), to);
    }
    return bytes;
}

// A service request with the database's path (isc_spb_dbname and its two length bytes) replaced.
std::string WithDatabase(const std::string& request, const std::string& from,
                         const std::string& to) {
    const auto item = [](const std::string& path) {
        return std::string{static_cast<char>(isc_spb_dbname), static_cast<char>(path.size() & 0xFF),
                           static_cast<char>(path.size() >> 8)} +
               path;
    };
    return WithPath(request, item(from), item(to));
}

// The Windows build sends the server what the Linux build sends, but for the database's path:
// the updater names it by the installation's folder, a drive path on Windows, and the bridge
// hands the Linux server the Unix path that the drive maps to (docs/client-bridge.md).
TEST(ClientBytes, TheWindowsBuildSendsWhatTheLinuxBuildSends) {
    std::vector<TCall> linux = bridge_record::Read(UPDATER_LINUX_CLIENT_BYTES_RECORD);
    ASSERT_FALSE(linux.empty())
        << "no record of the Linux build's run at " << UPDATER_LINUX_CLIENT_BYTES_RECORD
        << ": the Linux tree's test ClientBytes.TheLinuxBuildsCallsAreRecordedForTheWindowsBuild "
           "writes it";
    ASSERT_EQ(linux.front().Name, "database");
    const std::string linuxPath = linux.front().Args.at(0);
    linux.erase(linux.begin());

    const firebird_test::TOwnDatabase database;
    const std::string record =
        std::string(UPDATER_TEST_SCRATCH) + "\\client-bytes-" + std::to_string(_getpid()) + ".rec";
    std::remove(record.c_str());
    SetTestVariable("UPDATER_BRIDGE_RECORD", record);
    RunTheServerPartsCalls("fbclient.dll", database.DatabaseString());
    RemoveTestVariable("UPDATER_BRIDGE_RECORD");
    std::vector<TCall> windows;
    for (TCall& call : bridge_record::Read(record)) {
        // The recording client records no service query.
        if (call.Name != "isc_service_query") {
            windows.push_back(std::move(call));
        }
    }
    std::remove(record.c_str());

    const std::string givenPath = database.Path();
    const std::string sentPath = HostPath(givenPath);
    ASSERT_EQ(windows.size(), linux.size());
    for (std::size_t i = 0; i < linux.size(); ++i) {
        const TCall& l = linux[i];
        const TCall& w = windows[i];
        SCOPED_TRACE(std::to_string(i) + " " + l.Name);
        ASSERT_EQ(w.Name, l.Name);
        EXPECT_EQ(w.Result, l.Result);
        if (l.Name == "isc_attach_database") {
            ASSERT_EQ(w.Args.size(), 4u);
            EXPECT_EQ(w.Args[0], WithPath(l.Args[0], linuxPath, sentPath));
            EXPECT_EQ(w.Args[1], l.Args[1]);
            EXPECT_EQ(w.Args[2], WithPath(l.Args[2], linuxPath, givenPath));
            EXPECT_EQ(w.Args[3], l.Args[3]);
        } else if (l.Name == "isc_service_start") {
            ASSERT_EQ(w.Args.size(), 2u);
            EXPECT_EQ(w.Args[0], WithDatabase(l.Args[0], linuxPath, sentPath));
            EXPECT_EQ(w.Args[1], WithDatabase(l.Args[1], linuxPath, givenPath));
        } else if (l.Name == "isc_database_info") {
            // The items and the buffer's length; the reply is the server's.
            ASSERT_EQ(w.Args.size(), 3u);
            EXPECT_EQ(std::vector<std::string>(w.Args.begin(), w.Args.begin() + 2), l.Args);
        } else {
            EXPECT_EQ(w.Args, l.Args);
        }
    }
}

#endif

} // namespace
