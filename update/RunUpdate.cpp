#include "update/RunUpdate.h"

#include <chrono>
#include <iostream>
#include <thread>
#include <vector>

#include "platform/Failure.h"
#include "platform/FileSystem.h"
#include "platform/FolderLookup.h"
#include "platform/Path.h"
#include "platform/SystemName.h"
#include "update/FileOperations.h"
#include "update/FirebirdServerPart.h"
#include "update/InstallationLayout.h"
#include "update/Payload.h"
#include "update/RunJournal.h"
#include "update/RunRecord.h"
#include "update/UpdateSeams.h"

const char* const kSuccessText = "Обновление программы прошло успешно.";
const char* const kRollbackAnnouncedText =
    "В процессе обновления произошла ошибка. Сейчас будет осуществлен процесс восстановления "
    "работоспособности программы (ОТКАТ). Сообщение об ошибке:\r\r";
const char* const kRollbackDoneText =
    "Процесс восстановления работоспособности программы (ОТКАТ) прошел успешно.";
const char* const kInterruptedRefusedText =
    "Обновление невозможно, пока работоспособность программы не восстановлена после прерванного "
    "обновления!";

std::string InterruptedQuestionText(const std::string& stagingDir,
                                    const std::string& setAsideDataDir) {
    std::string text = "Программа обновления обнаружила, что предыдущее обновление (папка \"" +
                       stagingDir +
                       "\") было прервано, и обновляемая программа может находиться в "
                       "неработоспособном состоянии.";
    if (!setAsideDataDir.empty()) {
        text += "\r\rВНИМАНИЕ! После прерванного обновления база данных была переведена в "
                "многопользовательский режим, и пользователи, возможно, уже работали в ней. Все "
                "изменения, внесенные в базу данных после прерванного обновления, в "
                "восстановленной базе данных будут отсутствовать: текущая база данных будет "
                "сохранена в папке \"" +
                setAsideDataDir + "\".\r";
    }
    return text + "\rВосстановить программу из резервной копии прерванного обновления (ОТКАТ)?";
}

std::string InterruptedRefusedText(const std::string& stagingDir) {
    return std::string(kInterruptedRefusedText) +
           "\r\rРезервная копия программы, сделанная прерванным обновлением, находится в папке "
           "\"" +
           platform::JoinPath(stagingDir, "Old") +
           "\". Чтобы восстановить программу из нее, нажмите кнопку \"Старт\" еще раз и "
           "ответьте \"Да\" на вопрос о восстановлении (ОТКАТ). Если восстановление невозможно, "
           "обратитесь к разработчику.";
}

std::string MissingBackupText(const std::string& stagingDir, const std::string& rootDir) {
    return "Резервная копия прерванного обновления (папка \"" + stagingDir +
           "\") не найдена или неполна! Восстановить программу из нее невозможно.\r\rЕсли у "
           "Вас есть другая резервная копия папок \"Program\" и \"DB_Data\", скопируйте их "
           "вручную в папку \"" +
           rootDir + "\", после чего перенесите папку \"" + stagingDir + "\" за пределы папки \"" +
           rootDir + "\" и повторите обновление. В противном случае обратитесь к разработчику.";
}

std::string RestoreFailedText(const std::string& stagingDir, const std::string& message) {
    return "Программе обновления не удалось восстановить программу из резервной копии прерванного "
           "обновления (папка \"" +
           stagingDir +
           "\"). Программа оставлена в прежнем состоянии. Устраните причину ошибки и повторите "
           "обновление; если ошибка повторяется, обратитесь к разработчику. Сообщение об "
           "ошибке:\r\r" +
           message;
}

