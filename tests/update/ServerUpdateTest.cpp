// Whole update runs of installations with the server part: a real release-3 database of the
// private server in DB_Data, the real script engine, the release-4 script and a package with the
// real function library. Every ending: the boxes in order, then the database, the folders, the
// staging folder and the server's udf folder.
// The same table runs in the Windows build under Wine, through the client bridge against the same
// server (tests/windows/CMakeLists.txt); the few tests that cannot run there say why.
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <string_view>

#include "dbadmin/ScriptApplication.h"
#include "platform/CodePage.h"
#include "platform/Failure.h"
#include "platform/FileSystem.h"
#include "platform/PayloadFormat.h"
#include "tests/firebird/OwnDatabase.h"
#include "tests/support/FailureText.h"
#include "tests/support/FirebirdFolderSetting.h"
#include "tests/support/KilledChild.h"
#include "tests/support/RecordingOperator.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TreeSnapshot.h"
#include "tests/update/RunRecordEvents.h"
#include "tests/update/ServerInstallation.h"
#include "update/AccessCheck.h"
#include "update/FileOperations.h"
#include "update/FirebirdServerPart.h"
#include "update/RunOnlineCommand.h"
#include "update/UpdateSeams.h"
#ifdef _WIN32
#include "platform/win32/WindowsSupport.h"
#else
#include <sys/stat.h>

#include "tests/support/ChildProcess.h"
#include "tests/support/SmallDisk.h"
#endif

namespace {

namespace fs = std::filesystem;
using TKind = TRecordedEvent::TKind;
using firebird_test::Query;

// Answers Yes and lets a test act while a box is open.
class TOperatorSayingYes : public TRecordingOperator {
public:
    std::function<void(const std::string&)> OnInformation;
    std::function<void(const std::string&)> OnError;
    std::function<void(const std::string&)> OnQuestion;
    TOperatorSayingYes() { Answers = {true}; }
    bool AskYesNo(const std::string& text) override {
        if (OnQuestion) {
            OnQuestion(text);
        }
        return TRecordingOperator::AskYesNo(text);
    }
    void ShowInformation(const std::string& text) override {
        TRecordingOperator::ShowInformation(text);
        if (OnInformation) {
            OnInformation(text);
        }
    }
    void ShowError(const std::string& text) override {
        TRecordingOperator::ShowError(text);
        if (OnError) {
            OnError(text);
        }
    }
};

// A box text as the record writes it: one line, carriage returns as "\r".
std::string Escaped(std::string text) {
    for (std::size_t at = text.find('\r'); at != std::string::npos; at = text.find('\r', at + 2)) {
        text.replace(at, 1, "\\r");
    }
    return text;
}

// A password that no text of the run holds by chance, and its windows-1251 bytes.
const std::string kDistinctivePassword = "ПарольЁж7319";
const std::string kDistinctivePassword1251 = "\xcf\xe0\xf0\xee\xeb\xfc\xa8\xe6"
                                             "7319";
#ifdef _WIN32
// The code page of Wine without a locale (1252) has no place for it: the attachment layer refuses
// it before anything is sent.
const std::string kDistinctivePasswordRefused =
    "Невозможно передать клиенту Firebird пароль: символа \"П\" (U+041F) нет в кодовой "
    "странице системы 1252!";
#else
const std::string kDistinctivePasswordRefused = "КОД ОШИБКИ ISC:335544472";
#endif

int LogLines(const TRecordingOperator& op) {
    return static_cast<int>(
        std::count_if(op.Events.begin(), op.Events.end(),
                      [](const auto& event) { return event.Kind == TKind::LogLine; }));
}

class ServerUpdate : public ::testing::Test {
protected:
    void SetUp() override {
        SetScriptEngineLibrary(UPDATER_SCRIPT_ENGINE);
        Root = Temp.Path() / "Kormant";
        Database = LayOutRelease3(Root);
        // As an installation's database has them.
        Database->SetForcedWrites(true);
        Script = ReadBytes(UPDATER_PAYLOAD_SCRIPT);
    }
    void TearDown() override { SetScriptEngineLibrary("IBEScript.dll"); }

    std::string Carrier(const std::string& script) const { return Release4Carrier(Temp, script); }

    std::string Run(TRecordingOperator& op, const std::string& script) {
        TUpdateSeams seams;
        seams.PayloadCarrier = Carrier(script);
        return FailureText(
            [&] { RunUpdate(Root.string(), firebird_test::SysdbaPassword, op, seams); });
    }

    std::string Release() const {
        return Query(Database->DatabaseString(), "select Versio from Attrs;");
    }
    bool Online() const {
        return Database->Attributes().find("shutdown") == std::string::npos &&
               Database->Attributes().find("maintenance") == std::string::npos;
    }
    // What the database's header says, read by the server.
    bool ForcedWrites() const {
        return Database->Attributes().find("force write") != std::string::npos;
    }

    std::vector<fs::path> StagingFolders() const { return StagingFoldersUnder(Root); }

