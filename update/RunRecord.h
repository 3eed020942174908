// The record of an update run for support: `Updater.log` in the run's staging folder, one
// time-stamped line per event, written as the run goes and put on the disk where the journal is.
// The operator never sees it; writing it never changes how a run ends.
#pragma once

#include <chrono>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/File.h"
#include "update/Operator.h"

inline constexpr std::string_view kRunRecordName = "Updater.log";

// Files and bytes of a folder tree, links counted as files of no bytes; what cannot be listed is
// left out.
struct TTreeSize {
    std::uint64_t Files = 0;
    std::uint64_t Bytes = 0;
};
TTreeSize MeasureTree(const std::string& folder);

// Lines are kept in memory until the record has a folder (WriteInto), then each goes to the file
// with one write call, so a killed run leaves whole lines only. A record that cannot be written
// says so once on stderr and goes on without its file.
class TRunRecord {
public:
    // `secret` (the password) is masked wherever a text from outside the record holds it.
    explicit TRunRecord(std::string secret);
    ~TRunRecord();
    TRunRecord(const TRunRecord&) = delete;
    TRunRecord& operator=(const TRunRecord&) = delete;

    // A line that also begins every later record of this object (after Leave).
    void Header(std::string_view event);
    // One event; `outside` texts (boxes, engine lines, failure messages) are masked.
    void Event(std::string_view event);
    void Outside(std::string_view kind, std::string_view text);

    // Runs `body` as a step: "begin <name>", then "end <name> (<seconds> s<detail()>)" or
    // "fail <name> (<seconds> s): <message>", and the failure passes on.
    template <typename TBody, typename TDetail>
    void Step(std::string_view name, TBody&& body, TDetail&& detail) {
        Event("begin " + std::string(name));
        const auto started = std::chrono::steady_clock::now();
        try {
            body();
        } catch (const std::exception& failure) {
            Outside("fail " + std::string(name) + " (" + Seconds(started) + ")", failure.what());
            throw;
        } catch (...) {
            Event("fail " + std::string(name) + " (" + Seconds(started) + ")");
            throw;
        }
        Event("end " + std::string(name) + " (" + Seconds(started) + detail() + ")");
    }
    template <typename TBody> void Step(std::string_view name, TBody&& body) {
        Step(name, std::forward<TBody>(body), [] { return std::string(); });
    }
    // A copy of a folder tree as a step, with the files and bytes of `source`.
    void CopyStep(std::string_view name, const std::string& source, const std::string& target);

    // From now on the record goes to `folder`/Updater.log, after what is there; the lines held
    // so far are written first. A last line that a kill or a power cut left unfinished is cut
    // first, so the file holds whole lines only.
    void WriteInto(const std::string& folder);
    // Puts the file on the disk; at the journal's boundaries.
    void Flush();
    // The folder is about to be deleted: the file is closed and the record is held in memory
    // again, whole, for Finish to write elsewhere.
    void Abandon();
    // Done with this folder: the file is put on the disk and closed, and a new record begins
    // with the header lines.
    void Leave();
    // The file is closed while the access check renames the root (Windows refuses to rename a
    // folder that holds an open file); lines are held meanwhile.
    void Pause();
    void Resume();
    // The Start changed nothing and asked nothing of the server (the operator said No to the
    // update): what is held is dropped, and Finish writes nothing.
    void Discard();
    // At the end of a Start: a record that never had a folder of its own (the run stopped before
    // its staging folder, or that folder was removed) goes to `folder`/Updater.log when the
    // installation is still there (Program or DB_Data), otherwise whole to stderr.
    void Finish(const std::string& folder);

private:
    static std::string Seconds(std::chrono::steady_clock::time_point started);
    void Append(std::string line);
    bool Open(const std::string& folder, bool limited);
    void WriteHeld();
    void Close(bool flush);
    void Broken(const std::string& what);

    std::string Secret_;
    std::vector<std::string> HeaderLines_;
    std::vector<std::string> Lines_; // the current record, whole
    std::size_t Written_ = 0;        // of Lines_, in the file
    std::string Folder_;             // where the current record goes; empty: nowhere yet
    std::string Path_;               // the file last opened
    platform::TFile File_;
    bool Failed_ = false;
};

// The operator that a run speaks to: everything goes to `op` unchanged, and every box, question,
// answer and log line also into the record.
class TRecordedOperator : public TOperator {
public:
    TRecordedOperator(TOperator& op, TRunRecord& record) : Op_(op), Record_(record) {}
    void ShowInformation(const std::string& text) override;
    void ShowError(const std::string& text) override;
    bool AskYesNo(const std::string& text) override;
    void LogClear() override;
    void LogAppend(const std::string& line) override;
    void ProcessEvents() override;

private:
    TOperator& Op_;
    TRunRecord& Record_;
};
