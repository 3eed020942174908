#include "update/FirebirdServerPart.h"

#include <chrono>
#include <exception>
#include <thread>

#include "dbadmin/AttachedUsers.h"
#include "dbadmin/ScriptApplication.h"
#include "dbadmin/ServiceOperations.h"
#include "platform/Failure.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/FolderLookup.h"
#include "platform/FolderUse.h"
#include "platform/Path.h"
#include "update/FileOperations.h"
#include "update/Payload.h"

const char* const kRebootLine = "\r\rТребуется ПЕРЕЗАГРУЗКА компьютера!!!";

namespace {

constexpr const char* kClientLibrary = "fbclient.dll";
constexpr const char* kUserName = "SYSDBA";
constexpr std::string_view kFunctionLibrary = "quv_udf.dll";
constexpr std::string_view kFunctionFolder = "udf";
// How long the server may take to close the database file after the shutdown.
constexpr auto kFileReleaseWait = std::chrono::seconds(5);

// `name` as it is spelled in `folder`, found in any letter case; `spelling` when it is not there.
std::string ChildOrNew(const std::string& folder, std::string_view name, std::string_view spelling,
                       platform::TEntryKind kind) {
    return platform::JoinPath(
        folder, platform::FindChild(folder, name, kind).value_or(std::string(spelling)));
}

// Whether the database file's header page says the database is shut down (any mode). The
// header of on-disk structure 12 (Firebird 3) holds its flags at byte 42; the shutdown bits are
// 0x0080 and 0x1000. A file of another structure, or one that cannot be read, is not taken as
// shut down.
bool DatabaseFileShutDown(const std::string& path) {
    const platform::TFile file = platform::TFile::OpenRead(path);
    unsigned char header[44] = {};
    if (!file.IsOpen() || !file.ReadAt(0, header, sizeof header)) {
        return false;
    }
    const unsigned ods = header[18] | (header[19] << 8);
    const unsigned flags = header[42] | (header[43] << 8);
    return (ods & 0x7FFF) == 12 && (flags & 0x1080) != 0;
}

class TFirebirdServerPart : public TServerPart {
public:
    TFirebirdServerPart(const InstallationLayout& layout, std::string password,
                        std::string payloadCarrier)
        : DatabaseString_(layout.DatabaseString), DataDir_(layout.DataDir),
          Password_(std::move(password)), PayloadCarrier_(std::move(payloadCarrier)) {}

    void Prepare(TOperator&) override {
        std::vector<std::string> users;
        ReadAttachedUsers(kClientLibrary, DatabaseString_, kUserName, Password_, "", users);
        if (!users.empty()) {
            throw EFailure(UsersAttachedText(users));
        }
        try {
            SetSingleUserMode(kClientLibrary, DatabaseString_, kUserName, Password_);
        } catch (const std::exception& failure) {
            throw EFailure(SingleUserFailedText(failure.what()));
        }
        WaitForTheServerToReleaseTheData();
    }

    void PrepareForRestore(TOperator& op) override {
        const std::string database =
            ChildOrNew(DataDir_, kDatabaseFileName, kDatabaseFileName, platform::TEntryKind::File);
        if (!DatabaseFileShutDown(database)) {
            Prepare(op);
            return;
        }
        // Left shut down by the interrupted run: nobody but the administrator can be attached.
        WaitForTheServerToReleaseTheData();
    }

    void Guard(const std::function<void()>& phaseC, TOperator& op) override {
        std::exception_ptr failure;
        try {
            phaseC();
        } catch (...) {
            failure = std::current_exception();
        }
        try {
            SetMultiUserMode(kClientLibrary, DatabaseString_, kUserName, Password_);
        } catch (const std::exception& multiUser) {
            op.ShowError(MultiUserFailedText(multiUser.what()));
        }
        if (failure) {
            std::rethrow_exception(failure);
        }
    }