    TTempFolder Temp;
    fs::path Root;
    std::unique_ptr<firebird_test::TOwnDatabase> Database;
    std::string Script;
};

TEST_F(ServerUpdate, SuccessUpdatesFilesLibraryAndDatabaseAndReturnsItOnline) {
    TFirebirdFolder server(firebird_test::InstanceFolder);
    TOperatorSayingYes op;
    bool shutDownAtTheBox = false;
    op.OnInformation = [&](const std::string&) { shutDownAtTheBox = !Online(); };
    EXPECT_EQ(Run(op, Script), "<no failure>");

    EXPECT_EQ(Boxes(op), (std::vector<TRecordedEvent>{{TKind::Question, kBothParts},
                                                      {TKind::Information, kSuccess}}));
    EXPECT_TRUE(shutDownAtTheBox);
    EXPECT_TRUE(Online());
    EXPECT_TRUE(ForcedWrites());
    EXPECT_EQ(Release(), "4\n");
    // The new function answers through the updated database.
    EXPECT_EQ(
        Query(Database->DatabaseString(), "select UDF_INTEGER_IN_WORDS(21, 1) from rdb$database;"),
        "двадцать одна\n");
    EXPECT_EQ(ReadBytes(Root / "Program/Kormant.exe"), "client release 4");
    EXPECT_EQ(ReadBytes(fs::path(firebird_test::UdfFolder) / "QUV_UDF.dll"),
              ReadBytes(UPDATER_QUV_UDF));
    const auto staging = StagingFolders();
    ASSERT_EQ(staging.size(), 1u);
    EXPECT_TRUE(fs::exists(staging[0] / "Old/DB_Data/Kormant.fdb"));
    EXPECT_GT(LogLines(op), 2);
    EXPECT_EQ(firebird_test::AttachmentCount(Database->DatabaseString()), 0);

    const auto events = RecordEvents(staging[0] / "Updater.log");
    const std::string backedUp =
        "1 files, " + std::to_string(fs::file_size(staging[0] / "Old/DB_Data/Kormant.fdb"));
    EXPECT_TRUE(EventsInOrder(events, {"updater: version ",
                                       "system: ",
                                       "root: " + Root.string(),
                                       "parts: client, server",
                                       "question: " + Escaped(kBothParts),
                                       "answer: Yes",
                                       "end attached users (",
                                       "database: server ",
                                       "end single-user mode (",
                                       "end access check (",
                                       "journal: StagingBegun",
                                       "end package run (",
                                       "end backup of Program (",
                                       "end backup of DB_Data (",
                                       "journal: BackupComplete",
                                       "journal: ApplyBegun",
                                       "end copy of the function library to ",
                                       "end asynchronous writes (",
                                       "begin script",
                                       "engine: 1/",
                                       "end script (",
                                       "end forced writes (",
                                       "end flush of the database (",
                                       "end copy of ",
                                       "end copy of ",
                                       "journal: ApplyFinished",
                                       "box information: " + Escaped(kSuccess),
                                       "end multi-user mode (",
                                       "outcome: success"}));
    EXPECT_EQ(events.back(), "outcome: success");
    EXPECT_EQ(LogLines(op), std::count_if(events.begin(), events.end(), [](const auto& event) {
                  return event.rfind("engine: ", 0) == 0;
              }));
    const auto facts = std::find_if(events.begin(), events.end(), [](const auto& event) {
        return event.rfind("database: server ", 0) == 0;
    });
    ASSERT_NE(facts, events.end());
    EXPECT_NE(facts->find("Firebird"), std::string::npos) << *facts;
    EXPECT_NE(facts->find(", on-disk structure 1"), std::string::npos) << *facts;
    EXPECT_NE(facts->find(", page size "), std::string::npos) << *facts;
    EXPECT_NE(facts->find(", forced writes on, "), std::string::npos) << *facts;
    EXPECT_TRUE(std::any_of(events.begin(), events.end(), [&](const auto& event) {
        return event.rfind("end backup of DB_Data (", 0) == 0 &&
               event.find(backedUp + " bytes)") != std::string::npos;
    })) << backedUp;
    // The administrator's password is in no file the run left, the record included.
    EXPECT_EQ(FilesHolding(Root, {firebird_test::SysdbaPassword}), std::vector<std::string>{});
}

// A database whose forced writes were off already is left so: no switch either way.
TEST_F(ServerUpdate, ADatabaseWithoutForcedWritesIsLeftWithout) {
    Database->SetForcedWrites(false);
    TFirebirdFolder server(firebird_test::InstanceFolder);
    TOperatorSayingYes op;
    EXPECT_EQ(Run(op, Script), "<no failure>");
    EXPECT_EQ(Boxes(op), (std::vector<TRecordedEvent>{{TKind::Question, kBothParts},
                                                      {TKind::Information, kSuccess}}));
    EXPECT_EQ(Release(), "4\n");
    EXPECT_TRUE(Online());
    EXPECT_FALSE(ForcedWrites());
    const auto staging = StagingFolders();
    ASSERT_EQ(staging.size(), 1u);
    const auto events = RecordEvents(staging[0] / "Updater.log");
    EXPECT_TRUE(EventsInOrder(
        events, {"end script (", "end flush of the database (", "journal: ApplyFinished"}));
    EXPECT_TRUE(std::none_of(events.begin(), events.end(), [](const auto& event) {
        return event.find("asynchronous writes") != std::string::npos ||
               event.find("begin forced writes") != std::string::npos;
    }));
}

// Phase B stops the run before anything changes: no staging folder, the installation as it was,
// the database as the server left it.
struct TPrepareCase {
    const char* Name;
    // Makes what stands in the way (attachments, a shut-down database); kept during the run.
    std::function<std::shared_ptr<void>(firebird_test::TOwnDatabase&)> Arrange;
    std::string Password;
    std::string FailureStart; // the whole failure text, or its fixed start
    bool LeftOnline;
    std::vector<std::string> Record; // the run's events that name its ending, in order
};

void PrintTo(const TPrepareCase& ending, std::ostream* out) {
    *out << ending.Name;
}

class PrepareEnding : public ServerUpdate, public ::testing::WithParamInterface<TPrepareCase> {};

TEST_P(PrepareEnding, StopsTheRunBeforeAnythingChanges) {
    TFirebirdFolder server(firebird_test::InstanceFolder);
    const auto program = DetailedSnapshotOf(Root / "Program");
    auto hold = GetParam().Arrange(*Database);
    TOperatorSayingYes op;
    TUpdateSeams seams;
    seams.PayloadCarrier = Carrier(Script);
    std::string failure =
        FailureText([&] { RunUpdate(Root.string(), GetParam().Password, op, seams); });
    std::string expected = GetParam().FailureStart;
    if (const auto at = expected.find("<database>"); at != std::string::npos) {
        expected.replace(at, 10, Database->Path());
    }
    EXPECT_EQ(failure.substr(0, expected.size()), expected) << failure;
    hold.reset();
    EXPECT_EQ(Boxes(op), (std::vector<TRecordedEvent>{{TKind::Question, kBothParts}}));
    EXPECT_TRUE(StagingFolders().empty());
    EXPECT_EQ(DetailedSnapshotOf(Root / "Program"), program);
    EXPECT_EQ(Online(), GetParam().LeftOnline);
    EXPECT_EQ(Release(), "3\n");

    // No staging folder: the record is kept beside the installation.
    const auto events = RecordEvents(Root / "Updater.log");
    auto expectedEvents = GetParam().Record;
    expectedEvents.insert(expectedEvents.begin(), {"parts: client, server", "answer: Yes"});
    expectedEvents.push_back("outcome: failed: " + Escaped(expected));
    EXPECT_TRUE(EventsInOrder(events, expectedEvents));
    EXPECT_EQ(OpenSteps(events), std::vector<std::string>{});
    EXPECT_EQ(events.back().rfind("outcome: failed: ", 0), 0u) << events.back();
    if (GetParam().Password == kDistinctivePassword) {
        ASSERT_EQ(platform::Cp1251ToUtf8(kDistinctivePassword1251), kDistinctivePassword);
        EXPECT_EQ(FilesHolding(Root, {kDistinctivePassword, kDistinctivePassword1251}),
                  std::vector<std::string>{});
    }
}

std::shared_ptr<void> Attached(firebird_test::TOwnDatabase& database, const char* user,
                               const char* password, int count) {
    auto attachments = std::make_shared<std::vector<std::unique_ptr<firebird_test::TAttachment>>>();
    for (int i = 0; i < count; ++i) {
        attachments->push_back(std::make_unique<firebird_test::TAttachment>(
            database.DatabaseString(), user, password));
    }
    return attachments;
}

const std::string kUsersAttachedStart = "Программа обновления обнаружила, что к СЕРВЕРНОЙ части "
                                        "обновляемой программы подключены следующие пользователи: ";
const std::string kUsersAttachedEnd =
    "\r\rНеобходимо, чтобы все подключенные пользователи (клиенты) вышли из обновляемой "
    "программы, после чего процесс обновления можно повторить заново.";

INSTANTIATE_TEST_SUITE_P(
    Endings, PrepareEnding,
    ::testing::Values(
        TPrepareCase{"OneOtherUser",
                     [](firebird_test::TOwnDatabase& database) {
                         return Attached(database, firebird_test::OtherUser,
                                         firebird_test::OtherPassword, 1);
                     },
                     firebird_test::SysdbaPassword,
                     kUsersAttachedStart + firebird_test::OtherUser + kUsersAttachedEnd,
                     true,
                     {"fail attached users ("}},
        TPrepareCase{"OwnUserTwice",
                     [](firebird_test::TOwnDatabase& database) {
                         return Attached(database, "SYSDBA", firebird_test::SysdbaPassword, 2);
                     },
                     firebird_test::SysdbaPassword,
                     kUsersAttachedStart + "SYSDBA; SYSDBA" + kUsersAttachedEnd,
                     true,
                     {"fail attached users ("}},
        TPrepareCase{"WrongPassword",
                     [](firebird_test::TOwnDatabase&) { return std::shared_ptr<void>(); },
                     kDistinctivePassword,
                     kDistinctivePasswordRefused,
                     true,
                     {"fail attached users ("}},
        TPrepareCase{"AlreadyShutDown",
                     [](firebird_test::TOwnDatabase& database) {
                         database.ShutDown();
                         return std::shared_ptr<void>();
                     },
                     firebird_test::SysdbaPassword,
                     SingleUserFailedText(""),
                     false,
                     {"end attached users (", "fail single-user mode ("}},
        // Outside a restore a cut database file is nobody's to repair: said so, nothing changed.
        TPrepareCase{"CutShortDatabase",
                     [](firebird_test::TOwnDatabase& database) {
                         auto whole = std::make_shared<std::string>(ReadBytes(database.Path()));
                         fs::resize_file(database.Path(), whole->size() / 2);
                         return std::shared_ptr<void>(whole.get(), [whole, &database](void*) {
                             std::ofstream(database.Path(), std::ios::binary) << *whole;
                         });
                     },
                     firebird_test::SysdbaPassword,
                     DamagedDatabaseText("<database>", ""),
                     true,
                     {"fail attached users ("}}),
    [](const auto& info) { return std::string(info.param.Name); });

// An apply failure: the rollback gives DB_Data back exactly as it was backed up (checked while
// the rollback-done box is open, before the database is brought online and the server writes
// to it again), and the guard brings the restored database online at release 3. The new
// function library stays, as it is not part of the backup.
struct TApplyCase {
    const char* Name;
    std::string ScriptEnd;   // appended to the release-4 script
    bool WithoutUdfFolder;   // the server's folder has no udf folder
    std::string FailureFrom; // what the rollback-announced box quotes, found in it
    std::string FailedStep;  // as the record names it
    // A read-only database: the server refuses asynchronous writes, which the log pane and the
    // record say, and the script runs with forced writes until it fails.
    bool ReadOnly = false;
};

void PrintTo(const TApplyCase& ending, std::ostream* out) {
    *out << ending.Name;
}

class ApplyEnding : public ServerUpdate, public ::testing::WithParamInterface<TApplyCase> {};

TEST_P(ApplyEnding, RollsBackTheDatabaseFolderAndReturnsItOnline) {
    const fs::path serverFolder = GetParam().WithoutUdfFolder
                                      ? Temp.MakeFolder("firebird")
                                      : fs::path(firebird_test::InstanceFolder);
    TFirebirdFolder server(serverFolder.string());
    const auto program = DetailedSnapshotOf(Root / "Program");
    if (GetParam().ReadOnly) {
        Database->SetReadOnly(true);
    }
    TOperatorSayingYes op;
    bool restoredAsBackedUp = false;
    op.OnInformation = [&](const std::string& text) {
        const auto staging = StagingFolders();
        restoredAsBackedUp =
            text == kRollbackDone && staging.size() == 1 &&
            DetailedSnapshotOf(Root / "DB_Data") == DetailedSnapshotOf(staging[0] / "Old/DB_Data");
    };
    EXPECT_EQ(Run(op, Script + GetParam().ScriptEnd), "<no failure>");

    const auto boxes = Boxes(op);
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[1].Kind, TKind::Error);
    EXPECT_EQ(boxes[1].Text.rfind(kRollbackAnnouncedText, 0), 0u);
    const auto staging = StagingFolders();
    ASSERT_EQ(staging.size(), 1u);
    std::string expected = GetParam().FailureFrom;
    if (GetParam().WithoutUdfFolder) {
        expected = "Невозможно скопировать файл " +
                   (staging[0] / Native("New/QUV_UDF.dll")).string() + "!";
    }
    EXPECT_NE(boxes[1].Text.find(expected), std::string::npos) << boxes[1].Text;
    EXPECT_EQ(boxes[2], (TRecordedEvent{TKind::Information, kRollbackDone}));
    EXPECT_TRUE(restoredAsBackedUp);
    EXPECT_TRUE(Online());
    // The backup's file, as the restore put it back, with forced writes.
    EXPECT_TRUE(ForcedWrites());
    EXPECT_EQ(Release(), "3\n");
    EXPECT_EQ(DetailedSnapshotOf(Root / "Program"), program);
    EXPECT_EQ(fs::exists(serverFolder / "udf/QUV_UDF.dll"), !GetParam().WithoutUdfFolder);

