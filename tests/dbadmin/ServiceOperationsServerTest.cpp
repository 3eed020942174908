// The service-manager requests against the private server, each on a database of its own, with
// what reached the client library read back from the recording client.
#include "connectivity/service/FbClientBinding.h"
#include "connectivity/service/TIBCustomService.h"
#include "dbadmin/ServiceOperations.h"

#include "tests/firebird/OwnDatabase.h"
#include "tests/support/FailureText.h"
#include "tests/support/RecordingClient.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <clocale>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;
using TLines = std::vector<std::string>;

const std::string Password = firebird_test::SysdbaPassword;
const TLines AcceptedRun{"isc_service_attach+", "isc_service_start+", "isc_service_detach+"};
const TLines RefusedStart{"isc_service_attach+", "isc_service_start-"};

// 2, 2, isc_spb_user_name, 6, "SYSDBA", isc_spb_password, its length, the password.
std::string SysdbaBlock(const std::string& password) {
    return std::string("\x02\x02\x1c\x06SYSDBA\x1d", 11) + static_cast<char>(password.size()) +
           password;
}

// isc_action_svc_properties, isc_spb_dbname with the path's 16-bit length and the path, `tail`.
std::string Request(const std::string& path, const char (&tail)[6]) {
    return std::string("\x08\x6a") + static_cast<char>(path.size() & 0xFF) +
           static_cast<char>(path.size() >> 8) + path + std::string(tail, 5);
}

std::string ModeRefused(const std::string& path) {
    return "Target shutdown mode is invalid for database \"" + path + "\"";
}

// The services API calls in order, each with "+" when accepted and "-" when refused.
TLines ServiceCalls() {
    TLines calls;
    for (const recording_client::TCall& call : recording_client::Calls()) {
        if (call.Name.starts_with("isc_service_")) {
            calls.push_back(call.Name + (call.Result == 0 ? "+" : "-"));
        }
    }
    return calls;
}

// Runs one operation from a cleared record: its failure text and when it returned.
struct TOutcome {
    std::string Failure;
    TClock::duration Took;
    TClock::time_point Returned;
};

TOutcome Operate(decltype(&SetSingleUserMode) operation, const std::string& databaseString,
                 const std::string& password = Password) {
    recording_client::Clear();
    const TClock::time_point begun = TClock::now();
    std::string failure =
        FailureText([&] { operation(recording_client::Path, databaseString, "SYSDBA", password); });
    const TClock::time_point returned = TClock::now();
    return {failure, returned - begun, returned};
}

TEST(ServiceOperationsServer, SingleUserModeShutsDownEndsOtherAttachmentsAndPauses) {
    firebird_test::TOwnDatabase db;
    firebird_test::TAttachment other(db.DatabaseString(), firebird_test::OtherUser,
                                     firebird_test::OtherPassword);
    ASSERT_EQ(firebird_test::AttachmentCount(db.DatabaseString()), 1);

    const TOutcome done = Operate(SetSingleUserMode, db.DatabaseString());
    EXPECT_EQ(done.Failure, "<no failure>");
    EXPECT_EQ(ServiceCalls(), AcceptedRun);
    const auto attach = recording_client::Calls("isc_service_attach");
    const auto start = recording_client::Calls("isc_service_start");
    ASSERT_TRUE(attach.size() == 1 && start.size() == 1);
    EXPECT_EQ(attach[0].Args, (TLines{"localhost/3051:service_mgr", SysdbaBlock(Password)}));
    EXPECT_EQ(start[0].Args, TLines{Request(db.Path(), "\x07\x01\x00\x00\x00")});
    EXPECT_GE(done.Returned - start[0].End, 2000ms);

    EXPECT_FALSE(other.Alive());
    EXPECT_EQ(firebird_test::AttachmentCount(db.DatabaseString()), 0);
    EXPECT_EQ(db.Attributes(), "multi-user maintenance");

    // Refused at once, with no detach over the cleared handle.
    const TOutcome again = Operate(SetSingleUserMode, db.DatabaseString());
    EXPECT_EQ(again.Failure, ModeRefused(db.Path()));
    EXPECT_EQ(ServiceCalls(), RefusedStart);
    EXPECT_LT(again.Took, 1000ms);
}

