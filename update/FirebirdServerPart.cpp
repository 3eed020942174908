#include "update/FirebirdServerPart.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <exception>
#include <thread>

#include "connectivity/attachment/EIB_Error.h"
#include "dbadmin/AttachedUsers.h"
#include "dbadmin/DatabaseState.h"
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

// Whether the file at `path` is shorter than the one at `whole` and holds exactly its first
// bytes: what a copy of `whole` stopped in the middle leaves.
bool ProperPrefixOf(const std::string& path, const std::string& whole) {
    const auto size = platform::FileSize(path);
    const auto wholeSize = platform::FileSize(whole);
    if (!size || !wholeSize || *size >= *wholeSize) {
        return false;
    }
    const platform::TFile file = platform::TFile::OpenRead(path);
    const platform::TFile wholeFile = platform::TFile::OpenRead(whole);
    if (!file.IsOpen() || !wholeFile.IsOpen()) {
        return false;
    }
    constexpr std::uint64_t kChunk = 1 << 20;
    std::vector<char> bytes(kChunk);
    std::vector<char> wholeBytes(kChunk);
    for (std::uint64_t at = 0; at < *size; at += kChunk) {
        const auto count = static_cast<std::size_t>(std::min(kChunk, *size - at));
        if (!file.ReadAt(at, bytes.data(), count) ||
            !wholeFile.ReadAt(at, wholeBytes.data(), count) ||
            !std::equal(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(count),
                        wholeBytes.begin())) {
            return false;
        }
    }
    return true;
}

// The failure for a database that the server refuses to read; other refusals pass on.
[[noreturn]] void RaiseNotUnderstood(const std::string& path, TServedState state,
                                     const std::string& message) {
    throw EFailure(state == TServedState::UnknownStructure ? UnknownStructureText(path, message)
                                                           : DamagedDatabaseText(path, message));
}

class TFirebirdServerPart : public TServerPart {
public:
    TFirebirdServerPart(const InstallationLayout& layout, std::string password,
                        std::string payloadCarrier)
        : DatabaseString_(layout.DatabaseString), DataDir_(layout.DataDir),
          Password_(std::move(password)), PayloadCarrier_(std::move(payloadCarrier)) {}

    void Prepare(TOperator&) override {
        std::vector<std::string> users;
        Record().Step("attached users", [&] {
            try {
                ReadAttachedUsers(kClientLibrary, DatabaseString_, kUserName, Password_, "", users);
            } catch (const EIB_ISCError& refusal) {
                const TServedState state = StateOfRefusal(refusal.ERRCODE);
                if (state == TServedState::UnknownStructure ||
                    state == TServedState::NotADatabase) {
                    RaiseNotUnderstood(DatabaseFile(), state, refusal.what());
                }
                throw;
            }
            if (!users.empty()) {
                throw EFailure(UsersAttachedText(users));
            }
        });
        RecordDatabaseFacts();
        Record().Step("single-user mode", [&] {
            try {
                SetSingleUserMode(kClientLibrary, DatabaseString_, kUserName, Password_);
            } catch (const std::exception& failure) {
                throw EFailure(SingleUserFailedText(failure.what()));
            }
        });
        Record().Step("wait for the server to close the database file",
                      [&] { WaitForTheServerToReleaseTheData(); });
    }

    // The server is asked rather than the file's header read, so that every on-disk structure
    // the server supports is understood alike, and one it does not support is refused by the
    // server itself. A file cut short by the interrupted run's own copy back is told by its
    // bytes before the server is asked: the restore replaces it (and keeps it aside).
    TDatabaseFound InspectForRestore(const InstallationLayout& backup) override {
        if (!platform::FindChild(DataDir_, kDatabaseFileName, platform::TEntryKind::File)) {
            return TDatabaseFound::Missing;
        }
        const auto backedUp =
            platform::FindChild(backup.OldDataDir, kDatabaseFileName, platform::TEntryKind::File);
        if (backedUp &&
            ProperPrefixOf(DatabaseFile(), platform::JoinPath(backup.OldDataDir, *backedUp))) {
            return TDatabaseFound::CutShort;
        }
        TServedStateRead read;
        Record().Step("state of the database", [&] {
            read = ReadServedState(kClientLibrary, DatabaseString_, kUserName, Password_);
        });
        switch (read.State) {
        case TServedState::Online:
            return TDatabaseFound::Online;
        case TServedState::ShutDown:
            return TDatabaseFound::ShutDown;
        default:
            RaiseNotUnderstood(DatabaseFile(), read.State, read.Message);
        }
    }

    void PrepareForRestore(TOperator& op, TDatabaseFound found) override {
        if (found == TDatabaseFound::Online) {
            Prepare(op);
        } else if (found == TDatabaseFound::ShutDown) {
            // Left shut down by the interrupted run: nobody but the administrator can be
            // attached, and the state reading's own attachment is gone.
            Record().Step("wait for the server to close the database file",
                          [&] { WaitForTheServerToReleaseTheData(); });
        }
    }

    void Guard(const std::function<void()>& phaseC, TOperator& op) override {
        std::exception_ptr failure;
        try {
            phaseC();
        } catch (...) {
            failure = std::current_exception();
        }
        try {
            Record().Step("multi-user mode", [&] {
                SetMultiUserMode(kClientLibrary, DatabaseString_, kUserName, Password_);
            });
        } catch (const std::exception& multiUser) {
            op.ShowError(MultiUserFailedText(multiUser.what()));
        }
        if (failure) {
            std::rethrow_exception(failure);
        }
    }