    const auto events = RecordEvents(staging[0] / "Updater.log");
    EXPECT_TRUE(EventsInOrder(events, {"journal: ApplyBegun", "fail " + GetParam().FailedStep,
                                       "box error: " + Escaped(kRollbackAnnouncedText), "rollback",
                                       "end removal of Program (", "end restore of Program (",
                                       "end removal of DB_Data (", "end restore of DB_Data (",
                                       "end flush of DB_Data (", "journal: RollbackFinished",
                                       "box information: " + kRollbackDone, "end multi-user mode (",
                                       "outcome: rolled back"}));
    EXPECT_EQ(events.back(), "outcome: rolled back");
    EXPECT_EQ(OpenSteps(events), std::vector<std::string>{});
    const std::string refused = AsynchronousWritesRefusedLine("");
    const auto refusals = std::count_if(op.Events.begin(), op.Events.end(), [&](const auto& e) {
        return e.Kind == TKind::LogLine && e.Text.rfind(refused, 0) == 0 &&
               e.Text.find("read-only") != std::string::npos;
    });
    EXPECT_EQ(refusals, GetParam().ReadOnly ? 1 : 0);
    EXPECT_EQ(EventsInOrder(events, {"fail asynchronous writes (", "fail script ("}),
              GetParam().ReadOnly);
}

INSTANTIATE_TEST_SUITE_P(
    Endings, ApplyEnding,
    ::testing::Values(
        // The release is already 4 when the failing statement comes: only the restore gives 3.
        TApplyCase{"ScriptError", "select * from NO_SUCH_TABLE;\r\n", false, "NO_SUCH_TABLE",
                   "script ("},
        TApplyCase{"NoUdfFolder", "", true, "", "copy of the function library to "},
        TApplyCase{"ReadOnlyDatabase", "", false, "read-only database", "script (", true}),
    [](const auto& info) { return std::string(info.param.Name); });

// The guard fails after a success: the success box first, then the multi-user-failed box; the
// database stays shut down until OnLine brings it back.
TEST_F(ServerUpdate, AFailingGuardAfterSuccessLeavesTheDatabaseShutDownForOnLine) {
    TFirebirdFolder server(firebird_test::InstanceFolder);
    const fs::path database = Root / "DB_Data/Kormant.fdb";
    const fs::path away = Root / "DB_Data/Kormant.away";
    TOperatorSayingYes op;
    // The database file is away while the guard asks for it.
    op.OnInformation = [&](const std::string&) { fs::rename(database, away); };
    op.OnError = [&](const std::string&) { fs::rename(away, database); };
    EXPECT_EQ(Run(op, Script), "<no failure>");

    const auto boxes = Boxes(op);
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[1], (TRecordedEvent{TKind::Information, kSuccess}));
    EXPECT_EQ(boxes[2].Kind, TKind::Error);
    EXPECT_EQ(boxes[2].Text.rfind(MultiUserFailedText(""), 0), 0u) << boxes[2].Text;
    EXPECT_GT(boxes[2].Text.size(), MultiUserFailedText("").size());
    EXPECT_FALSE(Online());

    TRecordingOperator online;
    RunOnlineCommand(Root.string(), firebird_test::SysdbaPassword, online);
    EXPECT_EQ(Boxes(online),
              (std::vector<TRecordedEvent>{
                  {TKind::Information, "База данных переведена в многопользовательский режим."}}));
    EXPECT_TRUE(Online());
    EXPECT_TRUE(ForcedWrites());
    EXPECT_EQ(Release(), "4\n");

    const auto staging = StagingFolders();
    ASSERT_EQ(staging.size(), 1u);
    const auto events = RecordEvents(staging[0] / "Updater.log");
    EXPECT_TRUE(EventsInOrder(
        events, {"journal: ApplyFinished", "box information: " + Escaped(kSuccess),
                 "fail multi-user mode (", "box error: " + Escaped(MultiUserFailedText("")),
                 "outcome: success"}));
}

