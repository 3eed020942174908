#include "update/RunUpdate.h"

#include <chrono>
#include <iostream>
#include <thread>
#include <vector>

#include "platform/Failure.h"
#include "platform/FileSystem.h"
#include "platform/FolderLookup.h"
#include "platform/Path.h"
#include "update/FileOperations.h"
#include "update/FirebirdServerPart.h"
#include "update/InstallationLayout.h"
#include "update/Payload.h"
#include "update/RunJournal.h"
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

// C2: the package is unpacked into New and what the apply will change is copied into Old.
// Nothing of the installation changes here, so a failure only removes the staging folder.
void Stage(const InstallationLayout& layout, TOperator& op, const std::string& carrier,
           TServerPart* server, TRunJournal& journal) {
    try {
        DeleteFolderTree(layout.StagingDir);
        CreateFolder(layout.StagingDir);
        WriteRunJournal(layout.StagingDir, journal);
        CreateFolder(layout.NewDir);
        CreateFolder(layout.OldDir);
        const std::string package = platform::JoinPath(layout.NewDir, kPackageFileName);
        SavePackage(package, carrier);
        RunAndWait(package, std::nullopt, kShowNormal, op);
        if (layout.ClientPresent) {
            CopyFolderTree(layout.ProgramDir, layout.OldProgramDir);
        }
        if (server != nullptr) {
            server->Backup(layout);
        }
        // The backup is on the disk before the apply changes anything, so that a power cut
        // from here on leaves a complete copy of what was there.
        FlushToDisk(layout.StagingDir);
        journal.State = TRunState::BackupComplete;
        WriteRunJournal(layout.StagingDir, journal);
    } catch (...) {
        DeleteFolderTree(layout.StagingDir);
        throw;
    }
}

std::string CopyClientFile(const InstallationLayout& layout, std::string_view name) {
    const std::string target = ExistingChild(layout.ProgramDir, name);
    CopyOneFile(ExistingChild(layout.NewDir, name), target);
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
void ApplyOrRollBack(const InstallationLayout& layout, TOperator& op, TServerPart* server,
                     TRunJournal& journal) {
    const auto record = [&](TRunState state) {
        journal.State = state;
        WriteRunJournal(layout.StagingDir, journal);
    };
    try {
        record(TRunState::ApplyBegun);
        if (server != nullptr) {
            server->Apply(layout, op);
        }
        if (layout.ClientPresent) {
            const std::string exe = CopyClientFile(layout, kClientExeName);
            const std::string help = CopyClientFile(layout, kHelpFileName);
            TryToFlush(layout.ProgramDir, {exe, help});
        }
        record(TRunState::ApplyFinished);
        op.ShowInformation(kSuccessText + (server != nullptr ? server->SuccessSuffix() : ""));
    } catch (const std::exception& failure) {
        op.ShowError(kRollbackAnnouncedText + std::string(failure.what()));
        if (layout.ClientPresent) {
            DeleteFolderTree(layout.ProgramDir);
            CopyFolderTree(layout.OldProgramDir, layout.ProgramDir);
            FlushToDisk(layout.ProgramDir);
        }
        if (server != nullptr) {
            server->Restore(layout);
        }
        record(TRunState::RollbackFinished);
        op.ShowInformation(kRollbackDoneText);
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
             const std::string& setAside, const std::string& stagingDir) {
    try {
        DeleteFolderTree(copies);
        for (const TPartToPutBack& part : parts) {
            CopyFolderTree(part.Backup, part.Copy);
        }
        FlushToDisk(copies);
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
            MoveFolder(part.Target, part.SetAside);
        }
        MoveFolder(part.Copy, part.Target);
        FlushToDisk(part.Target);
    }
}

// Puts back the backup of a run that stopped in its apply, with the same preparation and guard
// around it as a run has, before the new run asks its question. Every part the run covered is
// put back, whether or not the installation still shows it; what is replaced is kept in the
// run's staging folder.
void RestoreInterruptedRun(const InstallationLayout& layout, const TInterruptedRun& run,
                           const std::string& password, TOperator& op, const TUpdateSeams& seams,
                           const std::string& carrier) {
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
        found = serverPart->InspectForRestore(old);
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
        CheckFullAccess(layout.RootDir, rename);
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
        PutBack(parts, copies, setAside, run.StagingDir);
        TRunJournal journal = run.Journal;
        journal.State = TRunState::Restored;
        WriteRunJournal(run.StagingDir, journal);
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

} // namespace

void RunUpdate(const std::string& rootText, const std::string& password, TOperator& op,
               const TUpdateSeams& seams) {
    InstallationLayout layout = ResolveLayout(rootText);
    const std::string carrier =
        seams.PayloadCarrier.empty() ? OwnPayloadCarrier() : seams.PayloadCarrier;
    if (const auto interrupted = FindInterruptedRun(layout)) {
        RestoreInterruptedRun(layout, *interrupted, password, op, seams, carrier);
        // The parts are found again: the interrupted run may have left one of them half gone.
        layout = ResolveLayout(rootText);
    }
    if (!op.AskYesNo(QuestionText(PartsText(layout)))) {
        return;
    }

    std::unique_ptr<TServerPart> server;
    if (layout.ServerPresent) {
        server = seams.ServerPart ? seams.ServerPart(layout, password, carrier)
                                  : MakeFirebirdServerPart(layout, password, carrier);
        server->Prepare(op);
    }

    TakeFreeStagingName(layout, rootText);
    const TRenameFolder rename =
        seams.Rename ? seams.Rename : TRenameFolder(platform::RenameNoReplace);
    TRunJournal journal{TRunState::StagingBegun, layout.RootDir, layout.ClientPresent,
                        layout.ServerPresent, RunStartTime()};
    const auto phaseC = [&] {
        CheckFullAccess(layout.RootDir, rename);
        Stage(layout, op, carrier, server.get(), journal);
        ApplyOrRollBack(layout, op, server.get(), journal);
    };
    if (server) {
        server->Guard(phaseC, op);
    } else {
        phaseC();
    }
}

void RunUpdate(const std::string& rootText, const std::string& password, TOperator& op) {
    RunUpdate(rootText, password, op, TUpdateSeams{});
}
