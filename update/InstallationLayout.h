// The folders, files and database string of one installation, resolved from the root text.
#pragma once

#include <string>
#include <string_view>

#include "platform/Clock.h"

struct InstallationLayout {
    std::string RootDir;
    std::string ProgramDir;
    std::string DataDir;
    std::string StagingDir;
    std::string NewDir;
    std::string OldDir;
    std::string OldProgramDir;
    std::string OldDataDir;
    std::string DatabaseString;
    bool ClientPresent = false;
    bool ServerPresent = false;
};

// The names the installation is recognised by; on disk they are found in any letter case.
inline constexpr std::string_view kClientExeName = "Kormant.exe";
inline constexpr std::string_view kDatabaseFileName = "Kormant.fdb";
inline constexpr std::string_view kProgramFolderName = "Program";
inline constexpr std::string_view kDataFolderName = "DB_Data";
inline constexpr std::string_view kDatabaseServerPrefix = "localhost/3051:";

// "Tmp$" followed by the time as ddmmyyhhnnss.
std::string StagingFolderName(const platform::TLocalTime& time);

// Sets `layout.StagingDir` and the folders inside it (New, Old and the backups in Old).
void SetStagingDir(InstallationLayout& layout, const std::string& stagingDir);

using TClockReader = platform::TLocalTime (*)();

// Resolves the operator's root text into the layout, reading the clock once, after the root
// has been checked. Fails (EFailure) when the root is not an existing folder or not on a local
// drive. Touches nothing on disk.
InstallationLayout ResolveLayout(std::string_view rootText,
                                 TClockReader readClock = platform::ReadLocalClock);