#ifndef _WIN32
// Not in the Windows build: Wine lets a folder be renamed while a file in it is open (see
// FileOperationsWindows.AnOpenFileInsideTheRootRefusesTheAccessCheck), Windows has no FIFO, and
// the full disk is a Linux loop mount.

// Failures inside phase C before the apply: the guard returns the database to multi-user mode,
// the failure box comes after it, and nothing changed.
TEST_F(ServerUpdate, PhaseCFailuresBeforeTheApplyReturnTheDatabaseOnline) {
    TFirebirdFolder server(firebird_test::InstanceFolder);
    const auto program = DetailedSnapshotOf(Root / "Program");
    {
        const std::string pidFile = (Temp.Path() / "pid").string();
        TBackgroundChild holder({"hold", (Root / "Program/Kormant.chm").string(), pidFile},
                                pidFile);
        ASSERT_TRUE(holder.Ready());
        TOperatorSayingYes op;
        EXPECT_EQ(Run(op, Script), NoFullAccessText(Root.string()));
        EXPECT_EQ(Boxes(op).size(), 1u);
        EXPECT_TRUE(Online());
        EXPECT_TRUE(EventsInOrder(LastStart(RecordEvents(Root / "Updater.log")),
                                  {"end single-user mode (", "fail access check (",
                                   "end multi-user mode (", "outcome: failed: "}));
    }
    {
        // The updater waits a moment for the server to let go of the database file after the
        // shutdown, but a program that keeps it open is still found.
        const std::string pidFile = (Temp.Path() / "pid-database").string();
        TBackgroundChild holder({"hold", (Root / "DB_Data/Kormant.fdb").string(), pidFile},
                                pidFile);
        ASSERT_TRUE(holder.Ready());
        TOperatorSayingYes op;
        EXPECT_EQ(Run(op, Script), NoFullAccessText(Root.string()));
        EXPECT_TRUE(Online());
    }
    {
        const auto script = Temp.MakeFile("only-script.sql", Script);
        const auto carrier = Temp.Path() / "no-package";
        WritePayload(UPDATER_QUV_UDF, {{"TEXT", "SCRIPT", script.string()}}, carrier.string());
        TOperatorSayingYes op;
        TUpdateSeams seams;
        seams.PayloadCarrier = carrier.string();
        EXPECT_EQ(FailureText(
                      [&] { RunUpdate(Root.string(), firebird_test::SysdbaPassword, op, seams); }),
                  "Ошибка работы с ресурсом \"files\"!\rResource files not found");
        EXPECT_EQ(Boxes(op).size(), 1u);
        EXPECT_TRUE(Online());
        // The staging folder is gone with its record; the whole record is beside the
        // installation instead.
        EXPECT_TRUE(
            EventsInOrder(LastStart(RecordEvents(Root / "Updater.log")),
                          {"end access check (", "staging folder: ", "journal: StagingBegun",
                           "fail package saving (", "end multi-user mode (", "outcome: failed: "}));
    }
    {
        // Something in DB_Data that cannot be copied stops the backup.
        const auto pipe = Root / "DB_Data/Kormant.pipe";
        ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
        TOperatorSayingYes op;
        EXPECT_EQ(Run(op, Script), "Невозможно скопировать файл " + pipe.string() + "!");
        EXPECT_TRUE(Online());
        fs::remove(pipe);
        EXPECT_TRUE(EventsInOrder(LastStart(RecordEvents(Root / "Updater.log")),
                                  {"end backup of Program (", "fail backup of DB_Data (",
                                   "end multi-user mode (", "outcome: failed: "}));
    }
    EXPECT_TRUE(StagingFolders().empty());
    EXPECT_EQ(DetailedSnapshotOf(Root / "Program"), program);
    EXPECT_EQ(Release(), "3\n");
}

// A disk that fills up during the backup of DB_Data: a staging failure, the staging folder
// removed, the database online and unchanged.
TEST_F(ServerUpdate, AFullDiskDuringTheBackupLeavesEverythingAsItWas) {
    TSmallDisk disk(Temp.Path(), 16);
    if (!disk.Available()) {
        GTEST_SKIP() << "no loop mount here";
    }
    Database.reset();
    Root = disk.Path() / "Kormant";
    fs::create_directories(Root / "DB_Data");
    fs::create_directories(Root / "Program");
    std::ofstream(Root / "Program/Kormant.exe") << "client release 3";
    std::ofstream(Root / "Program/Archive.dat", std::ios::binary) << std::string(6 << 20, 'a');
    Database =
        std::make_unique<firebird_test::TOwnDatabase>((Root / "DB_Data/Kormant.fdb").string());
    MakeRelease3(*Database);
    TFirebirdFolder server(firebird_test::InstanceFolder);
    const auto program = DetailedSnapshotOf(Root / "Program");
    TOperatorSayingYes op;
    const std::string failure = Run(op, Script);
    EXPECT_EQ(failure.rfind("Невозможно скопировать файл ", 0), 0u) << failure;
    EXPECT_EQ(Boxes(op).size(), 1u);
    EXPECT_TRUE(StagingFolders().empty());
    EXPECT_EQ(DetailedSnapshotOf(Root / "Program"), program);
    EXPECT_TRUE(Online());
    EXPECT_EQ(Release(), "3\n");
    Database.reset(); // before the disk goes
}

// The script runs with asynchronous writes, so what it wrote is on the disk image itself, not
// only in the system's memory, before the success box: a power cut then keeps the update.
TEST_F(ServerUpdate, TheDatabaseIsOnTheDiskBeforeTheSuccessBox) {
    TSmallDisk disk(Temp.Path(), 32);
    if (!disk.Available()) {
        GTEST_SKIP() << "no loop mount here";
    }
    Database.reset();
    Root = disk.Path() / "Kormant";
    Database = LayOutRelease3(Root);
    Database->SetForcedWrites(true);
    TFirebirdFolder server(firebird_test::InstanceFolder);
    TOperatorSayingYes op;
    bool databaseOnDisk = false;
    op.OnInformation = [&](const std::string&) {
        databaseOnDisk = disk.HoldsOnDisk(Root / "DB_Data/Kormant.fdb");
    };
    EXPECT_EQ(Run(op, Script), "<no failure>");
    EXPECT_EQ(Boxes(op).back(), (TRecordedEvent{TKind::Information, kSuccess}));
    EXPECT_TRUE(databaseOnDisk);
    EXPECT_EQ(Release(), "4\n");
    EXPECT_TRUE(ForcedWrites());
    Database.reset(); // before the disk goes
}
#endif

// The root cannot be named back after the access check: the guard asks for the database under
// the layout's path, which is gone, so the multi-user-failed box comes before the failure box.
TEST_F(ServerUpdate, AFailedRenameBackShowsTheGuardsFailureFirst) {
    TFirebirdFolder server(firebird_test::InstanceFolder);
    TOperatorSayingYes op;
    TUpdateSeams seams;
    seams.PayloadCarrier = Carrier(Script);
    int renames = 0;
    seams.Rename = [&](const std::string& from, const std::string& to) {
        return ++renames == 1 && platform::RenameNoReplace(from, to);
    };
    ::testing::internal::CaptureStderr();
    const std::string failure =
        FailureText([&] { RunUpdate(Root.string(), firebird_test::SysdbaPassword, op, seams); });
    const std::string errorOutput = ::testing::internal::GetCapturedStderr();
    fs::rename(Root.string() + "_", Root); // for the database to be found and dropped
    // The root is not there at the end: the record goes to the error output whole.
    EXPECT_FALSE(fs::exists(Root / "Updater.log"));
    for (const std::string event :
         {" fail access check (", " fail multi-user mode (", " outcome: failed: "}) {
        EXPECT_NE(errorOutput.find(event), std::string::npos) << event << "\n" << errorOutput;
    }
    EXPECT_EQ(failure, kRenameBackFailedText);
    const auto boxes = Boxes(op);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].Text.rfind(MultiUserFailedText(""), 0), 0u) << boxes[1].Text;
    EXPECT_FALSE(Online());
    EXPECT_EQ(Release(), "3\n");
}