    void Backup(const InstallationLayout& layout) override {
        CopyFolderTree(layout.DataDir, layout.OldDataDir);
    }

    void Apply(const InstallationLayout& layout, TOperator& op) override {
        const std::string serverFolder = FindFirebirdFolder();
        const std::string functionFolder = ChildOrNew(
            serverFolder, kFunctionFolder, kFunctionFolder, platform::TEntryKind::Folder);
        const std::string source = ChildOrNew(layout.NewDir, kFunctionLibrary, kFunctionLibrary,
                                              platform::TEntryKind::File);
        // The server finds the library by the name the script declares, which is the name it
        // has in the package; a library already there keeps its spelling.
        const std::string packageName =
            source.substr(source.find_last_of(platform::PathDelimiter) + 1);
        const std::string target = platform::FolderExists(functionFolder)
                                       ? ChildOrNew(functionFolder, kFunctionLibrary, packageName,
                                                    platform::TEntryKind::File)
                                       : platform::JoinPath(functionFolder, kFunctionLibrary);
        CopyOneFile(source, target);
        // Before the script declares the function from it. Only this file: the others in the
        // folder are the server's, some of them held loaded.
        if (!FlushWritten(functionFolder, {target})) {
            throw EFailure("Невозможно записать на диск файл " + target + "!");
        }
        ApplyScriptText(kClientLibrary, DatabaseString_, kUserName, Password_, "",
                        LoadScriptText(PayloadCarrier_), &op);
    }

    void Restore(const InstallationLayout& layout) override {
        DeleteFolderTree(layout.DataDir);
        CopyFolderTree(layout.OldDataDir, layout.DataDir);
        FlushToDisk(layout.DataDir);
    }

    std::string SuccessSuffix() const override { return kRebootLine; }

private:
    // The server closes the database file a moment after the shutdown has been accepted; the
    // access check that follows must not see it open then. A program that keeps it open longer
    // is left for the check to find.
    void WaitForTheServerToReleaseTheData() const {
        const auto deadline = std::chrono::steady_clock::now() + kFileReleaseWait;
        while (platform::FolderInUse(DataDir_) && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }

    std::string DatabaseString_;
    std::string DataDir_;
    std::string Password_;
    std::string PayloadCarrier_;
};

} // namespace

std::unique_ptr<TServerPart> MakeFirebirdServerPart(const InstallationLayout& layout,
                                                    const std::string& password,
                                                    const std::string& payloadCarrier) {
    return std::make_unique<TFirebirdServerPart>(layout, password, payloadCarrier);
}

std::string UsersAttachedText(const std::vector<std::string>& users) {
    std::string text = "Программа обновления обнаружила, что к СЕРВЕРНОЙ части обновляемой "
                       "программы подключены следующие пользователи: ";
    for (std::size_t i = 0; i < users.size(); ++i) {
        text += (i == 0 ? "" : "; ") + users[i];
    }
    return text + "\r\rНеобходимо, чтобы все подключенные пользователи (клиенты) вышли из "
                  "обновляемой программы, после чего процесс обновления можно повторить заново.";
}

std::string SingleUserFailedText(const std::string& message) {
    return "Программе обновления не удалось перевести базу данных (сервер) в однопользовательский  "
           "режим. Возможная причина - база данных (сервер) уже находится в "
           "однопользовательском  режиме, поэтому вначале Вам необходимо вручную перевести  базу "
           "данных (сервер) в многопользовательский режим, воспользовавшись кнопкой \"OnLine\". "
           "Сообщение об ошибке:\r\r" +
           message;
}

std::string MultiUserFailedText(const std::string& message) {
    return "Программе обновления не удалось перевести базу данных (сервер) в многопользовательский "
           "режим. Для ручного перевода базы данных (сервера) в многопользовательский режим "
           "воспользуйтесь кнопкой \"OnLine\". Сообщение об ошибке:\r\r" +
           message;
}
