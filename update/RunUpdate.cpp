#include "update/RunUpdate.h"

#include <chrono>
#include <iostream>

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

std::string InterruptedQuestionText(const std::string& stagingDir) {
    return "Программа обновления обнаружила, что предыдущее обновление (папка \"" + stagingDir +
           "\") было прервано, и обновляемая программа может находиться в неработоспособном "
           "состоянии.\rВосстановить программу из резервной копии прерванного обновления (ОТКАТ)?";
}

std::string MissingBackupText(const std::string& stagingDir) {
    return "Резервная копия прерванного обновления (папка \"" + stagingDir +
           "\") не найдена или неполна! Восстановить программу из нее невозможно.";
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

// Puts back the backup of a run that stopped in its apply, with the same preparation and guard
// around it as a run has, before the new run asks its question.
void RestoreInterruptedRun(const InstallationLayout& layout, const TInterruptedRun& run,
                           const std::string& password, TOperator& op, const TUpdateSeams& seams,
                           const std::string& carrier) {
    InstallationLayout old = layout;
    old.StagingDir = run.StagingDir;
    old.NewDir = platform::JoinPath(run.StagingDir, "New");
    old.OldDir = platform::JoinPath(run.StagingDir, "Old");
    old.OldProgramDir = platform::JoinPath(old.OldDir, kProgramFolderName);
    old.OldDataDir = platform::JoinPath(old.OldDir, kDataFolderName);
    const bool client = run.Journal.Client;
    const bool server = run.Journal.Server && layout.ServerPresent;
    if ((client && !platform::IsRealFolder(old.OldProgramDir)) ||
        (run.Journal.Server && !platform::IsRealFolder(old.OldDataDir))) {
        throw EFailure(MissingBackupText(run.StagingDir));
    }
    if (!op.AskYesNo(InterruptedQuestionText(run.StagingDir))) {
        throw EFailure(kInterruptedRefusedText);
    }
    std::unique_ptr<TServerPart> serverPart;
    if (server) {
        serverPart = seams.ServerPart ? seams.ServerPart(layout, password, carrier)
                                      : MakeFirebirdServerPart(layout, password, carrier);
        serverPart->PrepareForRestore(op);
    }
    const TRenameFolder rename =
        seams.Rename ? seams.Rename : TRenameFolder(platform::RenameNoReplace);
    const auto restore = [&] {
        CheckFullAccess(layout.RootDir, rename);
        if (client) {
            DeleteFolderTree(layout.ProgramDir);
            CopyFolderTree(old.OldProgramDir, layout.ProgramDir);
            FlushToDisk(layout.ProgramDir);
        }
        if (serverPart) {
            serverPart->Restore(old);
        }
        TRunJournal journal = run.Journal;
        journal.State = TRunState::Restored;
        WriteRunJournal(run.StagingDir, journal);
    };
    serverPart ? serverPart->Guard(restore, op) : restore();
    op.ShowInformation(kRollbackDoneText);
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