// The rollback itself fails (the client backup is gone by then): the failure of the restore
// step ends the run after the guard has brought the database online; DB_Data, not reached, keeps
// what the script did.
TEST_F(ServerUpdate, AFailingRollbackEndsWithTheRestoreStepsFailure) {
    TFirebirdFolder server(firebird_test::InstanceFolder);
    TOperatorSayingYes op;
    op.OnError = [&](const std::string&) {
        for (const auto& staging : StagingFolders()) {
            fs::remove_all(staging / "Old/Program");
        }
    };
    const std::string failure = Run(op, Script + "select * from NO_SUCH_TABLE;\r\n");
    const auto staging = StagingFolders();
    ASSERT_EQ(staging.size(), 1u);
    EXPECT_EQ(failure,
              "Папка " + (staging[0] / Native("Old/Program/")).string() + " не существует!");
    const auto boxes = Boxes(op);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].Text.rfind(kRollbackAnnouncedText, 0), 0u);
    EXPECT_TRUE(Online());
    EXPECT_EQ(Release(), "4\n");
    EXPECT_TRUE(fs::exists(staging[0] / "Old/DB_Data/Kormant.fdb"));
    const auto events = RecordEvents(staging[0] / "Updater.log");
    EXPECT_TRUE(EventsInOrder(events, {"fail script (", "box error: ", "rollback",
                                       "end removal of Program (", "fail restore of Program (",
                                       "end multi-user mode (", "outcome: failed: Папка "}));
    EXPECT_EQ(OpenSteps(events), std::vector<std::string>{});
}

// A server-only installation backs up and changes no client files; its success text ends with
// the reboot line.
TEST_F(ServerUpdate, AServerOnlyInstallationUpdatesTheDatabaseAlone) {
    TFirebirdFolder server(firebird_test::InstanceFolder);
    fs::remove_all(Root / "Program");
    TOperatorSayingYes op;
    EXPECT_EQ(Run(op, Script), "<no failure>");
    EXPECT_EQ(Boxes(op),
              (std::vector<TRecordedEvent>{
                  {TKind::Question,
                   "Программа обновления, исходя из заданного пути к обновляемой программе, "
                   "обнаружила, что на данном компьютере установлены СЕРВЕРНАЯ часть обновляемой "
                   "программы.\rПродолжить обновление?"},
                  {TKind::Information, kSuccess}}));
    EXPECT_FALSE(fs::exists(Root / "Program"));
    const auto staging = StagingFolders();
    ASSERT_EQ(staging.size(), 1u);
    EXPECT_FALSE(fs::exists(staging[0] / "Old/Program"));
    EXPECT_EQ(Release(), "4\n");
    EXPECT_TRUE(Online());
    const auto events = RecordEvents(staging[0] / "Updater.log");
    EXPECT_TRUE(EventsInOrder(events, {"parts: server", "end backup of DB_Data (", "end script (",
                                       "journal: ApplyFinished", "outcome: success"}));
    EXPECT_TRUE(std::none_of(events.begin(), events.end(), [](const auto& event) {
        return event.find("of Program") != std::string::npos;
    }));
}

#ifdef _WIN32
// A child that loads the Windows build of the function library from `arguments[0]` and holds
// it, as a server that has used it does; it writes "loaded" (or the loader's error) to
// `arguments[1]` and waits to be ended.
void HoldLibrary(const std::vector<std::string>& arguments) {
    const HMODULE library = LoadLibraryW(platform::win32::Widen(arguments.at(0)).c_str());
    const std::string state =
        library != nullptr ? "loaded" : "not loaded: " + std::to_string(GetLastError());
    std::ofstream(fs::path(arguments.at(1)) += ".part") << state;
    fs::rename(fs::path(arguments.at(1)) += ".part", arguments.at(1));
    if (library != nullptr) {
        Sleep(INFINITE);
    }
}

const TChildPartRegistration kHoldLibrary("HoldLibrary", HoldLibrary);

// Windows refuses to write a library that a process has loaded; the run puts the new one in its
// place by renaming the held one aside, and that one goes at the restart the success text asks
// for. A name left by an earlier run that nothing holds is removed.
TEST_F(ServerUpdate, AWholeUpdateSucceedsWhileAnotherProcessHoldsTheLibraryLoaded) {
    TFirebirdFolder server(firebird_test::InstanceFolder);
    const fs::path udf = firebird_test::UdfFolder;
    const fs::path library = udf / "QUV_UDF.dll";
    // A new file, not written over the old: the Linux server may have the old one mapped.
    fs::remove(library);
    fs::copy_file(UPDATER_WINDOWS_QUV_UDF, library);
    const fs::path earlier = udf / "QUV_UDF.dll.1.old";
    std::ofstream(earlier) << "set aside by an earlier update";
    const fs::path marker = Temp.Path() / "held";
    struct TChild {
        HANDLE Process;
        ~TChild() {
            if (Process != nullptr) {
                TerminateProcess(Process, 0);
                WaitForSingleObject(Process, 10000);
                CloseHandle(Process);
            }
        }
    } child{static_cast<HANDLE>(StartChild("HoldLibrary", {library.string(), marker.string()}))};
    ASSERT_NE(child.Process, nullptr);
    for (int waited = 0; !fs::exists(marker) && waited < 600; ++waited) {
        if (WaitForSingleObject(child.Process, 100) == WAIT_OBJECT_0) {
            break;
        }
    }
    ASSERT_EQ(ReadBytes(marker), "loaded");

    TOperatorSayingYes op;
    EXPECT_EQ(Run(op, Script), "<no failure>");
    EXPECT_EQ(Boxes(op), (std::vector<TRecordedEvent>{{TKind::Question, kBothParts},
                                                      {TKind::Information, kSuccess}}));
    // Compared as a whole: a library's bytes make no readable message.
    EXPECT_TRUE(ReadBytes(library) == ReadBytes(UPDATER_QUV_UDF))
        << "the Linux library is not in place";
    EXPECT_EQ(Release(), "4\n");
    EXPECT_EQ(
        Query(Database->DatabaseString(), "select UDF_INTEGER_IN_WORDS(21, 1) from rdb$database;"),
        "двадцать одна\n");
    // The held library is set aside under the free name, the earlier leftover being gone; it is
    // still there, or deleted, or due to go at the restart.
    std::vector<std::string> aside;
    for (const auto& entry : fs::directory_iterator(udf)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("QUV_UDF.dll.", 0) == 0) {
            aside.push_back(name);
        }
    }
    EXPECT_TRUE(aside.empty() || aside == std::vector<std::string>{"QUV_UDF.dll.1.old"})
        << aside.size();
    if (!aside.empty()) {
        EXPECT_TRUE(ReadBytes(earlier) == ReadBytes(UPDATER_WINDOWS_QUV_UDF))
            << "what was set aside is not the held library";
    }
    EXPECT_TRUE(Online());
    TerminateProcess(child.Process, 0);
    WaitForSingleObject(child.Process, 10000);
    fs::remove(earlier);
}
#endif

// A run killed after its apply began (SIGKILL, in a child process): the next Start puts both
// parts back exactly, brings the database online at release 3 before its usual question, and
// then updates it. The killed run leaves the database shut down. Some rows kill a second Start
// inside its restore, or leave the database folder as a kill inside the rollback's own copy back
// leaves it (removed, or its file cut short). Whatever the restore replaced is kept in the
// staging folder: the Program and the database the operator had after the kill.
enum class TAfterKill { Nothing, RemoveDataDir, CutDatabase };

