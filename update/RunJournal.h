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

// Writes the journal whole under another name, puts it to the disk, renames it over the old one
// and puts the folder's entries to the disk, so that a power cut leaves the old journal or the
// new one, never a mixture. Fails (EFailure) with "Невозможно записать файл <path>!" when the
// journal cannot be written or renamed, and for a state up to ApplyBegun also when it cannot be
// put to the disk: the apply must not change anything before its journal is sure to say so.
// A state that ends a run (ApplyFinished, RollbackFinished, Restored) whose flush fails is still
// written, and the failure noted on stderr: lost in a power cut, it leaves ApplyBegun behind,
// which makes the next Start offer a restore; failing here would undo completed work.
void WriteRunJournal(const std::string& stagingDir, const TRunJournal& journal);

struct TJournalRead {
    // Newer: written by a newer updater (its first line "Version=<n>" with n above this one's);
    // Damaged: there, but it cannot be opened or does not read as a whole journal.
    enum class TOutcome { Missing, Read, Damaged, Newer };
    TOutcome Outcome = TOutcome::Missing;
    TRunJournal Journal; // when Read
};
TJournalRead ReadRunJournal(const std::string& stagingDir);

// The run under `layout.RootDir` that must be undone before anything else: the latest run that
// left a journal of this root (compared as the system compares paths: platform::SamePath), when
// it stopped after its apply began and before its apply or rollback finished. Staging folders
// without a journal (older updaters) and journals of another root are not looked at.
// A journal under the root that cannot be read, damaged or written by a newer updater, cannot
// say whether its run was interrupted, nor what its backup covers: nothing is asked or changed
// then, and the run fails (EFailure) with DamagedJournalText or NewerJournalText, which tell the
// operator what to do.
struct TInterruptedRun {
    std::string StagingDir;
    TRunJournal Journal;
};
std::optional<TInterruptedRun> FindInterruptedRun(const InstallationLayout& layout);

// The texts of a journal that cannot be read, naming the journal file, its staging folder and
// the backup in it.
std::string DamagedJournalText(const std::string& stagingDir);
std::string NewerJournalText(const std::string& stagingDir);
