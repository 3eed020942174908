// The Firebird server stops in the middle of an update run, at each of the run's database steps.
// Each test runs in a network of its own (tests/firebird/own-network.sh) with a server of its own
// on port 3051, which it stops when the run reaches the step and starts again afterwards. Every
// run ends in one of the specified endings with nothing lost: the installation is either updated
// or restored, the boxes say which, and OnLine brings the database back.
#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <thread>

#include "connectivity/service/FbClientBinding.h"
#include "connectivity/service/TIBCustomService.h"
#include "dbadmin/ScriptApplication.h"
#include "dbadmin/ServiceOperations.h"
#include "tests/firebird/OwnDatabase.h"
#include "tests/support/FailureText.h"
#include "tests/support/RecordingOperator.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TreeSnapshot.h"
#include "tests/update/RunRecordEvents.h"
#include "tests/update/ServerInstallation.h"
#include "update/FirebirdServerPart.h"
#include "update/RunOnlineCommand.h"
#include "update/UpdateSeams.h"

namespace {

namespace fs = std::filesystem;
using TKind = TRecordedEvent::TKind;

// Where the run meets the stopped server.
enum class TStop { AtTheQuestion, DuringTheShutdownPause, DuringTheScript, AtTheSuccessBox };

// Stops the server at the chosen point of the run, from inside the operator's calls.
class TStoppingOperator : public TRecordingOperator {
public:
    TStop Stop = TStop::AtTheQuestion;
    std::function<void()> StopServer;
    std::thread Delayed;

    bool AskYesNo(const std::string& text) override {
        if (Stop == TStop::AtTheQuestion) {
            StopServer();
        } else if (Stop == TStop::DuringTheShutdownPause) {
            // The single-user request is accepted well within a second; its fixed pause of
            // 2 s follows, in the middle of which the server goes.
            Delayed = std::thread([this] {
                std::this_thread::sleep_for(std::chrono::milliseconds(1000));
                StopServer();
            });
        }
        TRecordingOperator::AskYesNo(text);
        return true;
    }
    void LogAppend(const std::string& line) override {
        TRecordingOperator::LogAppend(line);
        if (Stop == TStop::DuringTheScript && ++Lines_ == 40) {
            StopServer();
        }
    }
    void ShowInformation(const std::string& text) override {
        TRecordingOperator::ShowInformation(text);
        if (Stop == TStop::AtTheSuccessBox) {
            StopServer();
        }
    }
    ~TStoppingOperator() override {
        if (Delayed.joinable()) {
            Delayed.join();
        }
    }

private:
    int Lines_ = 0;
};

struct TOutageCase {
    const char* Name;
    TStop Stop;
    // The boxes after the question: kinds, and the start of each text.
    std::vector<std::pair<TKind, std::string>> Boxes;
    std::string Failure;  // the start of the run's failure text; "" for none
    bool LeftShutDown;    // the database is shut down when the server is back
    std::string Release;  // the release afterwards
    bool ProgramReplaced; // the client files are those of release 4
};

void PrintTo(const TOutageCase& outage, std::ostream* out) {
    *out << outage.Name;
}

// A server of its own in the test's network, and release 3 installed under Root.
class TOwnServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::getenv("UPDATER_NO_OWN_NETWORK") != nullptr) {
            GTEST_SKIP() << "a network of its own needs root; the shared server must keep running";
        }
        Instance = (Temp.Path() / "server").string();
        setenv("UPDATER_FB_LOCKFILE", (Temp.Path() / "server.lock").c_str(), 1);
        if (SecurityFolderBytes > 0) {
            const fs::path folder = Temp.MakeDeepFolder(SecurityFolderBytes, "security3.fdb");
            setenv("UPDATER_FB_SECURITY_DIR", folder.c_str(), 1);
        }
        StartServer();
        // The server this test ran against, in its log; the run's version (UPDATER_TEST_FIREBIRD).
        const std::string version = firebird_test::ServerVersion(
            firebird_test::DatabaseString(Instance + "/databases/test.fdb"));
        std::printf("Firebird server of this test: %s\n", version.c_str());
        ASSERT_EQ(firebird_test::MajorVersion(version), firebird_test::ExpectedMajorVersion());
        setenv("FIREBIRD", Instance.c_str(), 1);
        SetScriptEngineLibrary(UPDATER_SCRIPT_ENGINE);
        Root =
            DatabasePathBytes > 0
                ? Temp.MakeDeepFolder(DatabasePathBytes, "Kormant/DB_Data/Kormant.fdb") / "Kormant"
                : Temp.Path() / "Kormant";
        Database = LayOutRelease3(Root);
    }
    void TearDown() override {
        if (!Instance.empty()) {
            StartServer(); // the database is dropped through it
            Database.reset();
            StopServer();
        }
        unsetenv("UPDATER_FB_SECURITY_DIR");
        SetScriptEngineLibrary("IBEScript.dll");
    }

    void StartServer() const {
        ASSERT_EQ(std::system(("bash '" UPDATER_FIREBIRD_SERVER_SCRIPT "' start '" + Instance +
                               "' " + std::to_string(firebird_test::Port) + " " +
                               firebird_test::SysdbaPassword + " 30 >/dev/null")
                                  .c_str()),
                  0);
    }
    void StopServer() const {
        std::system(("bash '" UPDATER_FIREBIRD_SERVER_SCRIPT "' stop '" + Instance + "' >/dev/null")
                        .c_str());
    }

    // Set by a test's constructor: the length of the path of the server's security database's
    // folder, and of the installation's database path (0: short ones).
    std::size_t SecurityFolderBytes = 0;
    std::size_t DatabasePathBytes = 0;
    TTempFolder Temp;
    std::string Instance;
    fs::path Root;
    std::unique_ptr<firebird_test::TOwnDatabase> Database;
};

