#include "update/RunJournal.h"

#include <algorithm>
#include <array>
#include <map>

#include "platform/Failure.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/FolderLookup.h"
#include "platform/Path.h"
#include "platform/PayloadFormat.h"

namespace {

constexpr const char* kJournalName = "Updater.journal";
constexpr std::array<const char*, 6> kStateNames = {"StagingBegun",     "BackupComplete",
                                                    "ApplyBegun",       "ApplyFinished",
                                                    "RollbackFinished", "Restored"};

// "key=value" lines, then a line holding the CRC-32 of everything before it: a journal changed
// or cut by anything but this code reads as damaged.
std::string Compose(const TRunJournal& journal) {
    std::string text = "Version=1\n";
    text += "State=" + std::string(kStateNames[static_cast<std::size_t>(journal.State)]) + "\n";
    text += "Root=" + journal.Root + "\n";
    text += std::string("Client=") + (journal.Client ? "1" : "0") + "\n";
    text += std::string("Server=") + (journal.Server ? "1" : "0") + "\n";
    text += "Started=" + std::to_string(journal.Started) + "\n";
    return text + "Check=" + std::to_string(Crc32(text)) + "\n";
}

std::optional<TRunJournal> Parse(const std::string& text) {
    const auto check = text.rfind("Check=");
    if (check == std::string::npos || text.empty() || text.back() != '\n') {
        return std::nullopt;
    }
    const std::string body = text.substr(0, check);
    if (text.substr(check + 6, text.size() - check - 7) != std::to_string(Crc32(body))) {
        return std::nullopt;
    }
    std::map<std::string, std::string> values;
    for (std::size_t at = 0; at < body.size();) {
        const auto end = body.find('\n', at);
        const std::string line = body.substr(at, end - at);
        const auto equals = line.find('=');
        if (equals == std::string::npos) {
            return std::nullopt;
        }
        values[line.substr(0, equals)] = line.substr(equals + 1);
        at = end + 1;
    }
    TRunJournal journal;
    const auto state = std::find(kStateNames.begin(), kStateNames.end(), values["State"]);
    if (values["Version"] != "1" || state == kStateNames.end()) {
        return std::nullopt;
    }
    journal.State = static_cast<TRunState>(state - kStateNames.begin());
    journal.Root = values["Root"];
    journal.Client = values["Client"] == "1";
    journal.Server = values["Server"] == "1";
    try {
        journal.Started = std::stoll(values["Started"]);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    return journal;
}

bool Interrupted(TRunState state) {
    return state == TRunState::ApplyBegun;
}

} // namespace

std::string RunJournalPath(const std::string& stagingDir) {
    return platform::JoinPath(stagingDir, kJournalName);
}

void WriteRunJournal(const std::string& stagingDir, const TRunJournal& journal) {
    const std::string path = RunJournalPath(stagingDir);
    const std::string temporary = path + ".partial";
    const std::string text = Compose(journal);
    platform::TFile file = platform::TFile::Create(temporary, false);
    const bool written = file.IsOpen() && file.Write(text.data(), text.size()) && file.Close();
    // On the disk before the rename, and the rename on the disk before the run goes on.
    if (!written || !platform::FlushFolderTree(stagingDir) ||
        !platform::RenameReplacing(temporary, path) || !platform::FlushFolderTree(stagingDir)) {
        platform::DeleteOneFile(temporary);
        throw EFailure("Невозможно записать файл " + path + "!");
    }
}

TJournalRead ReadRunJournal(const std::string& stagingDir) {
    const platform::TFile file = platform::TFile::OpenRead(RunJournalPath(stagingDir));
    if (!file.IsOpen()) {
        return {};
    }
    const auto size = file.Size();
    std::string text(static_cast<std::size_t>(std::min<std::uint64_t>(size.value_or(0), 65536)),
                     '\0');
    if (!size || !file.ReadAt(0, text.data(), text.size())) {
        return {TJournalRead::TOutcome::Damaged, {}};
    }
    const auto journal = Parse(text);
    return journal ? TJournalRead{TJournalRead::TOutcome::Read, *journal}
                   : TJournalRead{TJournalRead::TOutcome::Damaged, {}};
}

std::optional<TInterruptedRun> FindInterruptedRun(const InstallationLayout& layout) {
    std::optional<TInterruptedRun> latest;
    std::int64_t latestStarted = -1;
    platform::TFolderEnumeration entries(layout.RootDir);
    while (const auto entry = entries.Next()) {
        if (entry->Type != platform::TEntryType::Folder || entry->Name.rfind("Tmp$", 0) != 0) {
            continue;
        }
        const std::string staging = platform::JoinPath(layout.RootDir, entry->Name);
        const TJournalRead read = ReadRunJournal(staging);
        if (read.Outcome == TJournalRead::TOutcome::Missing) {
            continue;
        }
        TInterruptedRun run{staging, read.Journal, read.Outcome == TJournalRead::TOutcome::Damaged};
        if (run.Damaged) {
            // What it covered is not known: whatever the installation has now.
            run.Journal.Root = layout.RootDir;
            run.Journal.Client = layout.ClientPresent;
            run.Journal.Server = layout.ServerPresent;
            run.Journal.State = TRunState::ApplyBegun;
        } else if (run.Journal.Root != layout.RootDir) {
            continue;
        }
        // A damaged journal's time is unknown: it counts as older than every readable one.
        const std::int64_t started = run.Damaged ? 0 : run.Journal.Started;
        if (started > latestStarted) {
            latestStarted = started;
            latest = run;
        }
    }
    if (latest && (latest->Damaged || Interrupted(latest->Journal.State))) {
        return latest;
    }
    return std::nullopt;
}
