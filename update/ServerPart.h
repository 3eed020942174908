// The steps that an installed server part adds to an update run. The client-part update calls
// them at fixed points; an installation without the server part has none.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "update/InstallationLayout.h"
#include "update/Operator.h"
#include "update/RunRecord.h"

// The database in DataDir as the restore of an interrupted run finds it.
enum class TDatabaseFound {
    Online,   // brought online since the interruption (OnLine): users may have worked in it
    ShutDown, // as the interrupted run left it
    Missing,  // no database file: that run stopped between removing DataDir and its copy back
    CutShort  // a proper prefix of the backup's file: that run stopped while copying it back
};

class TServerPart {
public:
    virtual ~TServerPart() = default;

    // Before anything on disk changes: nobody else attached, database in single-user mode.
    virtual void Prepare(TOperator& op) = 0;
    // What the restore of an interrupted run finds in DataDir, read before the operator is
    // asked and before anything changes. `backup` is the layout of that run's staging folder.
    // Fails with a text that says what to do for a database that cannot be understood (an
    // on-disk structure the server does not support, a damaged file that is not the restore's
    // own cut copy); nothing is changed then.
    virtual TDatabaseFound InspectForRestore(const InstallationLayout& backup) {
        (void)backup;
        return TDatabaseFound::ShutDown;
    }
    // As Prepare, before the backup of an interrupted run is put back: a database that run left
    // shut down is taken as already in single-user mode; a missing or cut database is not
    // served, so there is nothing to prepare.
    virtual void PrepareForRestore(TOperator& op, TDatabaseFound found) {
        if (found == TDatabaseFound::Online) {
            Prepare(op);
        }
    }
    // Runs `phaseC` (access check, staging, apply) and afterwards returns the database to
    // multi-user mode however `phaseC` ended; a failure of `phaseC` passes on afterwards.
    virtual void Guard(const std::function<void()>& phaseC, TOperator& op) = 0;
    // Staging, after the client part's backup: a failure is a staging failure.
    virtual void Backup(const InstallationLayout& layout) = 0;
    // Apply, before the client part's copies: a failure starts the rollback.
    virtual void Apply(const InstallationLayout& layout, TOperator& op) = 0;
    // Rollback, after the client part's restore.
    virtual void Restore(const InstallationLayout& layout) = 0;
    // Appended to the success text.
    virtual std::string SuccessSuffix() const = 0;

    // The run's record, into which the steps above write theirs; none: they go nowhere.
    void SetRecord(TRunRecord* record) { Record_ = record; }

protected:
    TRunRecord& Record() { return Record_ != nullptr ? *Record_ : Unrecorded_; }

private:
    TRunRecord* Record_ = nullptr;
    TRunRecord Unrecorded_{""};
};

// Makes the server part of a run for the layout, the administrator's password and the file that
// carries the payload.
using TServerPartFactory = std::function<std::unique_ptr<TServerPart>(
    const InstallationLayout&, const std::string&, const std::string&)>;