class ServerOutage : public TOwnServerTest, public ::testing::WithParamInterface<TOutageCase> {};

TEST_P(ServerOutage, EndsAsSpecifiedWithNothingLost) {
    const auto program = DetailedSnapshotOf(Root / "Program");
    TStoppingOperator op;
    op.Stop = GetParam().Stop;
    op.StopServer = [this] { StopServer(); };
    TUpdateSeams seams;
    seams.PayloadCarrier = Release4Carrier(Temp, ReadBytes(UPDATER_PAYLOAD_SCRIPT));
    const std::string failure =
        FailureText([&] { RunUpdate(Root.string(), firebird_test::SysdbaPassword, op, seams); });
    if (op.Delayed.joinable()) {
        op.Delayed.join();
    }

    const auto boxes = Boxes(op);
    ASSERT_EQ(boxes.size(), GetParam().Boxes.size() + 1)
        << (boxes.empty() ? "" : boxes.back().Text);
    for (std::size_t i = 0; i < GetParam().Boxes.size(); ++i) {
        EXPECT_EQ(boxes[i + 1].Kind, GetParam().Boxes[i].first) << i;
        EXPECT_EQ(boxes[i + 1].Text.rfind(GetParam().Boxes[i].second, 0), 0u) << boxes[i + 1].Text;
    }
    if (GetParam().Failure.empty()) {
        EXPECT_EQ(failure, "<no failure>");
    } else {
        EXPECT_EQ(failure.rfind(GetParam().Failure, 0), 0u) << failure;
    }
    if (GetParam().ProgramReplaced) {
        EXPECT_EQ(ReadBytes(Root / "Program/Kormant.exe"), "client release 4");
    } else {
        EXPECT_EQ(DetailedSnapshotOf(Root / "Program"), program);
    }

    // The server back: the database as the ending says, and OnLine brings it online.
    StartServer();
    const std::string attributes = Database->Attributes();
    EXPECT_EQ(attributes.find("shutdown") != std::string::npos ||
                  attributes.find("maintenance") != std::string::npos,
              GetParam().LeftShutDown)
        << attributes;
    if (GetParam().LeftShutDown) {
        TRecordingOperator online;
        RunOnlineCommand(Root.string(), firebird_test::SysdbaPassword, online);
        EXPECT_EQ(Database->Attributes().find("shutdown"), std::string::npos);
    }
    EXPECT_EQ(firebird_test::Query(Database->DatabaseString(), "select Versio from Attrs;"),
              GetParam().Release);
}

const std::string kRollbackAnnounced = "В процессе обновления произошла ошибка.";