TEST(ServiceOperationsServer, MultiUserModeBringsTheDatabaseBackAndRefusesAnOnlineOne) {
    firebird_test::TOwnDatabase db;
    EXPECT_EQ(Operate(SetMultiUserMode, db.DatabaseString()).Failure, ModeRefused(db.Path()));
    EXPECT_EQ(ServiceCalls(), RefusedStart);

    ASSERT_EQ(Operate(SetSingleUserMode, db.DatabaseString()).Failure, "<no failure>");
    EXPECT_EQ(Operate(SetMultiUserMode, db.DatabaseString()).Failure, "<no failure>");
    EXPECT_EQ(ServiceCalls(), AcceptedRun);
    const auto start = recording_client::Calls("isc_service_start");
    ASSERT_EQ(start.size(), 1U);
    EXPECT_EQ(start[0].Args, TLines{Request(db.Path(), "\x6c\x00\x02\x00\x00")});

    EXPECT_EQ(db.Attributes(), "");
    firebird_test::TAttachment fresh(db.DatabaseString(), firebird_test::OtherUser,
                                     firebird_test::OtherPassword);
    EXPECT_TRUE(fresh.Alive());
}

// The write mode, switched on a database shut down as the update leaves it during its script:
// isc_spb_prp_write_mode with isc_spb_prp_wm_async or isc_spb_prp_wm_sync, and the header says so.
TEST(ServiceOperationsServer, ForcedWritesGoOffAndOnAgainOnAShutDownDatabase) {
    firebird_test::TOwnDatabase db;
    db.SetForcedWrites(true);
    db.ShutDown();
    ASSERT_EQ(db.Attributes(), "force write, multi-user maintenance");
    const auto request = [&](bool forced) {
        return std::string("\x08\x6a") + static_cast<char>(db.Path().size() & 0xFF) +
               static_cast<char>(db.Path().size() >> 8) + db.Path() + "\x0c" +
               (forced ? "\x26" : "\x25");
    };
    for (const bool forced : {false, true}) {
        recording_client::Clear();
        EXPECT_EQ(FailureText([&] {
                      SetForcedWrites(recording_client::Path, db.DatabaseString(), "SYSDBA",
                                      Password, forced);
                  }),
                  "<no failure>")
            << forced;
        EXPECT_EQ(ServiceCalls(), AcceptedRun) << forced;
        EXPECT_EQ(recording_client::Calls("isc_service_start").at(0).Args, TLines{request(forced)})
            << forced;
        EXPECT_EQ(db.Attributes(),
                  forced ? "force write, multi-user maintenance" : "multi-user maintenance")
            << forced;
    }
}

// A database path of any length that the system allows reaches the server whole: its length
// travels in two bytes of the request, never in a one-byte item. 280 bytes of Cyrillic names is
// what a Windows root of up to 259 characters gives; Linux allows far longer.
TEST(ServiceOperationsServer, BothRequestsReachADatabaseAtAnyDepth) {
    // The client library reads file names in the locale's character set, and refuses a Cyrillic
    // one in the C locale of a test program; the updater's start-up (Qt) always runs in UTF-8.
    ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
    for (const std::size_t bytes : {std::size_t{255}, std::size_t{256}, std::size_t{280},
                                    std::size_t{1500}, std::size_t{4000}}) {
        const TTempFolder temp;
        if (bytes < temp.Str().size() + 20) {
            continue; // a scratch folder deeper than the row
        }
        const std::string path =
            (temp.MakeDeepFolder(bytes, "Kormant.fdb") / "Kormant.fdb").string();
        ASSERT_EQ(path.size(), bytes);
        firebird_test::TOwnDatabase db(path);

        EXPECT_EQ(Operate(SetSingleUserMode, db.DatabaseString()).Failure, "<no failure>") << bytes;
        EXPECT_EQ(ServiceCalls(), AcceptedRun) << bytes;
        EXPECT_EQ(recording_client::Calls("isc_service_start").at(0).Args,
                  TLines{Request(path, "\x07\x01\x00\x00\x00")})
            << bytes;
        EXPECT_EQ(db.Attributes(), "multi-user maintenance") << bytes;

        EXPECT_EQ(Operate(SetMultiUserMode, db.DatabaseString()).Failure, "<no failure>") << bytes;
        EXPECT_EQ(ServiceCalls(), AcceptedRun) << bytes;
        EXPECT_EQ(recording_client::Calls("isc_service_start").at(0).Args,
                  TLines{Request(path, "\x6c\x00\x02\x00\x00")})
            << bytes;
        EXPECT_EQ(db.Attributes(), "") << bytes;
    }
}

