#include "update/Payload.h"

#include "platform/Failure.h"
#include "platform/File.h"
#include "platform/OwnExecutable.h"
#include "platform/Path.h"
#include "platform/Process.h"
#include "platform/ProgramResource.h"

namespace {

std::string QuotedResource(const char* head, const char* name) {
    return std::string(head) + "\"" + name + "\"!";
}

std::string FolderOf(const std::string& path) {
    const auto delimiter = path.find_last_of(platform::PathDelimiter);
    if (delimiter == std::string::npos) {
        return path;
    }
    // The root folder keeps its delimiter; every other folder is named without it.
    return delimiter == 0 || (delimiter > 0 && path[delimiter - 1] == ':')
               ? path.substr(0, delimiter + 1)
               : path.substr(0, delimiter);
}

} // namespace

std::string OwnPayloadCarrier() {
    return platform::OwnProgramFileForReading();
}

std::string LoadScriptText(const std::string& carrier) {
    using TOutcome = platform::TResourceRead::TOutcome;
    auto resource = platform::ReadProgramResource(carrier, "text", "script");
    switch (resource.Outcome) {
    case TOutcome::Read:
        break;
    case TOutcome::NotFound:
        throw EFailure(QuotedResource("Не найден ресурс ", "script"));
    case TOutcome::CannotLoad:
        throw EFailure(QuotedResource("Невозможно загрузить ресурс ", "script"));
    case TOutcome::CannotLock:
        // Damaged bytes count as bytes that cannot be had: a script is never run from them.
        throw EFailure(QuotedResource("Невозможно заблокировать ресурс ", "script"));
    }
    std::string text = std::move(resource.Bytes);
    if (const auto zero = text.find('\0'); zero != std::string::npos) {
        text.resize(zero);
    }
    return text;
}

void SavePackage(const std::string& fileName, const std::string& carrier) {
    const auto fail = [](const std::string& message) {
        throw EFailure(QuotedResource("Ошибка работы с ресурсом ", "files") + "\r" + message);
    };
    const std::string target = platform::FullPath(fileName);
    // Read and checked before the file is created, so a damaged updater leaves the disk as it was.
    const auto resource = platform::ReadProgramResource(carrier, "exefile", "files");
    using TOutcome = platform::TResourceRead::TOutcome;
    if (resource.Outcome == TOutcome::CannotLock) {
        fail("Stream read error");
    } else if (resource.Outcome != TOutcome::Read) {
        fail("Resource files not found");
    }
    platform::TFile file = platform::TFile::Create(target, true);
    if (!file.IsOpen()) {
        fail("Cannot create file " + target);
    }
    if (!file.Write(resource.Bytes.data(), resource.Bytes.size()) || !file.Close()) {
        fail("Stream write error");
    }
}

int RunAndWait(const std::string& program, const std::optional<std::string>& parameters,
               int showMode, TOperator& op) {
    const std::string path = platform::FullPath(program);
    platform::TProcess process =
        platform::TProcess::Start(path, parameters, FolderOf(path), showMode);
    if (!process.IsStarted()) {
        throw EFailure("Невозможно запустить внешнюю программу!");
    }
    op.ProcessEvents();
    const int exitCode = process.Wait();
    op.ProcessEvents();
    return exitCode;
}
