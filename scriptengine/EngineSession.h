// One attachment of the engine with its two transactions and its one statement handle: the
// current (data) transaction, and the short transaction in which a metadata statement runs and is
// committed at once while AUTODDL is on.
#pragma once

#include "scriptengine/ConnectString.h"
#include "scriptengine/EngineClient.h"
#include "scriptengine/ScriptCommand.h"

#include <string>
#include <string_view>

namespace scriptengine {

class TEngineSession {
public:
    explicit TEngineSession(TEngineClient& client) : Client_(client) {}
    // Gives up whatever is still open: rolls back, frees the statement, detaches.
    ~TEngineSession() { Abandon(); }
    TEngineSession(const TEngineSession&) = delete;
    TEngineSession& operator=(const TEngineSession&) = delete;

    // Attaches with `params` (user, password, character set and role when not empty, SQL
    // dialect); a session that is attached detaches first. False with the client's interpreted
    // text (or the engine's own English text) in `error`.
    bool Attach(const TConnectParams& params, std::string* error);
    bool IsAttached() const { return Database_ != 0; }
    // The parameters of the latest attach; a RECONNECT attaches with them again.
    TConnectParams& Params() { return Params_; }

    // Runs `sql` (its exact bytes) in `dialect`: a metadata statement with `autoDdl` in a
    // transaction of its own that is committed at once, every other statement in the current
    // transaction, started when none is open. A statement whose kind `known` tells is sent in one
    // call (isc_dsql_execute_immediate); an Unknown one is prepared in the current transaction and
    // the server says its kind. False with the server's text in `error`; the caller then abandons
    // the session.
    bool Execute(std::string_view sql, script::TServerStatement known, bool autoDdl, int dialect,
                 std::string* error);

    // Commits the current transaction when one is open.
    bool Commit(std::string* error);
    // Commits, frees the statement handle and detaches.
    bool Close(std::string* error);
    // Rolls back what is open, frees the statement handle and detaches; failures are dropped,
    // since the session is given up anyway.
    void Abandon();

private:
    bool Fail(std::string* error);
    bool Start(isc_tr_handle* transaction, std::string* error);
    bool RollbackOpen(std::string* error);
    bool ExecuteImmediate(isc_tr_handle* transaction, std::string_view sql, int dialect);
    bool ExecutePrepared(std::string_view sql, bool autoDdl, int dialect, std::string* error);

    TEngineClient& Client_;
    TConnectParams Params_;
    isc_db_handle Database_ = 0;
    isc_tr_handle Transaction_ = 0;
    isc_tr_handle DdlTransaction_ = 0;
    isc_stmt_handle Statement_ = 0;
};

} // namespace scriptengine
