// The payload as resources and whole client-only update runs under Wine: the script and the
// package found by lower-case names, the release tool's replacement of them, the package
// program started by the run, and a rollback that gives Program back.
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

#include "platform/Failure.h"
#include "platform/Process.h"
#include "platform/ProgramResource.h"
#include "tests/support/FailureText.h"
#include "tests/support/PackageMaker.h"
#include "tests/support/RecordingOperator.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TreeSnapshot.h"
#include "tests/update/RunRecordEvents.h"
#include "tests/windows/ClientInstallation.h"
#include "update/FileOperations.h"
#include "update/Payload.h"
#include "update/RunJournal.h"
#include "update/UpdateSeams.h"

namespace {

namespace fs = std::filesystem;
using TKind = TRecordedEvent::TKind;

std::string Contents(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

TEST(ProgramResources, AreFoundByLowerCaseNamesInRussian) {
    const std::string carrier = UPDATER_RESOURCE_CARRIER;
    const std::string script = Contents(UPDATER_RESOURCE_SCRIPT);
    for (const auto& [type, name] : {std::pair{"text", "script"}, std::pair{"TEXT", "Script"}}) {
        const auto read = platform::ReadProgramResource(carrier, type, name);
        EXPECT_EQ(read.Outcome, platform::TResourceRead::TOutcome::Read) << type << name;
        EXPECT_EQ(read.Bytes, script);
    }
    EXPECT_EQ(LoadScriptText(carrier), script);
    EXPECT_EQ(platform::ReadProgramResource(carrier, "exefile", "files").Bytes,
              Contents(UPDATER_RESOURCE_FILES));

    HMODULE module =
        LoadLibraryExW(L"" UPDATER_RESOURCE_CARRIER, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    EXPECT_NE(
        FindResourceExW(module, L"TEXT", L"SCRIPT", MAKELANGID(LANG_RUSSIAN, SUBLANG_DEFAULT)),
        nullptr);
    FreeLibrary(module);
}

TEST(ProgramResources, TheReleaseToolReplacesThemAndTheProgramStillRuns) {
    TTempFolder temp;
    const auto script = temp.MakeFile("release4.sql", "select 4 from rdb$database;\r\n");
    const auto package =
        temp.MakeFile("package.exe", std::string("MZ package of release 4\0!", 25));
    const std::string updater = (temp.Path() / "Updater.exe").string();
    platform::WriteProgramResources(
        UPDATER_RESOURCE_CARRIER,
        {{"TEXT", "SCRIPT", script.string()}, {"EXEFILE", "FILES", package.string()}}, updater);

    EXPECT_EQ(LoadScriptText(updater), "select 4 from rdb$database;\r\n");
    const std::string saved = (temp.Path() / "saved.exe").string();
    SavePackage(saved, updater);
    EXPECT_EQ(Contents(saved), Contents(package));
    // The built program keeps its own payload, and the new one starts like the old.
    EXPECT_EQ(LoadScriptText(UPDATER_RESOURCE_CARRIER), Contents(UPDATER_RESOURCE_SCRIPT));
    auto process = platform::TProcess::Start(updater, std::nullopt, temp.Str(), SW_HIDE);
    ASSERT_TRUE(process.IsStarted());
    EXPECT_EQ(process.Wait(), 0);
}

TEST(ProgramResources, FailuresGiveTheirTexts) {
    TTempFolder temp;
    const std::string carrier = UPDATER_RESOURCE_CARRIER;
    const std::string bare = UPDATER_PACKAGE_STUB; // a program without resources
    const std::string missingFolder = (temp.Path() / "missing" / "package.exe").string();
    const std::string filesText = "Ошибка работы с ресурсом \"files\"!\r";
    struct TRow {
        std::function<void()> Action;
        std::string Text;
    };
    const TRow rows[] = {
        {[&] { LoadScriptText(bare); }, "Не найден ресурс \"script\"!"},
        {[&] { LoadScriptText(temp.Str() + "\\missing.exe"); },
         "Невозможно загрузить ресурс \"script\"!"},
        {[&] { SavePackage(temp.Str() + "\\p.exe", bare); },
         filesText + "Resource files not found"},
        {[&] { SavePackage(missingFolder, carrier); },
         filesText + "Cannot create file " + missingFolder},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(FailureText<EFailure>(row.Action), row.Text);
    }
    EXPECT_FALSE(fs::exists(temp.Path() / "p.exe"));
}

// Whole runs on a client-only installation of release 3.
class ClientUpdateWindows : public ::testing::Test {
protected:
    std::vector<TRecordedEvent> Run(const std::vector<fs::path>& files) {
        const TUpdateSeams seams = ClientOnlySeams(MakeTestCarrier(
            Temp.Path() / "carrier", BuildTestPackage(Temp.Path() / "p.exe", files)));
        TRecordingOperator op;
        op.Answers = {true};
        RunUpdate(Root.string(), "", op, seams);
        return op.Events;
    }

    TTempFolder Temp;
    TClientRelease3 Release3{Temp};
    const fs::path& Root = Release3.Root;
    const TTreeSnapshot& Before = Release3.Before;
    const TTreeSnapshot& BeforeInDetail = Release3.BeforeInDetail;
    const fs::path &NewExe = Release3.NewExe, &NewChm = Release3.NewChm, &NewUdf = Release3.NewUdf;
};

TEST_F(ClientUpdateWindows, ThePackageDeliversTheNewFiles) {
    const auto events = Run({NewExe, NewChm, NewUdf});
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].Kind, TKind::Question);
    EXPECT_EQ(events[1], (TRecordedEvent{TKind::Information, kSuccessText}));
    TTreeSnapshot expected = Before;
    expected["Kormant.exe"] = "client release 4";
    expected["Kormant.chm"] = "help release 4";
    EXPECT_EQ(SnapshotOf(Root / "Program"), expected);
    const auto staging = StagingFoldersUnder(Root);
    ASSERT_EQ(staging.size(), 1u);
    EXPECT_EQ(SnapshotOf(staging[0] / "Old" / "Program"), Before);
}

TEST_F(ClientUpdateWindows, AFileThatIsNotDeliveredRollsProgramBack) {
    const auto events = Run({NewExe, NewUdf});
    const auto staging = StagingFoldersUnder(Root);
    ASSERT_EQ(staging.size(), 1u);
    const std::string missing = (staging[0] / "New" / "Kormant.chm").string();
    EXPECT_EQ(events.size(), 3u);
    EXPECT_EQ(events.at(1),
              (TRecordedEvent{TKind::Error, kRollbackAnnouncedText +
                                                std::string("Невозможно скопировать файл ") +
                                                missing + "!"}));
    EXPECT_EQ(events.at(2), (TRecordedEvent{TKind::Information, kRollbackDoneText}));
    // Every byte back, and the read-only attribute and the times.
    EXPECT_EQ(DetailedSnapshotOf(Root / "Program"), BeforeInDetail);
}

// A run that stopped in its apply, as a power cut leaves it: the new client in Program and a
// journal that says the apply had begun. The next Start puts Program back from that run's backup,
// attributes and times included, and records the restore.
TEST_F(ClientUpdateWindows, AnInterruptedRunIsRestoredFromItsBackup) {
    Run({NewExe, NewChm, NewUdf});
    const auto staging = StagingFoldersUnder(Root);
    ASSERT_EQ(staging.size(), 1u);
    TJournalRead read = ReadRunJournal(staging[0].string());
    ASSERT_EQ(read.Outcome, TJournalRead::TOutcome::Read);
    EXPECT_EQ(read.Journal.State, TRunState::ApplyFinished);
    read.Journal.State = TRunState::ApplyBegun;
    WriteRunJournal(staging[0].string(), read.Journal);

    TRecordingOperator op;
    op.Answers = {true, false}; // restore, then not update
    RunUpdate(Root.string(), "", op,
              ClientOnlySeams(MakeTestCarrier(
                  Temp.Path() / "carrier2",
                  BuildTestPackage(Temp.Path() / "p2.exe", {NewExe, NewChm, NewUdf}))));
    ASSERT_EQ(op.Events.size(), 3u);
    EXPECT_EQ(op.Events[0],
              (TRecordedEvent{TKind::Question, InterruptedQuestionText(staging[0].string())}));
    EXPECT_EQ(op.Events[1], (TRecordedEvent{TKind::Information, kRollbackDoneText}));
    EXPECT_EQ(op.Events[2], (TRecordedEvent{TKind::Question, kClientOnlyQuestion}));
    EXPECT_EQ(DetailedSnapshotOf(Root / "Program"), BeforeInDetail);
    EXPECT_EQ(ReadRunJournal(staging[0].string()).Journal.State, TRunState::Restored);
}

// Journals as a later Start finds them on Windows. The root is compared as Windows compares
// paths: in another letter case or with a trailing delimiter it is still this installation's,
// and the run is restored. A journal that cannot be read stops the Start before anything is
// asked or changed.
TEST_F(ClientUpdateWindows, AJournalDecidesTheNextStart) {
    Run({NewExe, NewChm, NewUdf});
    const std::string staging = StagingFoldersUnder(Root).at(0).string();
    const std::string journal = RunJournalPath(staging);
    TRunJournal begun = ReadRunJournal(staging).Journal;
    begun.State = TRunState::ApplyBegun;
    std::string lower = begun.Root;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return static_cast<char>(std::tolower(c)); });
    WriteRunJournal(staging, begun);
    std::string damaged = Contents(journal);
    damaged[damaged.size() / 2] ^= 0x20;
    const std::string carrier = MakeTestCarrier(
        Temp.Path() / "carrier2", BuildTestPackage(Temp.Path() / "p2.exe", {NewExe, NewChm}));
    struct TRow {
        std::string Root;
        std::string Bytes; // written over the journal when not empty
        std::string Failure;
    };
    const TRow rows[] = {{lower, "", "<no failure>"},
                         {begun.Root + "\\", "", "<no failure>"},
                         {begun.Root, damaged, DamagedJournalText(staging)},
                         {begun.Root, "Version=2\r\nState=?\r\n", NewerJournalText(staging)}};
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Root + " " + row.Failure);
        TRunJournal changed = begun;
        changed.Root = row.Root;
        WriteRunJournal(staging, changed);
        if (!row.Bytes.empty()) {
            std::ofstream(journal, std::ios::binary | std::ios::trunc) << row.Bytes;
        }
        const auto state = DetailedSnapshotOf(Root);
        TRecordingOperator op;
        op.Answers = {true, false}; // restore, then not update
        EXPECT_EQ(FailureText<EFailure>(
                      [&] { RunUpdate(Root.string(), "", op, ClientOnlySeams(carrier)); }),
                  row.Failure);
        if (row.Bytes.empty()) {
            ASSERT_EQ(op.Events.size(), 3u);
            EXPECT_EQ(op.Events[0].Text, InterruptedQuestionText(staging));
            EXPECT_EQ(DetailedSnapshotOf(Root / "Program"), BeforeInDetail);
        } else {
            EXPECT_TRUE(op.Events.empty());
            // Refused before anything changed: only the run's record is new.
            auto before = state;
            auto after = DetailedSnapshotOf(Root);
            LeaveOutRunRecords(before, after);
            EXPECT_EQ(after, before);
        }
    }
}

// A flush of the new client files that fails does not undo the complete update.
TEST_F(ClientUpdateWindows, AFailingFlushOfTheNewClientFilesLeavesTheUpdateFinished) {
    SetFlushFailure([](const std::string& path) {
        const std::string tail = "\\Program\\Kormant.exe";
        return path.size() >= tail.size() && path.substr(path.size() - tail.size()) == tail;
    });
    const auto events = Run({NewExe, NewChm, NewUdf});
    SetFlushFailure(nullptr);
    EXPECT_EQ(events.back(), (TRecordedEvent{TKind::Information, kSuccessText}));
    EXPECT_EQ(SnapshotOf(Root / "Program")["Kormant.exe"], "client release 4");
    const auto staging = StagingFoldersUnder(Root);
    ASSERT_EQ(staging.size(), 1u);
    EXPECT_EQ(ReadRunJournal(staging[0].string()).Journal.State, TRunState::ApplyFinished);
}

} // namespace
