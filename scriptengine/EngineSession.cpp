#include "scriptengine/EngineSession.h"

#include <cstdint>

namespace scriptengine {

namespace {

// The transaction block of isc_start_multiple, as the client library reads it.
struct TTransactionBlock {
    isc_db_handle* Database;
    int TpbLength;
    const char* Tpb;
};

// Read committed, so that a statement prepared in the current transaction sees the metadata that
// an AUTODDL transaction committed after it began. A lock wait ends after 60 s rather than never:
// a metadata statement whose AUTODDL transaction waits for a row lock of the script's own
// current transaction would otherwise hang the update.
constexpr char Tpb[] = {isc_tpb_version3,
                        isc_tpb_write,
                        isc_tpb_read_committed,
                        isc_tpb_rec_version,
                        isc_tpb_wait,
                        isc_tpb_lock_timeout,
                        4,
                        60,
                        0,
                        0,
                        0};

void AddInt(std::string& block, char code, std::int32_t value) {
    block += code;
    block += static_cast<char>(4);
    for (int i = 0; i < 4; ++i) {
        block += static_cast<char>((static_cast<std::uint32_t>(value) >> (8 * i)) & 0xFF);
    }
}

bool AddText(std::string& block, char code, const std::string& value, const char* what,
             std::string* error) {
    if (value.size() > 255) {
        *error = std::string("The ") + what + " is longer than 255 bytes";
        return false;
    }
    block += code;
    block += static_cast<char>(value.size());
    block += value;
    return true;
}

std::int32_t LittleEndian(const char* bytes, int length) {
    std::uint32_t value = 0;
    for (int i = 0; i < length; ++i) {
        value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) << (8 * i);
    }
    return static_cast<std::int32_t>(value);
}

} // namespace

bool TEngineSession::Fail(std::string* error) {
    *error = Client_.StatusText();
    return false;
}

bool TEngineSession::Attach(const TConnectParams& params, std::string* error) {
    Abandon();
    std::string dpb(1, static_cast<char>(isc_dpb_version1));
    if (!AddText(dpb, isc_dpb_user_name, params.UserName, "user name", error) ||
        !AddText(dpb, isc_dpb_password, params.Password, "password", error) ||
        (!params.CharacterSet.empty() &&
         !AddText(dpb, isc_dpb_lc_ctype, params.CharacterSet, "character set", error)) ||
        (!params.RoleName.empty() &&
         !AddText(dpb, isc_dpb_sql_role_name, params.RoleName, "role name", error))) {
        return false;
    }
    AddInt(dpb, isc_dpb_sql_dialect, params.SqlDialect);
    if (params.DatabaseName.size() > 0x7FFF) {
        *error = "The database name is longer than 32767 bytes";
        return false;
    }
    Params_ = params;
    if (Client_.Call(&TEngineEntryPoints::isc_attach_database,
                     static_cast<short>(params.DatabaseName.size()), params.DatabaseName.c_str(),
                     &Database_, static_cast<short>(dpb.size()), dpb.data()) != 0) {
        Database_ = 0;
        return Fail(error);
    }
    return true;
}

bool TEngineSession::Start(isc_tr_handle* transaction, std::string* error) {
    TTransactionBlock block{&Database_, static_cast<int>(sizeof Tpb), Tpb};
    if (Client_.Call(&TEngineEntryPoints::isc_start_multiple, transaction, short{1},
                     static_cast<void*>(&block)) != 0) {
        *transaction = 0;
        return Fail(error);
    }
    return true;
}

namespace {

// The length arguments have 16 bits; a longer statement goes as a zero-terminated copy.
class TStatementText {
public:
    explicit TStatementText(std::string_view sql) {
        if (sql.size() > 0xFFFF) {
            LongCopy_.assign(sql);
            Text_ = LongCopy_.c_str();
        } else {
            Text_ = sql.data();
            Length_ = static_cast<unsigned short>(sql.size());
        }
    }
    const char* Text() const { return Text_; }
    unsigned short Length() const { return Length_; }

private:
    std::string LongCopy_;
    const char* Text_ = nullptr;
    unsigned short Length_ = 0;
};

} // namespace

bool TEngineSession::Execute(std::string_view sql, script::TServerStatement known, bool autoDdl,
                             int dialect, std::string* error) {
    if (Database_ == 0) {
        *error = "The engine is not attached to a database";
        return false;
    }
    if (known == script::TServerStatement::Unknown) {
        return ExecutePrepared(sql, autoDdl, dialect, error);
    }
    if (known == script::TServerStatement::Metadata && autoDdl) {
        // Start, the statement, commit: three round trips instead of five (the prepare, the
        // start of the current transaction when none is open, the execute are saved).
        if (!Start(&DdlTransaction_, error)) {
            return false;
        }
        if (!ExecuteImmediate(&DdlTransaction_, sql, dialect) ||
            Client_.Call(&TEngineEntryPoints::isc_commit_transaction, &DdlTransaction_) != 0) {
            const bool failed = Fail(error);
            RollbackOpen(nullptr);
            return failed;
        }
        DdlTransaction_ = 0;
        return true;
    }
    if (Transaction_ == 0 && !Start(&Transaction_, error)) {
        return false;
    }
    return ExecuteImmediate(&Transaction_, sql, dialect) || Fail(error);
}

bool TEngineSession::ExecuteImmediate(isc_tr_handle* transaction, std::string_view sql,
                                      int dialect) {
    const TStatementText text(sql);
    return Client_.Call(&TEngineEntryPoints::isc_dsql_execute_immediate, &Database_, transaction,
                        text.Length(), text.Text(), static_cast<unsigned short>(dialect),
                        static_cast<const XSQLDA*>(nullptr)) == 0;
}