struct TKillPoint {
    const char* Name;
    const char* OpenStep;    // the step the kill cut short, as the killed run's record names it
    std::string CopiedFile;  // killed right after the copy to this file name ("" for none)
    const char* InFolder;    // ... in this folder under the root ("" for any)
    int LogLine;             // killed at this line of the script's log (0 for none)
    std::string ScriptEnd;   // appended to the script, to make the apply fail
    std::string RestoreCopy; // a second Start killed right after its restore copied this file
    TAfterKill After = TAfterKill::Nothing;
};

void PrintTo(const TKillPoint& point, std::ostream* out) {
    *out << point.Name;
}

std::string gKillFile;
std::string gKillFolder;

void KillAfterCopy(const std::string& target) {
    const fs::path path(target);
    std::string name = path.filename().string();
    std::transform(name.begin(), name.end(), name.begin(), ::tolower);
    if (name == gKillFile && (gKillFolder.empty() || path.parent_path() == gKillFolder)) {
        KillThisProcess();
    }
}

class TKillingOperator : public TOperatorSayingYes {
public:
    int KillAtLogLine = 0;
    void LogAppend(const std::string& line) override {
        TOperatorSayingYes::LogAppend(line);
        if (LogLines(*this) == KillAtLogLine) {
            KillThisProcess();
        }
    }
};

// The Start of a child process, killed after the copy to a file or at a line of the script's
// log. Its arguments: the root, the payload carrier, the file's name, its folder ("" for any)
// and the log line (0 for none).
void KilledStart(const std::vector<std::string>& arguments) {
    SetScriptEngineLibrary(UPDATER_SCRIPT_ENGINE);
    gKillFile = arguments.at(2);
    gKillFolder = arguments.at(3);
    SetCopyObserver(KillAfterCopy);
    TKillingOperator op;
    op.Answers = {true, true};
    op.KillAtLogLine = std::stoi(arguments.at(4));
    TUpdateSeams seams;
    seams.PayloadCarrier = arguments.at(1);
    try {
        RunUpdate(arguments.at(0), firebird_test::SysdbaPassword, op, seams);
    } catch (...) {
    }
}

const TChildPartRegistration kKilledStart("KilledStart", KilledStart);

class KilledRunBase : public ServerUpdate {
protected:
    // A Start in a child process, killed after the copy to `file` in `folder` or at `logLine`;
    // true when it was killed.
    bool RunKilled(const std::string& carrier, const std::string& file, const fs::path& folder,
                   int logLine) {
        return RunKilledChild("KilledStart", {Root.string(), carrier, file, folder.string(),
                                              std::to_string(logLine)});
    }

    // What every restore attempt set aside under `staging`, by the name of each part.
    static std::vector<fs::path> SetAside(const fs::path& staging, const char* part) {
        std::vector<fs::path> found;
        for (const auto& entry : fs::directory_iterator(staging)) {
            if (entry.path().filename().string().rfind("Replaced", 0) == 0 &&
                fs::exists(entry.path() / part)) {
                found.push_back(entry.path() / part);
            }
        }
        return found;
    }
};

class KilledRun : public KilledRunBase, public ::testing::WithParamInterface<TKillPoint> {};

TEST_P(KilledRun, IsUndoneByTheNextStart) {
    TFirebirdFolder server(firebird_test::InstanceFolder);
    const auto program = DetailedSnapshotOf(Root / "Program");
    const fs::path killFolder = *GetParam().InFolder ? Root / GetParam().InFolder : fs::path();
    ASSERT_TRUE(RunKilled(Carrier(Script + GetParam().ScriptEnd), GetParam().CopiedFile, killFolder,
                          GetParam().LogLine))
        << "the run was not killed";
    ASSERT_FALSE(Online());
    ASSERT_EQ(StagingFolders().size(), 1u);
    const fs::path killed = StagingFolders()[0];
    // A run killed in its script leaves the database with the asynchronous writes the script
    // ran with; the restore puts back the backup's file, made with forced writes.
    if (std::string_view(GetParam().OpenStep) == "script") {
        EXPECT_FALSE(ForcedWrites());
    }
    // The killed run's record ends in the step it was killed in, after every step before it
    // ended, with whole lines only.
    const auto killedEvents = RecordEvents(killed / "Updater.log");
    const auto open = OpenSteps(killedEvents);
    ASSERT_EQ(open.size(), 1u) << ::testing::PrintToString(killedEvents);
    EXPECT_EQ(open[0].rfind(GetParam().OpenStep, 0), 0u) << open[0];
    EXPECT_EQ(
        killedEvents.back().rfind(GetParam().LogLine > 0 ? "engine: " : "begin " + open[0], 0), 0u)
        << killedEvents.back();
    EXPECT_TRUE(EventsInOrder(killedEvents, {"journal: StagingBegun", "journal: BackupComplete",
                                             "journal: ApplyBegun", "begin " + open[0]}));
    // What the operator has after the kill: a restore never destroys it.
    const auto programLeft = DetailedSnapshotOf(Root / "Program");
    if (!GetParam().RestoreCopy.empty()) {
        const char* part = GetParam().RestoreCopy == "kormant.fdb" ? "DB_Data" : "Program";
        ASSERT_TRUE(
            RunKilled(Carrier(Script), GetParam().RestoreCopy, killed / "Restoring" / part, 0))
            << "the restore was not killed";
    }
    std::string cutDatabase;
    if (GetParam().After == TAfterKill::RemoveDataDir) {
        fs::remove_all(Root / "DB_Data");
    } else if (GetParam().After == TAfterKill::CutDatabase) {
        fs::resize_file(Root / "DB_Data/Kormant.fdb",
                        fs::file_size(killed / "Old/DB_Data/Kormant.fdb") / 2);
        cutDatabase = ReadBytes(Root / "DB_Data/Kormant.fdb");
    }

    // A power cut in the middle of a line leaves it unfinished: the next Start cuts it off.
    std::ofstream(killed / "Updater.log", std::ios::app | std::ios::binary)
        << "2026-12-10 10:00:00.000 begin the cut-off step";

    TOperatorSayingYes op;
    op.Answers = {true, true};
    std::string releaseAtQuestion;
    bool onlineAtQuestion = false;
    bool forcedWritesAtQuestion = false;
    TTreeSnapshot programAtQuestion;
    op.OnQuestion = [&](const std::string& text) {
        if (text == kBothParts) {
            programAtQuestion = DetailedSnapshotOf(Root / "Program");
            onlineAtQuestion = Online();
            forcedWritesAtQuestion = ForcedWrites();
            releaseAtQuestion = Release();
        }
    };
    EXPECT_EQ(Run(op, Script), "<no failure>");
    ASSERT_EQ(StagingFolders().size(), 2u);
    const auto boxes = Boxes(op);
    ASSERT_EQ(boxes.size(), 4u);
    EXPECT_EQ(boxes[0],
              (TRecordedEvent{TKind::Question, InterruptedQuestionText(killed.string())}));
    EXPECT_EQ(boxes[1], (TRecordedEvent{TKind::Information, kRollbackDone}));
    EXPECT_EQ(boxes[2], (TRecordedEvent{TKind::Question, kBothParts}));
    EXPECT_EQ(boxes[3], (TRecordedEvent{TKind::Information, kSuccess}));
    EXPECT_EQ(programAtQuestion, program);
    EXPECT_TRUE(onlineAtQuestion);
    EXPECT_TRUE(forcedWritesAtQuestion);
    EXPECT_EQ(releaseAtQuestion, "3\n");
    EXPECT_EQ(Release(), "4\n");
    EXPECT_TRUE(Online());
    EXPECT_TRUE(ForcedWrites());
    EXPECT_EQ(ReadBytes(Root / "Program/Kormant.exe"), "client release 4");

    const auto programs = SetAside(killed, "Program");
    EXPECT_TRUE(std::any_of(programs.begin(), programs.end(), [&](const fs::path& kept) {
        return DetailedSnapshotOf(kept) == programLeft;
    })) << "the Program left by the kill is not kept";
    const auto databases = SetAside(killed, "DB_Data");
    if (GetParam().After != TAfterKill::RemoveDataDir) {
        EXPECT_TRUE(std::any_of(databases.begin(), databases.end(), [](const fs::path& kept) {
            return fs::exists(kept / "Kormant.fdb");
        })) << "the database left by the kill is not kept";
    }
    if (GetParam().After == TAfterKill::CutDatabase) {
        ASSERT_EQ(databases.size(), 1u);
        EXPECT_EQ(ReadBytes(databases[0] / "Kormant.fdb"), cutDatabase);
    }
    EXPECT_FALSE(fs::exists(killed / "Restoring/Program"));
    EXPECT_FALSE(fs::exists(killed / "Restoring/DB_Data"));

    // The restore wrote after what the killed run wrote, into its record; the update that
    // followed has a record of its own.
    EXPECT_EQ(ReadBytes(killed / "Updater.log").find("the cut-off step"), std::string::npos);
    const auto restoreEvents = RecordEvents(killed / "Updater.log");
    EXPECT_TRUE(EventsInOrder(restoreEvents,
                              {"journal: ApplyBegun", "begin " + open[0],
                               "updater: ", "interrupted run: " + killed.string(), "answer: Yes",
                               "journal: Restored", "box information: " + kRollbackDone,
                               "end multi-user mode (", "outcome: restored"}));
    EXPECT_EQ(restoreEvents.back(), "outcome: restored");
    EXPECT_EQ(OpenSteps(LastStart(restoreEvents)), std::vector<std::string>{});
    for (const fs::path& staging : StagingFolders()) {
        if (staging != killed) {
            const auto events = RecordEvents(staging / "Updater.log");
            EXPECT_TRUE(EventsInOrder(events, {"updater: ", "parts after the restore: ",
                                               "question: " + Escaped(kBothParts),
                                               "journal: ApplyFinished", "outcome: success"}));
        }
    }
}

