// The journal of an update run, kept in its staging folder: how far the run got, so that a later
// run can tell an interrupted one (power cut, killed updater) from one that finished, and undo it
// from that run's backup. It holds no secret (never the password).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "update/InstallationLayout.h"

enum class TRunState {
    StagingBegun,     // the staging folder exists; nothing of the installation changed
    BackupComplete,   // the backup is whole and on the disk; nothing of the installation changed
    ApplyBegun,       // the installation is being changed: only the backup is known to be good
    ApplyFinished,    // the new release is in place
    RollbackFinished, // the run failed and the backup was put back
    Restored          // a later run put this run's backup back
};

struct TRunJournal {
    TRunState State = TRunState::StagingBegun;
    std::string Root;         // the installation's root folder, as the run resolved it
    bool Client = false;      // the run covered the client part (Program)
    bool Server = false;      // the run covered the server part (DB_Data)
    std::int64_t Started = 0; // microseconds since 1970, to tell the latest run
    bool operator==(const TRunJournal&) const = default;
};

// The journal's file in a staging folder.
std::string RunJournalPath(const std::string& stagingDir);

// Writes the journal whole under another name, puts it to the disk, and renames it over the old
// one, so that a power cut leaves the old journal or the new one, never a mixture. Fails
// (EFailure) with "Невозможно записать файл <path>!".
void WriteRunJournal(const std::string& stagingDir, const TRunJournal& journal);

struct TJournalRead {
    enum class TOutcome { Missing, Read, Damaged };
    TOutcome Outcome = TOutcome::Missing;
    TRunJournal Journal; // when Read
};
TJournalRead ReadRunJournal(const std::string& stagingDir);

// The run under `layout.RootDir` that must be undone before anything else: the latest run that
// left a journal, when it stopped after its apply began and before its apply or rollback
// finished, or when its journal is damaged (never taken as a success). Staging folders without a
// journal (older updaters) and journals of another root are not looked at.
struct TInterruptedRun {
    std::string StagingDir;
    TRunJournal Journal; // Client and Server from the layout when the journal is damaged
    bool Damaged = false;
};
std::optional<TInterruptedRun> FindInterruptedRun(const InstallationLayout& layout);