namespace {

const char* const kNoneFound =
    "Программа обновления, исходя из заданного пути к обновляемой программе, не обнаружила на "
    "данном компьютере ни КЛИЕНТСКОЙ, ни СЕРВЕРНОЙ частей обновляемой программы!";

std::string PartsText(const InstallationLayout& layout) {
    if (layout.ClientPresent && layout.ServerPresent) {
        return "КЛИЕНТСКАЯ и СЕРВЕРНАЯ части";
    }
    if (layout.ClientPresent) {
        return "КЛИЕНТСКАЯ часть";
    }
    if (layout.ServerPresent) {
        return "СЕРВЕРНАЯ часть";
    }
    throw EFailure(kNoneFound);
}

std::string QuestionText(const std::string& partsText) {
    return "Программа обновления, исходя из заданного пути к обновляемой программе, обнаружила, "
           "что на данном компьютере установлены " +
           partsText + " обновляемой программы.\rПродолжить обновление?";
}

constexpr std::string_view kPackageFileName = "files.exe";
constexpr std::string_view kHelpFileName = "Kormant.chm";
// The package window is shown normally.
constexpr int kShowNormal = 1;

// The name under which `name` stands in `folder`, in any letter case; `name` itself when it is
// not there, so that a failure names the file that was looked for.
std::string ExistingChild(const std::string& folder, std::string_view name) {
    return platform::JoinPath(
        folder,
        platform::FindChild(folder, name, platform::TEntryKind::File).value_or(std::string(name)));
}

const char* StateName(TRunState state) {
    switch (state) {
    case TRunState::StagingBegun:
        return "StagingBegun";
    case TRunState::BackupComplete:
        return "BackupComplete";
    case TRunState::ApplyBegun:
        return "ApplyBegun";
    case TRunState::ApplyFinished:
        return "ApplyFinished";
    case TRunState::RollbackFinished:
        return "RollbackFinished";
    case TRunState::Restored:
        return "Restored";
    }
    return "?";
}

const char* FoundName(TDatabaseFound found) {
    switch (found) {
    case TDatabaseFound::Online:
        return "online";
    case TDatabaseFound::ShutDown:
        return "shut down";
    case TDatabaseFound::Missing:
        return "missing";
    case TDatabaseFound::CutShort:
        return "cut short";
    }
    return "?";
}

// The record is put on the disk where the journal is, just before it: a power cut leaves a
// record that reaches at least the state its journal says.
void RecordJournal(const std::string& stagingDir, const TRunJournal& journal, TRunRecord& record) {
    record.Event(std::string("journal: ") + StateName(journal.State));
    record.Flush();
    WriteRunJournal(stagingDir, journal);
}

// C2: the package is unpacked into New and what the apply will change is copied into Old.
// Nothing of the installation changes here, so a failure only removes the staging folder.
void Stage(const InstallationLayout& layout, TOperator& op, const std::string& carrier,
           TServerPart* server, TRunJournal& journal, TRunRecord& record) {
    try {
        DeleteFolderTree(layout.StagingDir);
        CreateFolder(layout.StagingDir);
        record.WriteInto(layout.StagingDir);
        record.Event("staging folder: " + layout.StagingDir);
        RecordJournal(layout.StagingDir, journal, record);
        CreateFolder(layout.NewDir);
        CreateFolder(layout.OldDir);
        const std::string package = platform::JoinPath(layout.NewDir, kPackageFileName);
        record.Step(
            "package saving", [&] { SavePackage(package, carrier); },
            [&] {
                return "; " + std::to_string(platform::FileSize(package).value_or(0)) + " bytes";
            });
        record.Step(
            "package run", [&] { RunAndWait(package, std::nullopt, kShowNormal, op); },
            [&] {
                const TTreeSize size = MeasureTree(layout.NewDir);
                return "; New holds " + std::to_string(size.Files) + " files, " +
                       std::to_string(size.Bytes) + " bytes";
            });
        if (layout.ClientPresent) {
            record.CopyStep("backup of Program", layout.ProgramDir, layout.OldProgramDir);
        }
        if (server != nullptr) {
            server->Backup(layout);
        }
        // The backup is on the disk before the apply changes anything, so that a power cut
        // from here on leaves a complete copy of what was there.
        record.Step("flush of the staging folder", [&] { FlushToDisk(layout.StagingDir); });
        journal.State = TRunState::BackupComplete;
        RecordJournal(layout.StagingDir, journal, record);
    } catch (...) {
        // The record goes with the folder; it is written beside the installation instead.
        record.Abandon();
        DeleteFolderTree(layout.StagingDir);
        throw;
    }
}

std::string CopyClientFile(const InstallationLayout& layout, std::string_view name,
                           TRunRecord& record) {
    const std::string target = ExistingChild(layout.ProgramDir, name);
    record.Step(
        "copy of " + target, [&] { CopyOneFile(ExistingChild(layout.NewDir, name), target); },
        [&] { return "; " + std::to_string(platform::FileSize(target).value_or(0)) + " bytes"; });
    return target;
}

// The apply is complete when the last file is in place; a flush that fails then does not make
// it incomplete, and a rollback would only trade the new files for old ones on the same disk.
// It is tried before ApplyFinished is recorded, and a failure is noted on stderr.
void TryToFlush(const std::string& folder, std::initializer_list<std::string> files) {
    if (!FlushWritten(folder, files)) {
        std::cerr << "Невозможно записать на диск папку " << folder << "!\n";
    }
}

// C3: the new files go into place; any failure is answered by restoring from Old. A completed
// rollback ends the failure; a failing restore step passes on and the done box is not shown.
// Answers how the run ended: "success" or "rolled back".
std::string ApplyOrRollBack(const InstallationLayout& layout, TOperator& op, TServerPart* server,
                            TRunJournal& journal, TRunRecord& record) {
    const auto recordState = [&](TRunState state) {
        journal.State = state;
        RecordJournal(layout.StagingDir, journal, record);
    };
    try {
        recordState(TRunState::ApplyBegun);
        if (server != nullptr) {
            server->Apply(layout, op);
        }
        if (layout.ClientPresent) {
            const std::string exe = CopyClientFile(layout, kClientExeName, record);
            const std::string help = CopyClientFile(layout, kHelpFileName, record);
            record.Step("flush of Program", [&] { TryToFlush(layout.ProgramDir, {exe, help}); });
        }
        recordState(TRunState::ApplyFinished);
        op.ShowInformation(kSuccessText + (server != nullptr ? server->SuccessSuffix() : ""));
        return "success";
    } catch (const std::exception& failure) {
        op.ShowError(kRollbackAnnouncedText + std::string(failure.what()));
        record.Event("rollback");
        if (layout.ClientPresent) {
            record.Step("removal of Program", [&] { DeleteFolderTree(layout.ProgramDir); });
            record.CopyStep("restore of Program", layout.OldProgramDir, layout.ProgramDir);
            record.Step("flush of Program", [&] { FlushToDisk(layout.ProgramDir); });
        }
        if (server != nullptr) {
            server->Restore(layout);
        }
        recordState(TRunState::RollbackFinished);
        op.ShowInformation(kRollbackDoneText);
        return "rolled back";
    }
}

// The folder of this restore attempt in the interrupted run's staging folder, into which what
// the restore replaces is moved: the first of Replaced1, Replaced2, ... not yet there, so that
// an attempt killed half way keeps what it moved and the next one starts a folder of its own.
std::string SetAsideFolder(const std::string& stagingDir) {
    for (int attempt = 1;; ++attempt) {
        const std::string folder =
            platform::JoinPath(stagingDir, "Replaced" + std::to_string(attempt));
        if (!platform::FolderExists(folder) && !platform::FileSize(folder)) {
            return folder;
        }
    }
}

void MoveFolder(const std::string& from, const std::string& to) {
    if (!platform::RenameNoReplace(from, to)) {
        throw EFailure("Невозможно переместить папку " + from + " в папку " + to + "!");
    }
}

// One part that a restore puts back: its backup, its place in the installation, the copy made
// beside it and the folder into which what stood in its place is moved.
struct TPartToPutBack {
    std::string Backup;
    std::string Target;
    std::string Copy;
    std::string SetAside;
};

// Puts every part's backup in its place without destroying anything. First each backup is copied
// whole beside the installation (into the staging folder, so on the same file system): a
// failure there leaves the installation as it was, removes the copies and says so. Then, part by
// part, what stands in the place is moved aside and the copy is moved in; both moves are renames,
// so a run killed at any moment leaves what the installation held (in its place or set aside)
// and the backup on the disk, and a copy it left is only a copy of the backup, made again.
void PutBack(const std::vector<TPartToPutBack>& parts, const std::string& copies,
             const std::string& setAside, const std::string& stagingDir, TRunRecord& record) {
    try {
        record.Step("removal of " + copies, [&] { DeleteFolderTree(copies); });
        for (const TPartToPutBack& part : parts) {
            record.CopyStep("copy of " + part.Backup, part.Backup, part.Copy);
        }
        record.Step("flush of " + copies, [&] { FlushToDisk(copies); });
    } catch (const std::exception& failure) {
        try {
            DeleteFolderTree(copies);
        } catch (const std::exception&) {
            // Only copies of the backup: the next attempt removes them.
        }
        throw EFailure(RestoreFailedText(stagingDir, failure.what()));
    }
    CreateFolder(setAside);
    for (const TPartToPutBack& part : parts) {
        if (platform::FolderExists(part.Target)) {
            record.Step("move of " + part.Target + " to " + part.SetAside,
                        [&] { MoveFolder(part.Target, part.SetAside); });
        }
        record.Step("move of " + part.Copy + " to " + part.Target,
                    [&] { MoveFolder(part.Copy, part.Target); });
        record.Step("flush of " + part.Target, [&] { FlushToDisk(part.Target); });
    }
}

// Puts back the backup of a run that stopped in its apply, with the same preparation and guard
// around it as a run has, before the new run asks its question. Every part the run covered is
// put back, whether or not the installation still shows it; what is replaced is kept in the
// run's staging folder.
void RestoreInterruptedRun(const InstallationLayout& layout, const TInterruptedRun& run,
                           const std::string& password, TOperator& op, const TUpdateSeams& seams,
                           const std::string& carrier, TRunRecord& record) {
    InstallationLayout old = layout;
    SetStagingDir(old, run.StagingDir);
    const auto backedUpDatabase =
        platform::FindChild(old.OldDataDir, kDatabaseFileName, platform::TEntryKind::File);
    const bool programBackedUp = platform::IsRealFolder(old.OldProgramDir);
    // The journal was read whole (an unreadable one is refused before this): it tells the parts.
    const bool client = run.Journal.Client;
    const bool server = run.Journal.Server;
    if ((client && !programBackedUp) || (server && !backedUpDatabase)) {
        throw EFailure(MissingBackupText(run.StagingDir, layout.RootDir));
    }
    const std::string setAside = SetAsideFolder(run.StagingDir);
    const std::string copies = platform::JoinPath(run.StagingDir, "Restoring");

    std::unique_ptr<TServerPart> serverPart;
    TDatabaseFound found = TDatabaseFound::Missing;
    if (server) {
        // A database that the interrupted run removed is named as the backup spells it.
        InstallationLayout served = layout;
        if (!layout.ServerPresent) {
            served.DatabaseString = std::string(kDatabaseServerPrefix) +
                                    platform::JoinPath(layout.DataDir, *backedUpDatabase);
        }
        serverPart = seams.ServerPart ? seams.ServerPart(served, password, carrier)
                                      : MakeFirebirdServerPart(served, password, carrier);
        serverPart->SetRecord(&record);
        found = serverPart->InspectForRestore(old);
        record.Event(std::string("database found: ") + FoundName(found));
    }
    const std::string setAsideData = platform::JoinPath(setAside, kDataFolderName);
    if (!op.AskYesNo(InterruptedQuestionText(
            run.StagingDir, found == TDatabaseFound::Online ? setAsideData : ""))) {
        throw EFailure(InterruptedRefusedText(run.StagingDir));
    }
    if (serverPart) {
        serverPart->PrepareForRestore(op, found);
    }
    const TRenameFolder rename =
        seams.Rename ? seams.Rename : TRenameFolder(platform::RenameNoReplace);
    const auto restore = [&] {
        // The record is open under the root, which the check renames.
        record.Pause();
        try {
            record.Step("access check", [&] { CheckFullAccess(layout.RootDir, rename); });
        } catch (...) {
            record.Resume();
            throw;
        }
        record.Resume();
        std::vector<TPartToPutBack> parts;
        if (client) {
            parts.push_back({old.OldProgramDir, layout.ProgramDir,
                             platform::JoinPath(copies, kProgramFolderName),
                             platform::JoinPath(setAside, kProgramFolderName)});
        }
        if (server) {
            parts.push_back({old.OldDataDir, layout.DataDir,
                             platform::JoinPath(copies, kDataFolderName), setAsideData});
        }
        PutBack(parts, copies, setAside, run.StagingDir, record);
        TRunJournal journal = run.Journal;
        journal.State = TRunState::Restored;
        RecordJournal(run.StagingDir, journal, record);
        // Inside the guard, as a run's rollback-done box comes before the guard's own box.
        op.ShowInformation(kRollbackDoneText);
    };
    serverPart ? serverPart->Guard(restore, op) : restore();
}

// A staging folder is named by the time to the second, so a run that comes within the second of
// an earlier one (a restore answered at once, a Start right after a kill) would find that run's
// folder under its own name, and staging begins by removing that name. It waits for a name of
// its own instead: the earlier run's backup and what its restore set aside stay.
void TakeFreeStagingName(InstallationLayout& layout, const std::string& rootText) {
    while (ReadRunJournal(layout.StagingDir).Outcome != TJournalRead::TOutcome::Missing) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        SetStagingDir(layout, ResolveLayout(rootText).StagingDir);
    }
}

