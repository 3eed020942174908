#include "update/FileOperations.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "platform/Failure.h"
#include "platform/FileSystem.h"
#include "platform/FirebirdFolder.h"
#include "platform/Path.h"

namespace {

std::string WithDelimiter(const std::string& folder) {
    if (!folder.empty() && folder.back() == platform::PathDelimiter) {
        return folder;
    }
    return folder + platform::PathDelimiter;
}

std::string WithoutDelimiter(std::string folder) {
    while (folder.size() > 1 && folder.back() == platform::PathDelimiter) {
        folder.pop_back();
    }
    return folder;
}

} // namespace

void DeleteFolderTree(const std::string& folder) {
    const std::string base = WithoutDelimiter(folder);
    {
        platform::TFolderEnumeration entries(folder);
        while (const auto entry = entries.Next()) {
            const std::string path = base + platform::PathDelimiter + entry->Name;
            if (entry->Type == platform::TEntryType::Folder) {
                DeleteFolderTree(path);
            } else if (!platform::DeleteOneFile(path)) {
                throw EFailure("Невозможно удалить файл " + path + "!");
            }
        }
        // A missing folder is no failure; an existing one that cannot be listed, or whose
        // listing breaks off, would keep files while the tree seemed removed.
        if (entries.Failed() && (entries.IsOpen() || platform::IsRealFolder(base))) {
            throw EFailure("Невозможно прочитать папку " + folder + "!");
        }
    }
    // Whether the folder goes is not reported: a missing folder or one still in use stays.
    platform::RemoveEmptyFolder(folder);
}

void CreateFolder(const std::string& folder) {
    if (!platform::CreateOneFolder(folder)) {
        throw EFailure("Невозможно создать папку " + folder + "!");
    }
}

namespace {

TCopyObserver gCopyObserver = nullptr;

void Copied(const std::string& target) {
    if (gCopyObserver != nullptr) {
        gCopyObserver(target);
    }
}

} // namespace

void SetCopyObserver(TCopyObserver observer) {
    gCopyObserver = observer;
}

void CopyOneFile(const std::string& source, const std::string& target) {
    platform::MakeReplaceable(target);
    if (!platform::CopyFileReplacing(source, target)) {
        throw EFailure("Невозможно скопировать файл " + source + "!");
    }
    Copied(target);
}