// Every refusal returns at once with the text unchanged and leaves the database online. A
// refused attach sends nothing more; the password goes out exactly as given, blanks included.
TEST(ServiceOperationsServer, RefusalsReturnAtOnceAndSendNothingAfterThem) {
    firebird_test::TOwnDatabase db;
    const std::string unknown = db.Path() + ".none";
    struct TRow {
        std::string DatabaseString, Password, Expected;
        TLines Calls;
        std::string ServiceName = {};
    };
    const TRow rows[] = {
        {db.DatabaseString(), "wrong", "", {"isc_service_attach-"}},
        {db.DatabaseString(), " " + Password + " ", "", {"isc_service_attach-"}},
        {":" + db.Path(), Password, "Server Name Missing", {}},
        // Port 1 (tcpmux) is never served on these machines.
        {"localhost/1:" + db.Path(),
         Password,
         "Unable to complete network request to host \"localhost\".\r\n"
         "Failed to establish a connection",
         {"isc_service_attach-"},
         "localhost/1:service_mgr"},
        // No server part: the local service manager, which opens the file itself.
        {unknown, Password,
         "I/O error during \"open\" operation for file \"" + unknown +
             "\"\r\nError while trying to open file\r\nNo such file or directory",
         RefusedStart, "service_mgr"},
        {firebird_test::DatabaseString(unknown), Password,
         "I/O error during \"open\" operation for file \"" + unknown +
             "\"\r\nError while trying to open file\r\nNo such file or directory",
         RefusedStart},
        {firebird_test::DatabaseString(""), Password, "please retry, giving a database name",
         RefusedStart},
    };
    for (const TRow& row : rows) {
        const std::string expected = row.Expected.empty()
                                         ? "Your user name and password are not defined. Ask your "
                                           "database administrator to set up a Firebird login"
                                         : row.Expected;
        const TOutcome refused = Operate(SetSingleUserMode, row.DatabaseString, row.Password);
        EXPECT_EQ(refused.Failure, expected) << row.DatabaseString;
        EXPECT_EQ(ServiceCalls(), row.Calls) << row.DatabaseString;
        EXPECT_LT(refused.Took, 1000ms) << row.DatabaseString;
        const auto attach = recording_client::Calls("isc_service_attach");
        if (!attach.empty()) {
            EXPECT_EQ(attach[0].Args[1], SysdbaBlock(row.Password));
            if (!row.ServiceName.empty()) {
                EXPECT_EQ(attach[0].Args[0], row.ServiceName);
            }
        }
    }
    // The last row: a request without the database item.
    EXPECT_EQ(recording_client::Calls("isc_service_start").at(0).Args,
              TLines{std::string("\x08\x07\x01\x00\x00\x00", 6)});
    EXPECT_EQ(db.Attributes(), "");
}

// While attached, nothing that would change the service name or the parameter block is taken,
// and writes of the current values change nothing; only the attach and the detach reach the
// client. Releasing an attached client detaches it.
TEST(TIBServiceServer, AttachedClientRefusesChangesAndDetachesWhenReleased) {
    FbClientBinding().LibraryName = recording_client::Path;
    const auto attached = [] {
        auto service = std::make_unique<TIBConfigService>();
        service->SetProtocol(TProtocol::TCP);
        service->SetServerName(firebird_test::Server);
        service->SetParams({"user_name=SYSDBA", "isc_spb_password=" + Password});
        service->SetActive(true);
        return service;
    };
    recording_client::Clear();
    {
        const auto service = attached();
        const std::string refused = "Cannot perform operation -- service is attached";
        EXPECT_EQ(FailureText([&] { service->SetServerName("127.0.0.1/3051"); }), refused);
        EXPECT_EQ(FailureText([&] { service->SetProtocol(TProtocol::SPX); }), refused);
        EXPECT_EQ(FailureText([&] { service->SetProtocol(TProtocol::Local); }), refused);
        EXPECT_EQ(FailureText([&] { service->SetParams(service->Params()); }), refused);
        EXPECT_EQ(FailureText([&] { service->AppendParam("password=x"); }), refused);
        EXPECT_EQ(FailureText([&] { service->AttachService(); }), refused);
        service->SetServerName(firebird_test::Server);
        service->SetProtocol(TProtocol::TCP);
        service->SetActive(true);
        EXPECT_TRUE(service->Active());
        service->SetActive(false);
        EXPECT_FALSE(service->Active());
    }
    EXPECT_EQ(ServiceCalls(), (TLines{"isc_service_attach+", "isc_service_detach+"}));

    recording_client::Clear();
    attached().reset();
    EXPECT_EQ(ServiceCalls(), (TLines{"isc_service_attach+", "isc_service_detach+"}));
}

} // namespace