const std::string kFailingScriptEnd = "\r\nselect nothing from nowhere;\r\n";

INSTANTIATE_TEST_SUITE_P(
    Points, KilledRun,
    ::testing::Values(
        TKillPoint{"AfterTheLibraryCopy", "copy of the function library to ", "quv_udf.dll", "", 0,
                   "", ""},
        TKillPoint{"InTheMiddleOfTheScript", "script", "", "", 3, "", ""},
        TKillPoint{"BetweenTheTwoClientCopies", "copy of ", "kormant.exe", "Program", 0, "", ""},
        TKillPoint{"InTheMiddleOfARollback", "restore of Program", "kormant.chm", "Program", 0,
                   kFailingScriptEnd, ""},
        // The rollback removed DB_Data and was killed before its copy back began.
        TKillPoint{"InARollbackWithTheDatabaseFolderGone", "restore of Program", "kormant.chm",
                   "Program", 0, kFailingScriptEnd, "", TAfterKill::RemoveDataDir},
        // The rollback was killed half way through its copy of the database file.
        TKillPoint{"InARollbacksCopyOfTheDatabase", "restore of DB_Data", "kormant.fdb", "DB_Data",
                   0, kFailingScriptEnd, "", TAfterKill::CutDatabase},
        TKillPoint{"AndItsRestoreAfterTheProgramCopy", "copy of the function library to ",
                   "quv_udf.dll", "", 0, "", "kormant.chm"},
        TKillPoint{"AndItsRestoreInTheDatabaseRestore", "copy of the function library to ",
                   "quv_udf.dll", "", 0, "", "kormant.fdb"},
        TKillPoint{"InTheScriptAndItsRestoreInTheDatabaseRestore", "script", "", "", 3, "",
                   "kormant.fdb"}),
    [](const auto& info) { return std::string(info.param.Name); });

// The restore of a run killed after its library copy, with something in its way: each ends in a
// clear text with nothing changed, or in a complete restore whose boxes come in a run's order.
struct TRestoreCase {
    const char* Name;
    // Changes what the killed run left, given the root and its staging folder.
    std::function<void(const fs::path&, const fs::path&)> Arrange;
    bool Answer; // to the restore question
    // The boxes (kind and the start of the text) and the failure's start ("" for none).
    std::function<std::vector<TRecordedEvent>(const fs::path&, const fs::path&)> Boxes;
    std::function<std::string(const fs::path&, const fs::path&)> Failure;
    bool ChangesNothing; // the root's tree, the database file's bytes aside
    // The restore's events in the interrupted run's record, after "interrupted run: ", in order.
    std::vector<std::string> Record;
    // Acts while a box is open.
    std::function<void(TOperatorSayingYes&, const fs::path&)> Hook = {};
};

void PrintTo(const TRestoreCase& ending, std::ostream* out) {
    *out << ending.Name;
}

class RestoreEnding : public KilledRunBase, public ::testing::WithParamInterface<TRestoreCase> {};

TEST_P(RestoreEnding, EndsInAClearTextOrAWholeRestore) {
    TFirebirdFolder server(firebird_test::InstanceFolder);
    ASSERT_TRUE(RunKilled(Carrier(Script), "quv_udf.dll", "", 0));
    const fs::path staging = StagingFolders().at(0);
    GetParam().Arrange(Root, staging);
    auto before = DetailedSnapshotOf(Root);

    TOperatorSayingYes op;
    op.Answers = {GetParam().Answer, true};
    if (GetParam().Hook) {
        GetParam().Hook(op, Root);
    }
    const std::string failure = Run(op, Script);
    const std::string expected = GetParam().Failure(Root, staging);
    if (expected.empty()) {
        EXPECT_EQ(failure, "<no failure>");
    } else {
        EXPECT_EQ(failure.substr(0, expected.size()), expected) << failure;
    }
    const auto boxes = Boxes(op);
    const auto expectedBoxes = GetParam().Boxes(Root, staging);
    ASSERT_EQ(boxes.size(), expectedBoxes.size());
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        EXPECT_EQ(boxes[i].Kind, expectedBoxes[i].Kind) << i;
        EXPECT_EQ(boxes[i].Text.substr(0, expectedBoxes[i].Text.size()), expectedBoxes[i].Text);
    }
    if (GetParam().ChangesNothing) {
        auto after = DetailedSnapshotOf(Root);
        // The server's own bookkeeping in the file of a database it was asked about, and the
        // record the restore added to.
        before.erase(Native("DB_Data/Kormant.fdb"));
        after.erase(Native("DB_Data/Kormant.fdb"));
        LeaveOutRunRecords(before, after);
        EXPECT_EQ(after, before);
    }

    auto expectedEvents = GetParam().Record;
    expectedEvents.insert(expectedEvents.begin(), "interrupted run: " + staging.string());
    const auto events = LastStart(RecordEvents(staging / "Updater.log"));
    EXPECT_TRUE(EventsInOrder(events, expectedEvents));
    EXPECT_EQ(OpenSteps(events), std::vector<std::string>{});
    ASSERT_FALSE(events.empty());
    if (events.back() == "outcome: restored" && !expected.empty()) {
        // Restored, and the update that followed failed before its staging folder: its record
        // is beside the installation.
        EXPECT_TRUE(EventsInOrder(
            LastStart(RecordEvents(Root / "Updater.log")),
            {"parts after the restore: ", "answer: Yes", "outcome: failed: " + Escaped(expected)}));
    } else {
        EXPECT_EQ(events.back().rfind(expected.empty() ? "outcome: restored"
                                                       : "outcome: failed: " + Escaped(expected),
                                      0),
                  0u)
            << events.back();
    }
}

