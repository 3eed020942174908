#include "update/RunJournal.h"

#include <algorithm>
#include <array>
#include <iostream>
#include <map>

#include "platform/Failure.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/FolderLookup.h"
#include "platform/Path.h"
#include "platform/PayloadFormat.h"
#include "update/FileOperations.h"

namespace {

constexpr const char* kJournalName = "Updater.journal";
// The journal's format; a newer updater writing another one raises it.
constexpr int kVersion = 1;
constexpr std::array<const char*, 6> kStateNames = {"StagingBegun",     "BackupComplete",
                                                    "ApplyBegun",       "ApplyFinished",
                                                    "RollbackFinished", "Restored"};

// "key=value" lines, then a line holding the CRC-32 of everything before it: a journal changed
// or cut by anything but this code reads as damaged.
std::string Compose(const TRunJournal& journal) {
    std::string text = "Version=" + std::to_string(kVersion) + "\n";
    text += "State=" + std::string(kStateNames[static_cast<std::size_t>(journal.State)]) + "\n";
    text += "Root=" + journal.Root + "\n";
    text += std::string("Client=") + (journal.Client ? "1" : "0") + "\n";
    text += std::string("Server=") + (journal.Server ? "1" : "0") + "\n";
    text += "Started=" + std::to_string(journal.Started) + "\n";
    return text + "Check=" + std::to_string(Crc32(text)) + "\n";
}

// Whether the first line is "Version=<n>" with n above this updater's: what follows is then a
// format this updater does not know, and its check line says nothing either.
bool WrittenByANewerUpdater(const std::string& text) {
    constexpr std::string_view key = "Version=";
    std::string line = text.substr(0, text.find('\n'));
    // Another updater may end its lines with CR LF.
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    if (line.rfind(key, 0) != 0 || line.size() == key.size() || line.size() > key.size() + 9 ||
        line.find_first_not_of("0123456789", key.size()) != std::string::npos) {
        return false;
    }
    return std::stoi(line.substr(key.size())) > kVersion;
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
    if (values["Version"] != std::to_string(kVersion) || state == kStateNames.end()) {
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

// A run's last state: lost in a power cut, it leaves ApplyBegun, which only makes the next Start
// offer a restore.
bool EndsRun(TRunState state) {
    return state == TRunState::ApplyFinished || state == TRunState::RollbackFinished ||
           state == TRunState::Restored;
}

std::string OldFolder(const std::string& stagingDir) {
    return platform::JoinPath(stagingDir, "Old");
}

// What the operator can do about a journal that says nothing: a run that finished long ago
// must not block every later one, and one that did not must not go unnoticed.
std::string WhatToDo(const std::string& stagingDir) {
    return "Если обновляемая программа работоспособна (предыдущее обновление завершилось), "
           "удалите файл \"" +
           RunJournalPath(stagingDir) +
           "\" и повторите обновление. Иначе восстановите папки обновляемой программы вручную "
           "из папки \"" +
           OldFolder(stagingDir) + "\" или обратитесь к разработчику.";
}

} // namespace

std::string RunJournalPath(const std::string& stagingDir) {
    return platform::JoinPath(stagingDir, kJournalName);
}

void WriteRunJournal(const std::string& stagingDir, const TRunJournal& journal) {
    const std::string path = RunJournalPath(stagingDir);
    const std::string temporary = path + ".partial";
    const std::string text = Compose(journal);
    const auto fail = [&] {
        platform::DeleteOneFile(temporary);
        throw EFailure("Невозможно записать файл " + path + "!");
    };
    platform::TFile file = platform::TFile::Create(temporary, false);
    if (!(file.IsOpen() && file.Write(text.data(), text.size()) && file.Close())) {
        fail();
    }
    // Only the journal and its folder: the staging folder also holds the whole backup.
    // On the disk before the rename, and the rename on the disk before the run goes on.
    const bool required = !EndsRun(journal.State);
    const bool contentFlushed = FlushWritten(stagingDir, {temporary});
    if (!contentFlushed && required) {
        fail();
    }
    if (!platform::RenameReplacing(temporary, path)) {
        fail();
    }
    const bool renameFlushed = FlushWritten(stagingDir, {});
    if (contentFlushed && renameFlushed) {
        return;
    }
    if (required) {
        fail();
    }
    std::cerr << "Невозможно записать на диск файл " << path << "!\n";
}

TJournalRead ReadRunJournal(const std::string& stagingDir) {
    const std::string path = RunJournalPath(stagingDir);
    const platform::TFile file = platform::TFile::OpenRead(path);
    if (!file.IsOpen()) {
        // There but not readable says as little as a damaged one.
        return {platform::FileSize(path) ? TJournalRead::TOutcome::Damaged
                                         : TJournalRead::TOutcome::Missing,
                {}};
    }
    const auto size = file.Size();
    std::string text(static_cast<std::size_t>(std::min<std::uint64_t>(size.value_or(0), 65536)),
                     '\0');
    if (!size || !file.ReadAt(0, text.data(), text.size())) {
        return {TJournalRead::TOutcome::Damaged, {}};
    }
    if (WrittenByANewerUpdater(text)) {
        return {TJournalRead::TOutcome::Newer, {}};
    }
    const auto journal = Parse(text);
    return journal ? TJournalRead{TJournalRead::TOutcome::Read, *journal}
                   : TJournalRead{TJournalRead::TOutcome::Damaged, {}};
}

std::string DamagedJournalText(const std::string& stagingDir) {
    return "Программа обновления обнаружила поврежденный журнал обновления (папка \"" + stagingDir +
           "\"). По нему невозможно определить, было ли это обновление прервано и что "
           "восстанавливать из его резервной копии.\r\r" +
           WhatToDo(stagingDir);
}

std::string NewerJournalText(const std::string& stagingDir) {
    return "Программа обновления обнаружила журнал обновления (папка \"" + stagingDir +
           "\"), записанный более новой версией программы обновления. По нему невозможно "
           "определить, было ли это обновление прервано и что восстанавливать из его резервной "
           "копии.\r\rВоспользуйтесь более новой версией программы обновления. " +
           WhatToDo(stagingDir);
}

std::optional<TInterruptedRun> FindInterruptedRun(const InstallationLayout& layout) {
    std::optional<TInterruptedRun> latest;
    platform::TFolderEnumeration entries(layout.RootDir);
    while (const auto entry = entries.Next()) {
        if (entry->Type != platform::TEntryType::Folder || entry->Name.rfind("Tmp$", 0) != 0) {
            continue;
        }
        const std::string staging = platform::JoinPath(layout.RootDir, entry->Name);
        const TJournalRead read = ReadRunJournal(staging);
        switch (read.Outcome) {
        case TJournalRead::TOutcome::Missing:
            continue;
        // Neither its root, nor its time, nor its parts are known: it may be the latest run and
        // interrupted, and a restore must never guess what a backup covers.
        case TJournalRead::TOutcome::Damaged:
            throw EFailure(DamagedJournalText(staging));
        case TJournalRead::TOutcome::Newer:
            throw EFailure(NewerJournalText(staging));
        case TJournalRead::TOutcome::Read:
            break;
        }
        if (!platform::SamePath(read.Journal.Root, layout.RootDir)) {
            continue;
        }
        if (!latest || read.Journal.Started > latest->Journal.Started) {
            latest = TInterruptedRun{staging, read.Journal};
        }
    }
    if (latest && Interrupted(latest->Journal.State)) {
        return latest;
    }
    return std::nullopt;
}