namespace {

// Whether `entry` is "<name>.<n>.old", n decimal digits: a name ReplaceLibrary set aside.
bool IsSetAsideName(const std::string& entry, const std::string& name) {
    constexpr std::string_view kEnd = ".old";
    if (entry.size() <= name.size() + 1 + kEnd.size() || entry.compare(0, name.size(), name) != 0 ||
        entry[name.size()] != '.' ||
        entry.compare(entry.size() - kEnd.size(), kEnd.size(), kEnd) != 0) {
        return false;
    }
    const std::string number =
        entry.substr(name.size() + 1, entry.size() - name.size() - 1 - kEnd.size());
    return std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

void ReplaceLibrary(const std::string& source, const std::string& target) {
    if (!platform::FileSize(target) || platform::FolderExists(target)) {
        CopyOneFile(source, target);
        return;
    }
    const std::size_t cut = target.find_last_of(platform::PathDelimiter);
    const std::string folder = cut == std::string::npos ? std::string() : target.substr(0, cut);
    const std::string name = target.substr(cut == std::string::npos ? 0 : cut + 1);
    // What earlier runs set aside is normally gone with the restart they asked for; without one
    // (or without the rights to ask) it is still there, and is removed now if nothing holds it.
    std::vector<std::string> earlier;
    {
        platform::TFolderEnumeration entries(folder);
        while (const auto entry = entries.Next()) {
            if (entry->Type == platform::TEntryType::File && IsSetAsideName(entry->Name, name)) {
                earlier.push_back(entry->Name);
            }
        }
    }
    for (const std::string& entry : earlier) {
        platform::DeleteOneFile(platform::JoinPath(folder, entry));
    }
    std::string aside;
    for (int number = 1;; ++number) {
        aside = platform::JoinPath(folder, name + "." + std::to_string(number) + ".old");
        if (!platform::FileSize(aside) && !platform::FolderExists(aside)) {
            break;
        }
    }
    platform::MakeReplaceable(target);
    if (!platform::RenameNoReplace(target, aside)) {
        CopyOneFile(source, target);
        return;
    }
    if (!platform::CopyFileReplacing(source, target)) {
        // The server keeps the library it had.
        platform::RenameNoReplace(aside, target);
        throw EFailure("Невозможно скопировать файл " + source + "!");
    }
    Copied(target);
    // A file that stays is removed by the next run at the latest.
    platform::DeleteNowOrAtRestart(aside);
}

void CopyFolderTree(const std::string& source, const std::string& target) {
    const std::string from = WithDelimiter(source);
    const std::string to = WithDelimiter(target);
    if (!platform::FolderExists(from)) {
        throw EFailure("Папка " + from + " не существует!");
    }
    if (!platform::CreateFolderPath(to)) {
        throw EFailure("Невозможно создать папку " + to + "!");
    }
    platform::TFolderEnumeration entries(from);
    while (const auto entry = entries.Next()) {
        const std::string sourcePath = from + entry->Name;
        const std::string targetPath = to + entry->Name;
        switch (entry->Type) {
        case platform::TEntryType::Folder:
            // A link where the target should have a folder leads out of the tree: copying
            // through it would write elsewhere.
            if (platform::FolderExists(targetPath) && !platform::IsRealFolder(targetPath)) {
                throw EFailure("Невозможно создать папку " + WithDelimiter(targetPath) + "!");
            }
            CopyFolderTree(sourcePath, targetPath);
            break;
        case platform::TEntryType::Link:
            if (!platform::CopyLink(sourcePath, targetPath)) {
                throw EFailure("Невозможно скопировать файл " + sourcePath + "!");
            }
            Copied(targetPath);
            break;
        case platform::TEntryType::File:
            CopyOneFile(sourcePath, targetPath);
            break;
        }
    }
    // A folder that could not be opened lists nothing and fails here too: a backup that misses
    // files must not report success.
    if (entries.Failed()) {
        throw EFailure("Невозможно прочитать папку " + from + "!");
    }
    // Last, since copying into the folder changed its times, and its mode may forbid writing.
    if (!platform::CopyFolderAttributes(from, to)) {
        throw EFailure("Невозможно скопировать папку " + from + "!");
    }
}

namespace {

TFlushFailure gFlushFailure = nullptr;

bool FlushRefused(const std::string& path) {
    return gFlushFailure != nullptr && gFlushFailure(path);
}

} // namespace

void SetFlushFailure(TFlushFailure failure) {
    gFlushFailure = failure;
}

void FlushToDisk(const std::string& folder) {
    if (FlushRefused(folder) || !platform::FlushFolderTree(folder)) {
        throw EFailure("Невозможно записать на диск папку " + folder + "!");
    }
}

bool FlushWritten(const std::string& folder, std::initializer_list<std::string> files) {
    for (const std::string& file : files) {
        if (FlushRefused(file) || !platform::FlushFile(file)) {
            return false;
        }
    }
    return !FlushRefused(folder) && platform::FlushFolderEntries(folder);
}

std::string FindFirebirdFolder() {
    const auto lookup = platform::LookUpFirebirdFolder();
    switch (lookup.Outcome) {
    case platform::TFirebirdFolderLookup::TOutcome::Found:
        return lookup.Folder;
    case platform::TFirebirdFolderLookup::TOutcome::WrongType:
        throw EFailure("Invalid data type for '" + lookup.Folder + "'");
    case platform::TFirebirdFolderLookup::TOutcome::NotFound:
        break;
    }
    throw EFailure("Невозможно определить папку, в которой инсталлирована программа "
                   "\"FireBird\"!");
}
