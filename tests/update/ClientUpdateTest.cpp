// Whole update runs of client-only installations on real folders, with the real package
// program, through every ending of phase C: the boxes in order and the disk afterwards.
#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>

#include "platform/FileSystem.h"
#include "platform/PayloadFormat.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ClientOnlyRun.h"
#include "tests/support/OrdinaryUser.h"
#include "tests/support/PackageMaker.h"
#include "tests/support/RecordingOperator.h"
#include "tests/support/SmallDisk.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TreeSnapshot.h"
#include "tests/update/RunRecordEvents.h"
#include "update/AccessCheck.h"
#include "update/FileOperations.h"
#include "update/RunJournal.h"
#include "update/UpdateSeams.h"

namespace {

namespace fs = std::filesystem;
using TKind = TRecordedEvent::TKind;

TUpdateSeams Seams(const std::string& carrier) {
    TUpdateSeams seams;
    seams.PayloadCarrier = carrier;
    return seams;
}

// An operator that answers Yes and may act when the rollback is announced.
class TOperatorSayingYes : public TRecordingOperator {
public:
    std::function<void()> OnError;
    std::function<void(const std::string&)> OnInformation;
    TOperatorSayingYes() { Answers = {true}; }
    void ShowError(const std::string& text) override {
        TRecordingOperator::ShowError(text);
        if (OnError) {
            OnError();
        }
    }
    void ShowInformation(const std::string& text) override {
        TRecordingOperator::ShowInformation(text);
        if (OnInformation) {
            OnInformation(text);
        }
    }
};

// A client-only installation of release 3 with new files of release 4 to deliver.
class ClientUpdate : public ::testing::Test {
protected:
    void SetUp() override {
        Root = Temp.MakeFolder("Kormant");
        Temp.MakeFile("Kormant/Program/Kormant.exe", "client release 3");
        Temp.MakeFile("Kormant/Program/Kormant.chm", "help release 3");
        Temp.MakeFile("Kormant/Program/Kormant.ini", "[SERVER]\nDataBaseClient=fbclient.dll\n");
        Temp.MakeFile("Kormant/Program/Reports/Invoice.frf", std::string(40000, 'r'));
        Temp.MakeFolder("Kormant/DB_Data");
        // What a rollback must give back besides the bytes: modes, times, a link, an owner.
        fs::permissions(Root / "Program/Kormant.ini",
                        fs::perms::owner_read | fs::perms::group_read);
        fs::last_write_time(Root / "Program/Reports/Invoice.frf",
                            fs::last_write_time(Root / "Program/Kormant.exe") -
                                std::chrono::hours(900));
        fs::create_symlink("Kormant.exe", Root / "Program/Kormant.lnk");
        if (geteuid() == 0) {
            EXPECT_EQ(lchown((Root / "Program/Reports").c_str(), 65534, 65534), 0);
        }
        Before = SnapshotOf(Root / "Program");
        BeforeInDetail = DetailedSnapshotOf(Root / "Program");
        NewExe = Temp.MakeFile("release4/Kormant.exe", "client release 4");
        NewChm = Temp.MakeFile("release4/Kormant.chm", "help release 4");
        NewUdf = Temp.MakeFile("release4/QUV_UDF.dll", "udf release 4");
    }

    std::string Carrier(const std::vector<fs::path>& files, const std::string& name = "full") {
        const auto package = BuildTestPackage(Temp.Path() / (name + ".exe"), files);
        return MakeTestCarrier(Temp.Path() / ("carrier-" + name), package);
    }

    std::string Run(TRecordingOperator& op, TUpdateSeams seams) {
        // A client-only run never reaches the server part: its steps would be recorded here.
        seams.ServerPart = [this](const InstallationLayout&, const std::string&,
                                  const std::string&) {
            ++ServerPartsMade;
            return std::unique_ptr<TServerPart>();
        };
        try {
            RunUpdate(Root.string(), "", op, seams);
        } catch (const std::exception& failure) {
            return failure.what();
        }
        return {};
    }