// Microseconds since 1970: runs started within the same second still have an order.
std::int64_t RunStartTime() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string PartsFound(const InstallationLayout& layout) {
    if (layout.ClientPresent && layout.ServerPresent) {
        return "client, server";
    }
    return layout.ClientPresent ? "client" : layout.ServerPresent ? "server" : "none";
}

void RecordHeader(TRunRecord& record, const std::string& rootText,
                  const InstallationLayout& layout) {
    record.Header("updater: version " UPDATER_VERSION ", build " UPDATER_BUILD);
    record.Header("system: " + platform::OperatingSystemName());
    record.Header("root: " + layout.RootDir + " (given as " + rootText + ")");
    record.Header("parts: " + PartsFound(layout));
    if (layout.ServerPresent) {
        record.Header("database: " + layout.DatabaseString);
    }
}

// The Start without its record's ending; answers how it ended.
std::string RunRecorded(const std::string& rootText, InstallationLayout& layout,
                        const std::string& password, TOperator& op, const TUpdateSeams& seams,
                        TRunRecord& record) {
    const std::string carrier =
        seams.PayloadCarrier.empty() ? OwnPayloadCarrier() : seams.PayloadCarrier;
    if (const auto interrupted = FindInterruptedRun(layout)) {
        record.WriteInto(interrupted->StagingDir);
        record.Event("interrupted run: " + interrupted->StagingDir);
        RestoreInterruptedRun(layout, *interrupted, password, op, seams, carrier, record);
        record.Event("outcome: restored");
        record.Leave();
        // The parts are found again: the interrupted run may have left one of them half gone.
        layout = ResolveLayout(rootText);
        record.Event("parts after the restore: " + PartsFound(layout));
    }
    if (!op.AskYesNo(QuestionText(PartsText(layout)))) {
        return "declined";
    }

    std::unique_ptr<TServerPart> server;
    if (layout.ServerPresent) {
        server = seams.ServerPart ? seams.ServerPart(layout, password, carrier)
                                  : MakeFirebirdServerPart(layout, password, carrier);
        server->SetRecord(&record);
        server->Prepare(op);
    }

    TakeFreeStagingName(layout, rootText);
    const TRenameFolder rename =
        seams.Rename ? seams.Rename : TRenameFolder(platform::RenameNoReplace);
    TRunJournal journal{TRunState::StagingBegun, layout.RootDir, layout.ClientPresent,
                        layout.ServerPresent, RunStartTime()};
    std::string outcome;
    const auto phaseC = [&] {
        record.Step("access check", [&] { CheckFullAccess(layout.RootDir, rename); });
        Stage(layout, op, carrier, server.get(), journal, record);
        outcome = ApplyOrRollBack(layout, op, server.get(), journal, record);
    };
    if (server) {
        server->Guard(phaseC, op);
    } else {
        phaseC();
    }
    return outcome;
}

} // namespace

void RunUpdate(const std::string& rootText, const std::string& password, TOperator& op,
               const TUpdateSeams& seams) {
    InstallationLayout layout = ResolveLayout(rootText);
    TRunRecord record(password);
    RecordHeader(record, rootText, layout);
    TRecordedOperator recorded(op, record);
    try {
        const std::string outcome =
            RunRecorded(rootText, layout, password, recorded, seams, record);
        if (outcome == "declined") {
            record.Discard();
        } else {
            record.Event("outcome: " + outcome);
        }
    } catch (const std::exception& failure) {
        record.Outside("outcome: failed", failure.what());
        record.Finish(layout.RootDir);
        throw;
    }
    record.Finish(layout.RootDir);
}

void RunUpdate(const std::string& rootText, const std::string& password, TOperator& op) {
    RunUpdate(rootText, password, op, TUpdateSeams{});
}
