// The steps that an installed server part adds to an update run. The client-part update calls
// them at fixed points; an installation without the server part has none.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "update/InstallationLayout.h"
#include "update/Operator.h"

class TServerPart {
public:
    virtual ~TServerPart() = default;

    // Before anything on disk changes: nobody else attached, database in single-user mode.
    virtual void Prepare(TOperator& op) = 0;
    // As Prepare, before the backup of an interrupted run is put back: a database that run left
    // shut down is taken as already in single-user mode.
    virtual void PrepareForRestore(TOperator& op) { Prepare(op); }
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
};

// Makes the server part of a run for the layout, the administrator's password and the file that
// carries the payload.
using TServerPartFactory = std::function<std::unique_ptr<TServerPart>(
    const InstallationLayout&, const std::string&, const std::string&)>;