    std::vector<fs::path> StagingFolders() const { return StagingFoldersUnder(Root); }

    TTempFolder Temp;
    fs::path Root;
    TTreeSnapshot Before;
    TTreeSnapshot BeforeInDetail;
    fs::path NewExe, NewChm, NewUdf;
    int ServerPartsMade = 0;
};

TEST_F(ClientUpdate, SuccessReplacesTheClientFilesAndKeepsTheStagingFolder) {
    TOperatorSayingYes op;
    EXPECT_EQ(Run(op, Seams(Carrier({NewExe, NewChm, NewUdf}))), "");

    EXPECT_EQ(op.Events, (std::vector<TRecordedEvent>{
                             {TKind::Question, kClientOnlyQuestion},
                             {TKind::Information, "Обновление программы прошло успешно."}}));
    TTreeSnapshot expected = Before;
    expected["Kormant.exe"] = "client release 4";
    expected["Kormant.chm"] = "help release 4";
    EXPECT_EQ(SnapshotOf(Root / "Program"), expected);

    const auto staging = StagingFolders();
    ASSERT_EQ(staging.size(), 1u);
    const std::string name = staging[0].filename().string();
    EXPECT_EQ(name.size(), 16u);
    EXPECT_EQ(name.substr(0, 4), "Tmp$");
    EXPECT_EQ(name.find_first_not_of("0123456789", 4), std::string::npos) << name;
    EXPECT_EQ(SnapshotOf(staging[0] / "Old/Program"), Before);
    const auto delivered = SnapshotOf(staging[0] / "New");
    EXPECT_EQ(delivered.at("QUV_UDF.dll"), "udf release 4");
    EXPECT_EQ(delivered.at("files.exe"), ReadBytes(Temp.Path() / "full.exe"));
    EXPECT_EQ(delivered.size(), 4u);
    EXPECT_EQ(ServerPartsMade, 0);
    EXPECT_FALSE(fs::exists(Root.string() + "_"));
}

TEST_F(ClientUpdate, NamesInAnotherLetterCaseAreTheSameFiles) {
    // The installation as another tool spelled it, and a package that delivers lower case.
    fs::remove_all(Root);
    Temp.MakeFile("Kormant/program/KORMANT.EXE", "client release 3");
    Temp.MakeFile("Kormant/program/kormant.CHM", "help release 3");
    const auto before = SnapshotOf(Root / "program");
    const auto exe = Temp.MakeFile("lower/kormant.exe", "client release 4");
    const auto chm = Temp.MakeFile("lower/kormant.chm", "help release 4");
    TOperatorSayingYes op;
    EXPECT_EQ(Run(op, Seams(Carrier({exe, chm, NewUdf}, "lower"))), "");
    ASSERT_EQ(op.Events.size(), 2u);
    EXPECT_EQ(op.Events[1].Text, "Обновление программы прошло успешно.");
    EXPECT_EQ(SnapshotOf(Root / "program"), (TTreeSnapshot{{"KORMANT.EXE", "client release 4"},
                                                           {"kormant.CHM", "help release 4"}}));
    const auto staging = StagingFolders();
    ASSERT_EQ(staging.size(), 1u);
    EXPECT_EQ(SnapshotOf(staging[0] / "Old/Program"), before);
}

TEST_F(ClientUpdate, TwoRunsLeaveTwoStagingFolders) {
    const std::string carrier = Carrier({NewExe, NewChm, NewUdf});
    TOperatorSayingYes first;
    EXPECT_EQ(Run(first, Seams(carrier)), "");
    // The staging folder is named by the second of the run.
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    TOperatorSayingYes second;
    EXPECT_EQ(Run(second, Seams(carrier)), "");
    EXPECT_EQ(StagingFolders().size(), 2u);
}

TEST_F(ClientUpdate, AFileThatIsNotDeliveredRollsBack) {
    TOperatorSayingYes op;
    EXPECT_EQ(Run(op, Seams(Carrier({NewExe, NewUdf}))), "");

    const auto staging = StagingFolders();
    ASSERT_EQ(staging.size(), 1u);
    const std::string missing = (staging[0] / "New/Kormant.chm").string();
    EXPECT_EQ(op.Events,
              (std::vector<TRecordedEvent>{
                  {TKind::Question, kClientOnlyQuestion},
                  {TKind::Error, "В процессе обновления произошла ошибка. Сейчас будет "
                                 "осуществлен процесс восстановления работоспособности программы "
                                 "(ОТКАТ). Сообщение об ошибке:\r\rНевозможно скопировать файл " +
                                     missing + "!"},
                  {TKind::Information, "Процесс восстановления работоспособности программы "
                                       "(ОТКАТ) прошел успешно."}}));
    // Kormant.exe had been replaced already; the rollback brings every byte back, and every
    // owner, mode and time.
    EXPECT_EQ(DetailedSnapshotOf(Root / "Program"), BeforeInDetail);
    EXPECT_EQ(DetailedSnapshotOf(staging[0] / "Old/Program"), BeforeInDetail);
}

TEST_F(ClientUpdate, APackageThatFailsRollsBack) {
    // The archive's bytes are damaged: the package program finds the checksum wrong, says so
    // and ends with an error, delivering nothing; the copies then fail.
    std::string big(300000, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<char>((i * 2654435761u) >> 11);
    }
    const auto bigExe = Temp.MakeFile("big/Kormant.exe", big);
    const auto damaged = BuildTestPackage(Temp.Path() / "damaged.exe", {bigExe, NewChm});
    DamagePackageArchive(damaged);
    TOperatorSayingYes op;
    EXPECT_EQ(Run(op, Seams(MakeTestCarrier(Temp.Path() / "carrier-damaged", damaged))), "");
    ASSERT_EQ(op.Events.size(), 3u);
    EXPECT_EQ(op.Events[1].Kind, TKind::Error);
    EXPECT_EQ(op.Events[2].Kind, TKind::Information);
    EXPECT_EQ(DetailedSnapshotOf(Root / "Program"), BeforeInDetail);
}

// Program may be a link to a folder elsewhere: the backup reads through it, and the rollback
// restores the folder it names and keeps the link.
TEST_F(ClientUpdate, AProgramFolderLinkedFromElsewhereIsRestoredThroughTheLink) {
    const auto elsewhere = Temp.Path() / "elsewhere";
    fs::rename(Root / "Program", elsewhere);
    fs::create_directory_symlink(elsewhere, Root / "Program");
    const auto before = DetailedSnapshotOf(elsewhere);
    TOperatorSayingYes op;
    EXPECT_EQ(Run(op, Seams(Carrier({NewExe, NewUdf}))), "");
    ASSERT_EQ(op.Events.size(), 3u);
    EXPECT_EQ(op.Events[2].Text, "Процесс восстановления работоспособности программы (ОТКАТ) "
                                 "прошел успешно.");
    EXPECT_TRUE(fs::is_symlink(Root / "Program"));
    EXPECT_EQ(DetailedSnapshotOf(elsewhere), before);
}

struct TStagingCase {
    const char* Name;
    std::function<std::string(const TTempFolder&)> MakeCarrier;
    std::string Failure;
    const char* FailedStep; // as the run record names it
    // A folder stands where the record goes: the run ends as it would, the record on stderr.
    bool RecordBlocked = false;
};

class StagingFailure : public ClientUpdate, public ::testing::WithParamInterface<TStagingCase> {};

TEST_P(StagingFailure, RemovesTheStagingFolderAndChangesNothing) {
    if (GetParam().RecordBlocked) {
        fs::create_directory(Root / "Updater.log");
    }
    TOperatorSayingYes op;
    testing::internal::CaptureStderr();
    EXPECT_EQ(Run(op, Seams(GetParam().MakeCarrier(Temp))), GetParam().Failure);
    const std::string noted = testing::internal::GetCapturedStderr();
    EXPECT_EQ(op.Events, (std::vector<TRecordedEvent>{{TKind::Question, kClientOnlyQuestion}}));
    EXPECT_TRUE(StagingFolders().empty());
    EXPECT_EQ(DetailedSnapshotOf(Root / "Program"), BeforeInDetail);
    // The record went with the staging folder; it is kept beside the installation instead.
    const std::vector<std::string> expected{"staging folder: ", "journal: StagingBegun",
                                            std::string("fail ") + GetParam().FailedStep,
                                            "outcome: failed: "};
    if (GetParam().RecordBlocked) {
        EXPECT_NE(noted.find(Native("/Updater.log!")), std::string::npos) << noted;
        for (const std::string& event : expected) {
            EXPECT_NE(noted.find(" " + event), std::string::npos) << event << "\n" << noted;
        }
    } else {
        EXPECT_TRUE(EventsInOrder(RecordEvents(Root / "Updater.log"), expected));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Endings, StagingFailure,
    ::testing::Values(TStagingCase{"NoPackage",
                                   [](const TTempFolder& temp) {
                                       const auto program = temp.MakeFile("p", "\x7F"
                                                                               "ELF");
                                       const auto script = temp.MakeFile("s.sql", "select 1;");
                                       const auto carrier = temp.Path() / "carrier";
                                       WritePayload(program.string(),
                                                    {{"TEXT", "SCRIPT", script.string()}},
                                                    carrier.string());
                                       return carrier.string();
                                   },
                                   "Ошибка работы с ресурсом \"files\"!\rResource files not found",
                                   "package saving ("},
                      TStagingCase{"NoPackageAndNoRoomForTheRecord",
                                   [](const TTempFolder& temp) {
                                       const auto script = temp.MakeFile("s.sql", "select 1;");
                                       const auto carrier = temp.Path() / "carrier";
                                       WritePayload(temp.MakeFile("p", "program").string(),
                                                    {{"TEXT", "SCRIPT", script.string()}},
                                                    carrier.string());
                                       return carrier.string();
                                   },
                                   "Ошибка работы с ресурсом \"files\"!\rResource files not found",
                                   "package saving (", true},
                      TStagingCase{"PackageNotAProgram",
                                   [](const TTempFolder& temp) {
                                       const auto package = temp.MakeFile("text.exe", "only text");
                                       return MakeTestCarrier(temp.Path() / "c", package.string());
                                   },
                                   "Невозможно запустить внешнюю программу!", "package run ("}),
    [](const auto& info) { return std::string(info.param.Name); });

// Flushes made to fail at chosen moments of a run. The client file of the installation, set by
// each case, tells the moments apart: release 4 in it means the apply is complete.
std::string gProgramExe;

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool Applied() {
    return ReadBytes(gProgramExe) == "client release 4";
}

struct TFlushCase {
    const char* Name;
    TFlushFailure Failure;
    // Whether the run rolls back; otherwise it finishes, and notes on stderr what it noted.
    bool RollsBack;
    const char* Noted;
};

void PrintTo(const TFlushCase& c, std::ostream* os) {
    *os << c.Name;
}

class FlushFailure : public ClientUpdate, public ::testing::WithParamInterface<TFlushCase> {
protected:
    void TearDown() override { SetFlushFailure(nullptr); }
};

TEST_P(FlushFailure, AfterTheApplyIsNotedAndBeforeItStopsTheApply) {
    gProgramExe = (Root / "Program/Kormant.exe").string();
    SetFlushFailure(GetParam().Failure);
    TOperatorSayingYes op;
    testing::internal::CaptureStderr();
    const std::string failure = Run(op, Seams(Carrier({NewExe, NewChm, NewUdf})));
    const std::string noted = testing::internal::GetCapturedStderr();
    SetFlushFailure(nullptr);
    EXPECT_EQ(failure, "");
    ASSERT_EQ(StagingFolders().size(), 1u);
    const std::string staging = StagingFolders()[0].string();
    const TJournalRead journal = ReadRunJournal(staging);
    if (GetParam().RollsBack) {
        EXPECT_EQ(op.Events.at(1).Text, kRollbackAnnouncedText +
                                            std::string("Невозможно записать файл ") +
                                            RunJournalPath(staging) + "!");
        EXPECT_EQ(op.Events.at(2).Text, kRollbackDoneText);
        EXPECT_EQ(DetailedSnapshotOf(Root / "Program"), BeforeInDetail);
        EXPECT_EQ(journal.Journal.State, TRunState::RollbackFinished);
    } else {
        EXPECT_EQ(op.Events.back().Text, kSuccessText);
        EXPECT_TRUE(Applied());
        EXPECT_EQ(journal.Journal.State, TRunState::ApplyFinished);
    }
    EXPECT_NE(noted.find(GetParam().Noted), std::string::npos) << noted;
}

INSTANTIATE_TEST_SUITE_P(
    Moments, FlushFailure,
    ::testing::Values(
        // The new client files: the apply is complete, the update stays.
        TFlushCase{"ClientFiles", [](const std::string& path) { return path == gProgramExe; },
                   false, "Невозможно записать на диск папку "},
        // The journal that records the finished apply: written all the same.
        TFlushCase{"FinishedJournal",
                   [](const std::string& path) {
                       return EndsWith(path, "Updater.journal.partial") && Applied();
                   },
                   false, "/Updater.journal!"},
        // The journal that must say the apply began before anything changes: nothing changes,
        // and the rollback's own journal, failing the same way, is written all the same.
        TFlushCase{"BegunJournal",
                   [](const std::string& path) {
                       const std::string staging =
                           std::filesystem::path(path).parent_path().string();
                       return EndsWith(path, "Updater.journal.partial") &&
                              ReadRunJournal(staging).Journal.State == TRunState::BackupComplete;
                   },
                   true, "/Updater.journal!"}),
    [](const auto& info) { return std::string(info.param.Name); });

// A folder of the installation that cannot be listed must not be left out of the backup: the
// staging stops with its name before anything changes.
TEST_F(ClientUpdate, AnUnreadableFolderInProgramStopsTheStaging) {
    const std::string carrier = Carrier({NewExe, NewChm, NewUdf});
    fs::permissions(Temp.Path(), fs::perms::all, fs::perm_options::add);
    const auto locked = Root / "Program/Reports";
    fs::permissions(locked, fs::perms::none);
    const std::string failure = FailureTextAsOrdinaryUser(Temp.Path(), [&] {
        TOperatorSayingYes op;
        RunUpdate(Root.string(), "", op, Seams(carrier));
    });
    fs::permissions(locked, fs::perms::owner_all);
    EXPECT_EQ(failure, "Невозможно прочитать папку " + locked.string() + "/!");
    EXPECT_TRUE(StagingFolders().empty());
    EXPECT_EQ(SnapshotOf(Root / "Program"), Before);
}

TEST_F(ClientUpdate, AFullDiskDuringTheBackupIsAStagingFailure) {
    TSmallDisk disk(Temp.Path(), 8);
    if (!disk.Available()) {
        GTEST_SKIP() << "no loop mount here";
    }
    Root = disk.Path() / "Kormant";
    fs::create_directories(Root / "Program");
    std::ofstream(Root / "Program/Kormant.exe") << "client release 3";
    std::ofstream(Root / "Program/Archive.dat") << std::string(4 << 20, 'a');
    const auto before = SnapshotOf(Root / "Program");
    TOperatorSayingYes op;
    EXPECT_EQ(Run(op, Seams(Carrier({NewExe, NewChm, NewUdf}))),
              "Невозможно скопировать файл " + (Root / "Program/Archive.dat").string() + "!");
    EXPECT_TRUE(StagingFolders().empty());
    EXPECT_EQ(SnapshotOf(Root / "Program"), before);
}

// A server part that does nothing but look at the disk when the apply begins.
class TDiskWatchingServerPart : public TServerPart {
public:
    TDiskWatchingServerPart(std::function<void(const InstallationLayout&)> onApply)
        : OnApply_(std::move(onApply)) {}
    void Prepare(TOperator&) override {}
    void Guard(const std::function<void()>& phaseC, TOperator&) override { phaseC(); }
    void Backup(const InstallationLayout&) override {}
    void Apply(const InstallationLayout& layout, TOperator&) override { OnApply_(layout); }
    void Restore(const InstallationLayout&) override {}
    std::string SuccessSuffix() const override { return {}; }

private:
    std::function<void(const InstallationLayout&)> OnApply_;
};

// A power cut after the staging must find the whole backup on the disk, and one after the success
// box the new files: both are on the disk image itself, not only in the system's memory.
TEST_F(ClientUpdate, TheBackupIsOnTheDiskBeforeTheApplyAndTheNewFilesBeforeTheSuccessBox) {
    TSmallDisk disk(Temp.Path(), 16);
    if (!disk.Available()) {
        GTEST_SKIP() << "no loop mount here";
    }
    Root = disk.Path() / "Kormant";
    fs::create_directories(Root / "Program/Reports");
    fs::create_directories(Root / "DB_Data");
    std::ofstream(Root / "Program/Kormant.exe") << "client release 3";
    std::string data(64 << 10, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<char>((i * 2654435761u) >> 13);
    }
    std::ofstream(Root / "Program/Reports/Data.bin", std::ios::binary) << data;
    std::ofstream(Root / "DB_Data/Kormant.fdb") << "database";
    ASSERT_FALSE(disk.HoldsOnDisk(Root / "Program/Reports/Data.bin")) << "written only to memory";

    bool backupOnDisk = false;
    TUpdateSeams seams = Seams(Carrier({NewExe, NewChm, NewUdf}));
    seams.ServerPart = [&](const InstallationLayout&, const std::string&, const std::string&) {
        return std::make_unique<TDiskWatchingServerPart>([&](const InstallationLayout& layout) {
            backupOnDisk = disk.HoldsOnDisk(fs::path(layout.OldProgramDir) / "Reports/Data.bin") &&
                           disk.HoldsOnDisk(fs::path(layout.OldProgramDir) / "Kormant.exe");
        });
    };
    bool newFilesOnDisk = false;
    TOperatorSayingYes op;
    op.OnInformation = [&](const std::string&) {
        newFilesOnDisk = disk.HoldsOnDisk(Root / "Program/Kormant.exe") &&
                         disk.HoldsOnDisk(Root / "Program/Kormant.chm");
    };
    RunUpdate(Root.string(), "", op, seams);
    EXPECT_EQ(op.Events.back().Text, "Обновление программы прошло успешно.");
    EXPECT_TRUE(backupOnDisk);
    EXPECT_TRUE(newFilesOnDisk);
}

TEST_F(ClientUpdate, ALockedClientFileStopsTheRollbackWithItsName) {
    const auto locked = Root / "Program/Kormant.exe";
    TImmutable lock(locked);
    if (!lock.Available()) {
        GTEST_SKIP() << "chattr +i is not available here";
    }
    TOperatorSayingYes op;
    const std::string failure = Run(op, Seams(Carrier({NewExe, NewChm, NewUdf})));
    lock.Release();

    const auto staging = StagingFolders();
    ASSERT_EQ(staging.size(), 1u);
    EXPECT_EQ(failure, "Невозможно удалить файл " + locked.string() + "!");
    ASSERT_EQ(op.Events.size(), 2u);
    EXPECT_EQ(op.Events[1].Text,
              "В процессе обновления произошла ошибка. Сейчас будет осуществлен процесс "
              "восстановления работоспособности программы (ОТКАТ). Сообщение об ошибке:\r\r"
              "Невозможно скопировать файл " +
                  (staging[0] / "New/Kormant.exe").string() + "!");
    EXPECT_EQ(ReadBytes(locked), "client release 3");
    EXPECT_EQ(SnapshotOf(staging[0] / "Old/Program"), Before);
}

TEST_F(ClientUpdate, AFailingRestoreEndsTheRollbackWithoutTheDoneBox) {
    TOperatorSayingYes op;
    // The backup vanishes while the rollback is announced.
    op.OnError = [this] {
        for (const auto& staging : StagingFolders()) {
            fs::remove_all(staging / "Old/Program");
        }
    };
    const std::string failure = Run(op, Seams(Carrier({NewExe, NewUdf})));
    const auto staging = StagingFolders();
    ASSERT_EQ(staging.size(), 1u);
    EXPECT_EQ(failure, "Папка " + (staging[0] / "Old/Program/").string() + " не существует!");
    ASSERT_EQ(op.Events.size(), 2u);
    EXPECT_EQ(op.Events[1].Kind, TKind::Error);
    EXPECT_FALSE(fs::exists(Root / "Program"));
}

TEST_F(ClientUpdate, AFolderNamedLikeTheRootWithAnUnderscoreBlocksTheAccessCheck) {
    fs::create_directory(Root.string() + "_");
    TOperatorSayingYes op;
    EXPECT_EQ(Run(op, Seams(Carrier({NewExe, NewChm, NewUdf}))), NoFullAccessText(Root.string()));
    EXPECT_TRUE(StagingFolders().empty());
    EXPECT_EQ(SnapshotOf(Root / "Program"), Before);
}

TEST_F(ClientUpdate, AProgramHoldingAFileOpenInsideBlocksTheAccessCheck) {
    const std::string pidFile = (Temp.Path() / "pid").string();
    TBackgroundChild holder({"hold", (Root / "Program/Kormant.chm").string(), pidFile}, pidFile);
    ASSERT_TRUE(holder.Ready());
    TOperatorSayingYes op;
    EXPECT_EQ(Run(op, Seams(Carrier({NewExe, NewChm, NewUdf}))), NoFullAccessText(Root.string()));
    EXPECT_TRUE(StagingFolders().empty());
    EXPECT_EQ(SnapshotOf(Root / "Program"), Before);
}

TEST_F(ClientUpdate, AnUpdaterWorkingFromInsideTheRootBlocksTheAccessCheck) {
    const std::string carrier = Carrier({NewExe, NewChm, NewUdf});
    const auto previous = fs::current_path();
    fs::current_path(Root / "Program");
    TOperatorSayingYes op;
    const std::string failure = Run(op, Seams(carrier));
    fs::current_path(previous);
    EXPECT_EQ(failure, NoFullAccessText(Root.string()));
}

TEST_F(ClientUpdate, ARootWithATrailingDelimiterIsMovedAndNamedBackAsTyped) {
    std::vector<std::pair<std::string, std::string>> renames;
    TUpdateSeams seams = Seams(Carrier({NewExe, NewChm, NewUdf}));
    seams.Rename = [&](const std::string& from, const std::string& to) {
        renames.emplace_back(from, to);
        return platform::RenameNoReplace(from, to);
    };
    const std::string typed = Root.string() + "/";
    TOperatorSayingYes op;
    RunUpdate(typed, "", op, seams);
    EXPECT_EQ(renames, (std::vector<std::pair<std::string, std::string>>{
                           {typed, Root.string() + "_"}, {Root.string() + "_", typed}}));
}

TEST_F(ClientUpdate, AFailedRenameBackLeavesTheRootUnderTheChangedName) {
    int calls = 0;
    TUpdateSeams seams = Seams(Carrier({NewExe, NewChm, NewUdf}));
    // Another program takes the root's name between the two renames.
    seams.Rename = [&](const std::string& from, const std::string& to) {
        if (++calls == 2) {
            fs::create_directory(to);
        }
        return platform::RenameNoReplace(from, to);
    };
    TOperatorSayingYes op;
    EXPECT_EQ(Run(op, seams), kRenameBackFailedText);
    EXPECT_EQ(SnapshotOf(Root.string() + "_/Program"), Before);
    EXPECT_TRUE(fs::is_empty(Root));
}

} // namespace