bool TEngineSession::ExecutePrepared(std::string_view sql, bool autoDdl, int dialect,
                                     std::string* error) {
    if (Transaction_ == 0 && !Start(&Transaction_, error)) {
        return false;
    }
    // One statement handle for the whole attachment: a prepare replaces what it held before.
    if (Statement_ == 0 && Client_.Call(&TEngineEntryPoints::isc_dsql_allocate_statement,
                                        &Database_, &Statement_) != 0) {
        Statement_ = 0;
        return Fail(error);
    }
    const TStatementText statement(sql);
    const char* text = statement.Text();
    const unsigned short length = statement.Length();
    if (Client_.Call(&TEngineEntryPoints::isc_dsql_prepare, &Transaction_, &Statement_, length,
                     text, static_cast<unsigned short>(dialect),
                     static_cast<XSQLDA*>(nullptr)) != 0) {
        return Fail(error);
    }

    const char item = isc_info_sql_stmt_type;
    char reply[16] = {};
    if (Client_.Call(&TEngineEntryPoints::isc_dsql_sql_info, &Statement_, short{1}, &item,
                     static_cast<short>(sizeof reply), reply) != 0) {
        return Fail(error);
    }
    if (reply[0] != isc_info_sql_stmt_type) {
        *error = "The server did not tell the statement's type";
        return false;
    }
    const int type = LittleEndian(reply + 3, LittleEndian(reply + 1, 2));

    switch (type) {
    case isc_info_sql_stmt_ddl:
        if (autoDdl) {
            if (!Start(&DdlTransaction_, error)) {
                return false;
            }
            if (Client_.Call(&TEngineEntryPoints::isc_dsql_execute, &DdlTransaction_, &Statement_,
                             static_cast<unsigned short>(1),
                             static_cast<const XSQLDA*>(nullptr)) != 0 ||
                Client_.Call(&TEngineEntryPoints::isc_commit_transaction, &DdlTransaction_) != 0) {
                const bool failed = Fail(error);
                RollbackOpen(nullptr);
                return failed;
            }
            DdlTransaction_ = 0;
            return true;
        }
        break;
    case isc_info_sql_stmt_commit:
    case isc_info_sql_stmt_rollback:
        // The script's own COMMIT never comes here; COMMIT RETAIN, ROLLBACK and the like are the
        // server's, as in isql: executed in the current transaction, after which the client
        // leaves the handle 0 when the transaction ended and keeps it when it goes on (RETAIN).
        if (Client_.Call(&TEngineEntryPoints::isc_dsql_execute, &Transaction_, &Statement_,
                         static_cast<unsigned short>(1),
                         static_cast<const XSQLDA*>(nullptr)) != 0) {
            return Fail(error);
        }
        return true;
    case isc_info_sql_stmt_start_trans:
        *error = "SET TRANSACTION is not supported: the engine starts its transactions itself";
        return false;
    default:
        break;
    }

    if (Client_.Call(&TEngineEntryPoints::isc_dsql_execute, &Transaction_, &Statement_,
                     static_cast<unsigned short>(1), static_cast<const XSQLDA*>(nullptr)) != 0) {
        return Fail(error);
    }
    // A query's rows are not read; its cursor is closed so that the handle can be prepared again.
    if ((type == isc_info_sql_stmt_select || type == isc_info_sql_stmt_select_for_upd) &&
        Client_.Call(&TEngineEntryPoints::isc_dsql_free_statement, &Statement_,
                     static_cast<unsigned short>(DSQL_close)) != 0) {
        return Fail(error);
    }
    return true;
}

bool TEngineSession::Commit(std::string* error) {
    if (Transaction_ != 0) {
        if (Client_.Call(&TEngineEntryPoints::isc_commit_transaction, &Transaction_) != 0) {
            return Fail(error);
        }
        Transaction_ = 0;
    }
    return true;
}

// Rolls back both transactions; the first failure goes to `error` when it is given.
bool TEngineSession::RollbackOpen(std::string* error) {
    bool ok = true;
    for (isc_tr_handle* transaction : {&DdlTransaction_, &Transaction_}) {
        if (*transaction != 0) {
            if (Client_.Call(&TEngineEntryPoints::isc_rollback_transaction, transaction) != 0 &&
                ok) {
                ok = false;
                if (error != nullptr) {
                    *error = Client_.StatusText();
                }
            }
            *transaction = 0;
        }
    }
    return ok;
}

bool TEngineSession::Close(std::string* error) {
    if (Database_ == 0) {
        return true;
    }
    if (!Commit(error)) {
        Abandon();
        return false;
    }
    bool ok = true;
    if (Statement_ != 0) {
        if (Client_.Call(&TEngineEntryPoints::isc_dsql_free_statement, &Statement_,
                         static_cast<unsigned short>(DSQL_drop)) != 0) {
            ok = Fail(error);
        }
        Statement_ = 0;
    }
    if (Client_.Call(&TEngineEntryPoints::isc_detach_database, &Database_) != 0) {
        ok = ok && Fail(error);
        Abandon();
    }
    Database_ = 0;
    return ok;
}

void TEngineSession::Abandon() {
    if (Database_ == 0) {
        return;
    }
    RollbackOpen(nullptr);
    if (Statement_ != 0) {
        Client_.Call(&TEngineEntryPoints::isc_dsql_free_statement, &Statement_,
                     static_cast<unsigned short>(DSQL_drop));
        Statement_ = 0;
    }
    // A detach that the server refuses (it is gone, say) still leaves nothing to detach: the
    // client drops the handle either way.
    Client_.Call(&TEngineEntryPoints::isc_detach_database, &Database_);
    Database_ = 0;
}

} // namespace scriptengine
