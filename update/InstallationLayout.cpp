#include "update/InstallationLayout.h"

#include "platform/Drive.h"
#include "platform/Failure.h"
#include "platform/FolderLookup.h"
#include "platform/Path.h"

namespace {

std::string QuotedRootMessage(const std::string& rootDir, const char* tail) {
    return "Путь к обновляемой программе \"" + rootDir + "\"" + tail;
}

} // namespace

std::string StagingFolderName(const platform::TLocalTime& time) {
    std::string name = "Tmp$";
    for (const int field :
         {time.Day, time.Month, time.Year % 100, time.Hour, time.Minute, time.Second}) {
        name += static_cast<char>('0' + field / 10 % 10);
        name += static_cast<char>('0' + field % 10);
    }
    return name;
}

void SetStagingDir(InstallationLayout& layout, const std::string& stagingDir) {
    layout.StagingDir = stagingDir;
    layout.NewDir = platform::JoinPath(layout.StagingDir, "New");
    layout.OldDir = platform::JoinPath(layout.StagingDir, "Old");
    layout.OldProgramDir = platform::JoinPath(layout.OldDir, kProgramFolderName);
    layout.OldDataDir = platform::JoinPath(layout.OldDir, kDataFolderName);
}

InstallationLayout ResolveLayout(std::string_view rootText, TClockReader readClock) {
    using platform::JoinPath;
    InstallationLayout layout;
    layout.RootDir = platform::FullPath(rootText);

    // A root longer than the system accepts cannot name a folder; it is reported as not found
    // rather than handed to calls that would fail on it.
    if (platform::PathLength(layout.RootDir) > platform::MaxPathLength ||
        !platform::FolderExists(layout.RootDir)) {
        throw EFailure(QuotedRootMessage(layout.RootDir, " не найден!"));
    }
    if (!platform::IsLocalDrive(layout.RootDir)) {
        throw EFailure(QuotedRootMessage(layout.RootDir, " не является локальным!"));
    }

    // Names are found in any letter case, as the original file system does: an existing
    // "program" folder is the installation's Program folder, and the database string names the
    // database file as it stands on disk, since the server opens it by its exact name.
    const auto existingSpelling = [&](std::string_view name) {
        return platform::FindChild(layout.RootDir, name, platform::TEntryKind::Folder)
            .value_or(std::string(name));
    };
    layout.ProgramDir = JoinPath(layout.RootDir, existingSpelling(kProgramFolderName));
    layout.DataDir = JoinPath(layout.RootDir, existingSpelling(kDataFolderName));
    SetStagingDir(layout, JoinPath(layout.RootDir, StagingFolderName(readClock())));

    const auto databaseFile =
        platform::FindChild(layout.DataDir, kDatabaseFileName, platform::TEntryKind::File);
    layout.DatabaseString =
        std::string(kDatabaseServerPrefix) +
        JoinPath(layout.DataDir, databaseFile.value_or(std::string(kDatabaseFileName)));

    layout.ClientPresent =
        platform::FindChild(layout.ProgramDir, kClientExeName, platform::TEntryKind::File)
            .has_value();
    layout.ServerPresent = databaseFile.has_value();
    return layout;
}