void ChangeFileBytes(const fs::path& file, std::streamoff at, const std::string& bytes) {
    std::fstream stream(file, std::ios::binary | std::ios::in | std::ios::out);
    stream.seekp(at);
    stream.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

const auto kNothing = [](const fs::path&, const fs::path&) {};
const auto kNoBoxes = [](const fs::path&, const fs::path&) {
    return std::vector<TRecordedEvent>{};
};
std::string DatabaseIn(const fs::path& root) {
    return (root / "DB_Data" / "Kormant.fdb").string();
}

INSTANTIATE_TEST_SUITE_P(
    Endings, RestoreEnding,
    ::testing::Values(
        TRestoreCase{"DeclinedSaysWhereTheBackupIs",
                     kNothing,
                     false,
                     [](const fs::path&, const fs::path& staging) {
                         return std::vector<TRecordedEvent>{
                             {TKind::Question, InterruptedQuestionText(staging.string())}};
                     },
                     [](const fs::path&, const fs::path& staging) {
                         return InterruptedRefusedText(staging.string());
                     },
                     true,
                     {"end state of the database (", "database found: shut down",
                      "question: ", "answer: No"}},
        TRestoreCase{"AnEmptyDatabaseBackup",
                     [](const fs::path&, const fs::path& staging) {
                         for (const auto& entry : fs::directory_iterator(staging / "Old/DB_Data")) {
                             fs::remove_all(entry.path());
                         }
                     },
                     true,
                     kNoBoxes,
                     [](const fs::path& root, const fs::path& staging) {
                         return MissingBackupText(staging.string(), root.string());
                     },
                     true,
                     {}},
        // The header's structure number made one that no server writes.
        TRestoreCase{"AnUnknownOnDiskStructure",
                     [](const fs::path& root, const fs::path&) {
                         ChangeFileBytes(DatabaseIn(root), 18, std::string("\x63\x80", 2));
                     },
                     true,
                     kNoBoxes,
                     [](const fs::path& root, const fs::path&) {
                         return UnknownStructureText(DatabaseIn(root), "");
                     },
                     true,
                     {"end state of the database ("}},
        // Cut, but not by the run's own copy back: its first bytes are not the backup's.
        TRestoreCase{"ADamagedDatabaseThatTheRunDidNotCut",
                     [](const fs::path& root, const fs::path&) {
                         fs::resize_file(DatabaseIn(root), fs::file_size(DatabaseIn(root)) / 2);
                         ChangeFileBytes(DatabaseIn(root), 200000, "damage");
                     },
                     true,
                     kNoBoxes,
                     [](const fs::path& root, const fs::path&) {
                         return DamagedDatabaseText(DatabaseIn(root), "");
                     },
                     true,
                     {"end state of the database ("}},
        // The backup cannot be copied (a file stands where the copies go): the copies come
        // before any move, so the installation stays as it was and the text says so.
        TRestoreCase{"ABackupThatCannotBeCopied",
                     [](const fs::path&, const fs::path& staging) {
                         std::ofstream(staging / "Restoring") << "in the way";
                     },
                     true,
                     [](const fs::path&, const fs::path& staging) {
                         return std::vector<TRecordedEvent>{
                             {TKind::Question, InterruptedQuestionText(staging.string())}};
                     },
                     [](const fs::path&, const fs::path& staging) {
                         return RestoreFailedText(staging.string(), "");
                     },
                     true,
                     {"answer: Yes", "end access check (", "fail copy of "}},
        // A full shutdown admits nobody, SYSDBA included: the refused attach says shut down.
        TRestoreCase{
            "AFullShutdownIsTakenAsShutDown",
            [](const fs::path& root, const fs::path&) {
                firebird_test::ShutDownFully(firebird_test::DatabaseString(DatabaseIn(root)));
            },
            true,
            [](const fs::path&, const fs::path& staging) {
                return std::vector<TRecordedEvent>{
                    {TKind::Question, InterruptedQuestionText(staging.string())},
                    {TKind::Information, kRollbackDone},
                    {TKind::Question, kBothParts},
                    {TKind::Information, kSuccess}};
            },
            [](const fs::path&, const fs::path&) { return std::string(); },
            false,
            {"database found: shut down", "answer: Yes", "end access check (", "end copy of ",
             "journal: Restored", "box information: " + kRollbackDone, "end multi-user mode ("}},
        // OnLine brought the database back and a user worked in it: the question says that the
        // work goes aside with that database, which stays in the staging folder with the row.
        TRestoreCase{"OnlineSinceAndARowChanged",
                     [](const fs::path& root, const fs::path&) {
                         TRecordingOperator online;
                         RunOnlineCommand(root.string(), firebird_test::SysdbaPassword, online);
                         Query(firebird_test::DatabaseString(DatabaseIn(root)),
                               "create table WorkSince (Note varchar(40)); commit;"
                               "insert into WorkSince values ('entered after OnLine'); commit;");
                     },
                     true,
                     [](const fs::path&, const fs::path& staging) {
                         return std::vector<TRecordedEvent>{
                             {TKind::Question,
                              InterruptedQuestionText(
                                  staging.string(),
                                  (staging / Native("Replaced1/DB_Data")).string())},
                             {TKind::Information, kRollbackDone},
                             {TKind::Question, kBothParts},
                             {TKind::Information, kSuccess}};
                     },
                     [](const fs::path& root, const fs::path& staging) {
                         // Checked here, after the run: the work is kept aside, not in place.
                         EXPECT_EQ(Query(firebird_test::DatabaseString(
                                             (staging / "Replaced1/DB_Data/Kormant.fdb").string()),
                                         "select Note from WorkSince;"),
                                   "entered after OnLine\n");
                         EXPECT_EQ(Query(firebird_test::DatabaseString(DatabaseIn(root)),
                                         "select count(*) from rdb$relations where "
                                         "rdb$relation_name = 'WORKSINCE';"),
                                   "0\n");
                         return std::string();
                     },
                     false,
                     {"database found: online", "answer: Yes", "end attached users (",
                      "end single-user mode (", "end move of ", "journal: Restored",
                      "end multi-user mode ("}},
        // The guard fails after the restore: the done box first, then the guard's box, as in a
        // run; the update then stops at its single-user step, the database being shut down.
        TRestoreCase{"AFailingGuardComesAfterTheDoneBox",
                     kNothing,
                     true,
                     [](const fs::path&, const fs::path& staging) {
                         return std::vector<TRecordedEvent>{
                             {TKind::Question, InterruptedQuestionText(staging.string())},
                             {TKind::Information, kRollbackDone},
                             {TKind::Error, MultiUserFailedText("")},
                             {TKind::Question, kBothParts}};
                     },
                     [](const fs::path&, const fs::path&) { return SingleUserFailedText(""); },
                     false,
                     {"journal: Restored", "box information: " + kRollbackDone,
                      "fail multi-user mode (", "box error: "},
                     [](TOperatorSayingYes& op, const fs::path& root) {
                         const fs::path database = DatabaseIn(root);
                         const fs::path away = root / "DB_Data/Kormant.away";
                         op.OnInformation = [=](const std::string& text) {
                             if (text == kRollbackDone) {
                                 fs::rename(database, away);
                             }
                         };
                         op.OnError = [=](const std::string&) { fs::rename(away, database); };
                     }}),
    [](const auto& info) { return std::string(info.param.Name); });

} // namespace