INSTANTIATE_TEST_SUITE_P(
    Steps, ServerOutage,
    ::testing::Values(
        // The attached-users query finds no server: nothing has changed.
        TOutageCase{"AttachedUsers", TStop::AtTheQuestion, {}, "КОД ОШИБКИ", false, "3\n", false},
        // The shutdown is accepted, then the server goes before the request has ended: the
        // single-user failure, with the database as the server left it.
        TOutageCase{"SingleUser",
                    TStop::DuringTheShutdownPause,
                    {},
                    SingleUserFailedText(""),
                    true,
                    "3\n",
                    false},
        // The script breaks off: the database that holds part of it is replaced by the backup;
        // the guard cannot bring it online.
        TOutageCase{"Script",
                    TStop::DuringTheScript,
                    {{TKind::Error, kRollbackAnnounced},
                     {TKind::Information, kRollbackDone},
                     {TKind::Error, MultiUserFailedText("")}},
                    "",
                    true,
                    "3\n",
                    false},
        // Updated, but the guard finds no server: the success box, then the multi-user failure.
        TOutageCase{"MultiUser",
                    TStop::AtTheSuccessBox,
                    {{TKind::Information, kSuccess}, {TKind::Error, MultiUserFailedText("")}},
                    "",
                    true,
                    "4\n",
                    true}),
    [](const auto& info) { return std::string(info.param.Name); });

} // namespace

namespace {

// Firebird 3's service manager refuses every request on a server whose security database lies
// deeper than 99 bytes; the update then asks for the shutdown and the return online through an
// attachment. The installation sits as deep as a Windows root of 259 characters puts it, with
// Cyrillic names.
class DeepSecurityDatabase : public TOwnServerTest {
protected:
    DeepSecurityDatabase() {
        // Over 99 bytes with its file name; 280 bytes, or deeper when the scratch folder is.
        SecurityFolderBytes = std::max<std::size_t>(150, Temp.Str().size() + 60);
        DatabasePathBytes = std::max<std::size_t>(280, Temp.Str().size() + 100);
        // The client library reads file names in the locale's character set, and refuses a
        // Cyrillic one in the C locale of a test program; the updater's start-up (Qt) always runs
        // in UTF-8.
        std::setlocale(LC_CTYPE, "C.UTF-8");
    }
};

TEST_F(DeepSecurityDatabase, UpdateAndOnLineWorkThoughTheServiceManagerRefuses) {
    ASSERT_EQ(Database->Path().size(), DatabasePathBytes);
    {
        FbClientBinding().LibraryName = "fbclient.dll";
        TIBConfigService service;
        service.SetServerName(firebird_test::Server);
        service.SetProtocol(TProtocol::TCP);
        service.SetParams(
            {"user_name=SYSDBA", std::string("password=") + firebird_test::SysdbaPassword});
        service.SetDatabaseName(Database->Path());
        service.SetActive(true);
        EXPECT_NE(FailureText([&] {
                      service.Shutdown(ShutdownForced, 1);
                  }).find("in a clumplet with maximum size 255 bytes"),
                  std::string::npos);
    }

    // As an installation's database has it; the write mode goes through an attachment too.
    Database->SetForcedWrites(true);
    TRecordingOperator op;
    op.Answers = {true};
    TUpdateSeams seams;
    seams.PayloadCarrier = Release4Carrier(Temp, ReadBytes(UPDATER_PAYLOAD_SCRIPT));
    EXPECT_EQ(
        FailureText([&] { RunUpdate(Root.string(), firebird_test::SysdbaPassword, op, seams); }),
        "<no failure>");
    const auto boxes = Boxes(op);
    ASSERT_EQ(boxes.size(), 2u) << (boxes.empty() ? "" : boxes.back().Text);
    EXPECT_EQ(boxes[1].Text, kSuccess);
    EXPECT_EQ(Database->Attributes(), "force write");
    const auto staging = StagingFoldersUnder(Root);
    ASSERT_EQ(staging.size(), 1u);
    EXPECT_TRUE(
        EventsInOrder(RecordEvents(staging[0] / "Updater.log"),
                      {"end asynchronous writes (", "end script (", "end forced writes ("}));
    EXPECT_EQ(firebird_test::Query(Database->DatabaseString(), "select Versio from Attrs;"), "4\n");
    EXPECT_EQ(ReadBytes(Root / "Program/Kormant.exe"), "client release 4");

    // Shut down as an interrupted run leaves it, then OnLine.
    SetSingleUserMode("fbclient.dll", Database->DatabaseString(), "SYSDBA",
                      firebird_test::SysdbaPassword);
    EXPECT_EQ(Database->Attributes(), "force write, multi-user maintenance");
    TRecordingOperator online;
    RunOnlineCommand(Root.string(), firebird_test::SysdbaPassword, online);
    EXPECT_EQ(Database->Attributes(), "force write");
}

} // namespace