    void Backup(const InstallationLayout& layout) override {
        Record().CopyStep("backup of DB_Data", layout.DataDir, layout.OldDataDir);
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
        Record().Step(
            "copy of the function library to " + target, [&] { ReplaceLibrary(source, target); },
            [&] {
                return "; " + std::to_string(platform::FileSize(target).value_or(0)) + " bytes";
            });
        // Before the script declares the function from it. Only this file: the others in the
        // folder are the server's, some of them held loaded.
        Record().Step("flush of the function library", [&] {
            if (!FlushWritten(functionFolder, {target})) {
                throw EFailure("Невозможно записать на диск файл " + target + "!");
            }
        });
        const bool asynchronous = SwitchToAsynchronousWrites(op);
        std::string script;
        try {
            Record().Step(
                "script",
                [&] {
                    script = LoadScriptText(PayloadCarrier_);
                    ApplyScriptText(kClientLibrary, DatabaseString_, kUserName, Password_, "",
                                    script, &op);
                },
                [&] { return "; " + std::to_string(script.size()) + " bytes of script"; });
        } catch (...) {
            // The rollback puts back the backup's file, written with forced writes; this only
            // keeps the database safe should the restore not get that far.
            if (asynchronous) {
                try {
                    SwitchBackToForcedWrites();
                } catch (const std::exception&) {
                    // In the record already; the script's failure is the one to report.
                }
            }
            throw;
        }
        if (asynchronous) {
            // A refusal starts the rollback: the database must not stay without forced writes.
            SwitchBackToForcedWrites();
        }
        // What the script wrote without forced writes is in the system's cache until now.
        const std::string database = DatabaseFile();
        Record().Step("flush of the database", [&] {
            WaitForTheServerToReleaseTheData();
            if (!FlushWritten(DataDir_, {database})) {
                throw EFailure("Невозможно записать на диск файл " + database + "!");
            }
        });
    }

    void Restore(const InstallationLayout& layout) override {
        Record().Step("removal of DB_Data", [&] { DeleteFolderTree(layout.DataDir); });
        Record().CopyStep("restore of DB_Data", layout.OldDataDir, layout.DataDir);
        Record().Step("flush of DB_Data", [&] { FlushToDisk(layout.DataDir); });
    }

    std::string SuccessSuffix() const override { return kRebootLine; }

private:
    // Every metadata commit of the script is a flush of the database file with forced writes;
    // the backup on the disk protects the database meanwhile, so the script runs with
    // asynchronous writes. A database that had them off already is left as it was. A refusal
    // is one line in the log pane and in the record, and the script runs with forced writes.
    // True when the switch was made.
    bool SwitchToAsynchronousWrites(TOperator& op) {
        if (ForcedWritesBefore_ == 0) {
            return false;
        }
        try {
            Record().Step("asynchronous writes", [&] {
                SetForcedWrites(kClientLibrary, DatabaseString_, kUserName, Password_, false);
            });
            return true;
        } catch (const std::exception& refusal) {
            op.LogAppend(AsynchronousWritesRefusedLine(refusal.what()));
            return false;
        }
    }

    void SwitchBackToForcedWrites() {
        Record().Step("forced writes", [&] {
            SetForcedWrites(kClientLibrary, DatabaseString_, kUserName, Password_, true);
        });
    }

    // What the server says of the database, on an attachment of its own (about 15 ms), before
    // the shutdown, so that nothing holds the file open afterwards. Only for the record: a
    // refusal is noted there and the run goes on.
    void RecordDatabaseFacts() {
        try {
            Record().Step("database facts", [&] {
                const TDatabaseFacts facts =
                    ReadDatabaseFacts(kClientLibrary, DatabaseString_, kUserName, Password_);
                Record().Event(
                    "database: server " + facts.ServerVersion + ", on-disk structure " +
                    std::to_string(facts.OdsMajor) + "." + std::to_string(facts.OdsMinor) +
                    ", page size " + std::to_string(facts.PageSize) + ", forced writes " +
                    (facts.ForcedWrites == 0   ? "off"
                     : facts.ForcedWrites == 1 ? "on"
                                               : "unknown") +
                    ", file size " +
                    std::to_string(platform::FileSize(DatabaseFile()).value_or(0)) + " bytes");
                ForcedWritesBefore_ = facts.ForcedWrites;
            });
        } catch (const std::exception&) {
            // In the record already.
        }
    }

    std::string DatabaseFile() const {
        return ChildOrNew(DataDir_, kDatabaseFileName, kDatabaseFileName,
                          platform::TEntryKind::File);
    }

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
    // The database's forced writes as the facts before the shutdown read them: 1 on, 0 off,
    // -1 not known (taken as on).
    int ForcedWritesBefore_ = -1;
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

std::string UnknownStructureText(const std::string& databaseFile, const std::string& message) {
    return "Программа обновления не может работать с базой данных \"" + databaseFile +
           "\": сервер FireBird не поддерживает структуру ее файла. Ничего не изменено.\r"
           "Обратитесь к разработчику. Сообщение об ошибке:\r\r" +
           message;
}

std::string DamagedDatabaseText(const std::string& databaseFile, const std::string& message) {
    return "Файл базы данных \"" + databaseFile +
           "\" поврежден или не может быть прочитан сервером FireBird. Ничего не изменено.\r"
           "Обратитесь к разработчику. Сообщение об ошибке:\r\r" +
           message;
}

std::string AsynchronousWritesRefusedLine(const std::string& message) {
    std::string line = "Сервер не перевел базу данных в режим асинхронной записи, скрипт "
                       "выполняется в прежнем режиме: " +
                       message;
    std::replace_if(
        line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return line;
}

std::string MultiUserFailedText(const std::string& message) {
    return "Программе обновления не удалось перевести базу данных (сервер) в многопользовательский "
           "режим. Для ручного перевода базы данных (сервера) в многопользовательский режим "
           "воспользуйтесь кнопкой \"OnLine\". Сообщение об ошибке:\r\r" +
           message;
}
