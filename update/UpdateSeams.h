// What an update run reaches outside itself, so that tests can hand it a payload carrier of
// their own or a rename that fails at a chosen moment.
#pragma once

#include <string>

#include "update/AccessCheck.h"
#include "update/Operator.h"
#include "update/ServerPart.h"

struct TUpdateSeams {
    // The file that carries the update package; empty: the running program's own file.
    std::string PayloadCarrier;
    // The rename of the access check; empty: the system's rename that never replaces.
    TRenameFolder Rename;
    // The server part's steps; empty: those of the installation's Firebird database.
    TServerPartFactory ServerPart;
};

// RunUpdate with its outside reach given explicitly.
void RunUpdate(const std::string& rootText, const std::string& password, TOperator& op,
               const TUpdateSeams& seams);

// The texts of phase C.
extern const char* const kSuccessText;
extern const char* const kRollbackAnnouncedText;
extern const char* const kRollbackDoneText;
// The texts of an interrupted run found at Start.
extern const char* const kInterruptedRefusedText;
// The question names, for a database brought online since the interruption, the folder into
// which that database (and with it the work done since) will be set aside.
std::string InterruptedQuestionText(const std::string& stagingDir,
                                    const std::string& setAsideDataDir = "");
// After No: the first line is kInterruptedRefusedText; then where the backup is and what to do.
std::string InterruptedRefusedText(const std::string& stagingDir);
std::string MissingBackupText(const std::string& stagingDir, const std::string& rootDir);
// A restore whose copies of the backup failed; the installation is as it was.
std::string RestoreFailedText(const std::string& stagingDir, const std::string& message);
