#include "update/RunRecord.h"

#include <cstdio>
#include <iostream>

#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/FolderLookup.h"
#include "platform/Path.h"
#include "update/FileOperations.h"
#include "update/InstallationLayout.h"

namespace {

// The record of runs that never had a staging folder is kept beside the installation and grows
// with each such run; past this size it starts anew.
constexpr std::uint64_t kFallbackLimit = 1 << 20;
// How much of a file's end is read to find its last whole line.
constexpr std::uint64_t kTailRead = 64 * 1024;

std::string TimeStamp() {
    const platform::TLocalMoment now = platform::ReadLocalMoment();
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", now.Time.Year,
                  now.Time.Month, now.Time.Day, now.Time.Hour, now.Time.Minute, now.Time.Second,
                  now.Millisecond);
    return text;
}

// One event is one line: the box texts' carriage returns and any other control character are
// written as escapes. A backslash stays as it is, so that Windows paths read as they are; the
// rare "\r" in a text is then told from a carriage return only by its context.
std::string Escaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (byte < 0x20 && c != '\t') {
            char code[8];
            std::snprintf(code, sizeof code, "\\x%02x", byte);
            out += code;
        } else {
            out += c;
        }
    }
    return out;
}

std::string Masked(std::string text, const std::string& secret) {
    if (secret.empty()) {
        return text;
    }
    for (std::size_t at = text.find(secret); at != std::string::npos;
         at = text.find(secret, at + 8)) {
        text.replace(at, secret.size(), "********");
    }
    return text;
}

void Measure(const std::string& folder, TTreeSize& size) {
    platform::TFolderEnumeration listing(folder);
    while (const auto entry = listing.Next()) {
        const std::string path = platform::JoinPath(folder, entry->Name);
        if (entry->Type == platform::TEntryType::Folder) {
            Measure(path, size);
        } else {
            ++size.Files;
            if (entry->Type == platform::TEntryType::File) {
                size.Bytes += platform::FileSize(path).value_or(0);
            }
        }
    }
}

} // namespace

TTreeSize MeasureTree(const std::string& folder) {
    TTreeSize size;
    Measure(folder, size);
    return size;
}

TRunRecord::TRunRecord(std::string secret) : Secret_(std::move(secret)) {}

TRunRecord::~TRunRecord() {
    Close(true);
}

void TRunRecord::Header(std::string_view event) {
    HeaderLines_.push_back(TimeStamp() + " " + Escaped(event) + "\n");
    Append(HeaderLines_.back());
}

void TRunRecord::Event(std::string_view event) {
    Append(TimeStamp() + " " + Escaped(event) + "\n");
}

void TRunRecord::Outside(std::string_view kind, std::string_view text) {
    Event(std::string(kind) + ": " + Masked(std::string(text), Secret_));
}

void TRunRecord::CopyStep(std::string_view name, const std::string& source,
                          const std::string& target) {
    Step(
        name, [&] { CopyFolderTree(source, target); },
        [&] {
            const TTreeSize size = MeasureTree(source);
            return "; " + std::to_string(size.Files) + " files, " + std::to_string(size.Bytes) +
                   " bytes";
        });
}

std::string TRunRecord::Seconds(std::chrono::steady_clock::time_point started) {
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - started)
                             .count();
    char text[32];
    std::snprintf(text, sizeof text, "%lld.%03lld s", static_cast<long long>(elapsed / 1000),
                  static_cast<long long>(elapsed % 1000));
    return text;
}

void TRunRecord::Append(std::string line) {
    Lines_.push_back(std::move(line));
    if (File_.IsOpen() && Written_ + 1 == Lines_.size()) {
        if (File_.Write(Lines_.back().data(), Lines_.back().size())) {
            Written_ = Lines_.size();
        } else {
            Broken("Невозможно записать файл ");
        }
    }
}

