#include "update/RunUpdate.h"

#include "platform/Failure.h"
#include "platform/FileSystem.h"
#include "platform/FolderLookup.h"
#include "platform/Path.h"
#include "update/FileOperations.h"
#include "update/FirebirdServerPart.h"
#include "update/InstallationLayout.h"
#include "update/Payload.h"
#include "update/UpdateSeams.h"

const char* const kSuccessText = "Обновление программы прошло успешно.";
const char* const kRollbackAnnouncedText =
    "В процессе обновления произошла ошибка. Сейчас будет осуществлен процесс восстановления "
    "работоспособности программы (ОТКАТ). Сообщение об ошибке:\r\r";
const char* const kRollbackDoneText =
    "Процесс восстановления работоспособности программы (ОТКАТ) прошел успешно.";

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
           TServerPart* server) {
    try {
        DeleteFolderTree(layout.StagingDir);
        CreateFolder(layout.StagingDir);
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
    } catch (...) {
        DeleteFolderTree(layout.StagingDir);
        throw;
    }
}

void CopyClientFile(const InstallationLayout& layout, std::string_view name) {
    CopyOneFile(ExistingChild(layout.NewDir, name), ExistingChild(layout.ProgramDir, name));
}

// C3: the new files go into place; any failure is answered by restoring from Old. A completed
// rollback ends the failure; a failing restore step passes on and the done box is not shown.
void ApplyOrRollBack(const InstallationLayout& layout, TOperator& op, TServerPart* server) {
    try {
        if (server != nullptr) {
            server->Apply(layout, op);
        }
        if (layout.ClientPresent) {
            CopyClientFile(layout, kClientExeName);
            CopyClientFile(layout, kHelpFileName);
            FlushToDisk(layout.ProgramDir);
        }
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
        op.ShowInformation(kRollbackDoneText);
    }
}

} // namespace

void RunUpdate(const std::string& rootText, const std::string& password, TOperator& op,
               const TUpdateSeams& seams) {
    const InstallationLayout layout = ResolveLayout(rootText);
    if (!op.AskYesNo(QuestionText(PartsText(layout)))) {
        return;
    }

    const std::string carrier =
        seams.PayloadCarrier.empty() ? OwnPayloadCarrier() : seams.PayloadCarrier;
    std::unique_ptr<TServerPart> server;
    if (layout.ServerPresent) {
        server = seams.ServerPart ? seams.ServerPart(layout, password, carrier)
                                  : MakeFirebirdServerPart(layout, password, carrier);
        server->Prepare(op);
    }

    const TRenameFolder rename =
        seams.Rename ? seams.Rename : TRenameFolder(platform::RenameNoReplace);
    const auto phaseC = [&] {
        CheckFullAccess(layout.RootDir, rename);
        Stage(layout, op, carrier, server.get());
        ApplyOrRollBack(layout, op, server.get());
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