bool TRunRecord::Open(const std::string& folder, bool limited) {
    Path_ = platform::JoinPath(folder, kRunRecordName);
    File_ = platform::TFile::OpenAppend(Path_);
    const auto size = File_.IsOpen() ? File_.Size() : std::nullopt;
    if (!size) {
        Broken("Невозможно открыть файл ");
        return false;
    }
    // A run killed in the middle of a write, or cut off before its data reached the disk, may
    // have left an unfinished last line (or zeros where it would be): it is cut back to the end
    // of the last whole line.
    const std::uint64_t from = *size > kTailRead ? *size - kTailRead : 0;
    std::string tail(static_cast<std::size_t>(*size - from), '\0');
    if (!tail.empty() && !File_.ReadAt(from, tail.data(), tail.size())) {
        Broken("Невозможно прочитать файл ");
        return false;
    }
    const std::size_t lastEnd = tail.find_last_of('\n');
    std::uint64_t keep =
        lastEnd == std::string::npos ? (from == 0 ? 0 : *size) : from + lastEnd + 1;
    if (limited && keep > kFallbackLimit) {
        keep = 0;
    }
    if (!File_.Truncate(keep)) {
        Broken("Невозможно записать файл ");
        return false;
    }
    return true;
}

void TRunRecord::WriteHeld() {
    while (File_.IsOpen() && Written_ < Lines_.size()) {
        if (!File_.Write(Lines_[Written_].data(), Lines_[Written_].size())) {
            Broken("Невозможно записать файл ");
            return;
        }
        ++Written_;
    }
}

void TRunRecord::WriteInto(const std::string& folder) {
    Close(false);
    Folder_ = folder;
    Written_ = 0;
    Failed_ = false;
    if (Open(folder, false)) {
        WriteHeld();
    }
}

void TRunRecord::Flush() {
    if (File_.IsOpen() && !File_.Flush()) {
        Broken("Невозможно записать на диск файл ");
    }
}

void TRunRecord::Abandon() {
    Close(false);
    Folder_.clear();
    Written_ = 0;
}

void TRunRecord::Leave() {
    Close(true);
    Folder_.clear();
    Lines_ = HeaderLines_;
    Written_ = 0;
    Failed_ = false;
}

void TRunRecord::Pause() {
    Close(true);
}

void TRunRecord::Resume() {
    if (!Folder_.empty() && !File_.IsOpen() && !Failed_ && Open(Folder_, false)) {
        WriteHeld();
    }
}

void TRunRecord::Discard() {
    Close(false);
    Folder_.clear();
    Lines_.clear();
    Written_ = 0;
}

void TRunRecord::Finish(const std::string& folder) {
    if (Folder_.empty() && !Lines_.empty()) {
        Failed_ = false;
        // Only beside the installation: after a failed rename back another program's folder
        // may have taken the root's name.
        const bool installationThere =
            platform::FindChild(folder, kProgramFolderName, platform::TEntryKind::Folder) ||
            platform::FindChild(folder, kDataFolderName, platform::TEntryKind::Folder);
        if (installationThere && Open(folder, true)) {
            Folder_ = folder;
            Written_ = 0;
            WriteHeld();
        } else {
            // Nowhere on the disk (the root was renamed away and not back, or cannot be
            // written): the program's error output is the last place support may find it.
            for (const std::string& line : Lines_) {
                std::cerr << line;
            }
        }
    }
    Close(true);
}

void TRunRecord::Close(bool flush) {
    if (!File_.IsOpen()) {
        return;
    }
    if (flush) {
        Flush();
    }
    File_.Close();
}

void TRunRecord::Broken(const std::string& what) {
    if (!Failed_) {
        std::cerr << what << Path_ << "!\n";
    }
    Failed_ = true;
    File_ = platform::TFile();
}

void TRecordedOperator::ShowInformation(const std::string& text) {
    Record_.Outside("box information", text);
    Op_.ShowInformation(text);
}

void TRecordedOperator::ShowError(const std::string& text) {
    Record_.Outside("box error", text);
    Op_.ShowError(text);
}

bool TRecordedOperator::AskYesNo(const std::string& text) {
    Record_.Outside("question", text);
    const bool answer = Op_.AskYesNo(text);
    Record_.Event(answer ? "answer: Yes" : "answer: No");
    return answer;
}

void TRecordedOperator::LogClear() {
    Record_.Event("log cleared");
    Op_.LogClear();
}

void TRecordedOperator::LogAppend(const std::string& line) {
    Record_.Outside("engine", line);
    Op_.LogAppend(line);
}

void TRecordedOperator::ProcessEvents() {
    Op_.ProcessEvents();
}
