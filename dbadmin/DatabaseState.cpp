#include "dbadmin/DatabaseState.h"

#include "connectivity/attachment/ClientLibrary.h"
#include "connectivity/attachment/EIB_Error.h"
#include "connectivity/service/FbClientBinding.h"
#include "dbadmin/AdminParams.h"
#include "dbadmin/TDBConnection.h"

namespace {

// The transaction block of isc_start_multiple, as the client library reads it.
struct TTransactionBlock {
    isc_db_handle* Database;
    int TpbLength;
    const char* Tpb;
};

constexpr char kReadOnlyTpb[] = {isc_tpb_version3, isc_tpb_read, isc_tpb_read_committed,
                                 isc_tpb_rec_version, isc_tpb_nowait};

// A transaction and a statement of the service layer's binding on an attachment made elsewhere,
// both released on every exit.
class TShutdownModeQuery {
public:
    explicit TShutdownModeQuery(isc_db_handle database) : Database_(database) {}
    ~TShutdownModeQuery() {
        const TFbClientBinding& binding = FbClientBinding();
        if (Statement_ != 0) {
            binding.Call(&TFbClientEntryPoints::isc_dsql_free_statement, StatusVector(),
                         &Statement_, static_cast<unsigned short>(DSQL_drop));
        }
        if (Transaction_ != 0) {
            binding.Call(&TFbClientEntryPoints::isc_rollback_transaction, StatusVector(),
                         &Transaction_);
        }
    }
    TShutdownModeQuery(const TShutdownModeQuery&) = delete;
    TShutdownModeQuery& operator=(const TShutdownModeQuery&) = delete;

    // 0 online, 1 multi-user maintenance, 2 single-user, 3 full shutdown.
    int Read() {
        const TFbClientBinding& binding = FbClientBinding();
        const auto check = [&](ISC_STATUS status) {
            if (status > 0) {
                binding.RaiseStatusError();
            }
        };
        TTransactionBlock block{&Database_, static_cast<int>(sizeof kReadOnlyTpb), kReadOnlyTpb};
        check(binding.Call(&TFbClientEntryPoints::isc_start_multiple, StatusVector(), &Transaction_,
                           short{1}, static_cast<void*>(&block)));
        check(binding.Call(&TFbClientEntryPoints::isc_dsql_alloc_statement2, StatusVector(),
                           &Database_, &Statement_));
        XSQLDA output{};
        output.version = SQLDA_VERSION1;
        output.sqln = 1;
        static const char sql[] = "select mon$shutdown_mode from mon$database";
        check(binding.Call(&TFbClientEntryPoints::isc_dsql_prepare, StatusVector(), &Transaction_,
                           &Statement_, static_cast<unsigned short>(0), sql,
                           static_cast<unsigned short>(3), &output));
        short mode = -1;
        short nullIndicator = 0;
        output.sqlvar[0].sqltype = SQL_SHORT | 1;
        output.sqlvar[0].sqllen = sizeof mode;
        output.sqlvar[0].sqlscale = 0;
        output.sqlvar[0].sqldata = reinterpret_cast<ISC_SCHAR*>(&mode);
        output.sqlvar[0].sqlind = &nullIndicator;
        check(binding.Call(&TFbClientEntryPoints::isc_dsql_execute, StatusVector(), &Transaction_,
                           &Statement_, static_cast<unsigned short>(1),
                           static_cast<XSQLDA*>(nullptr)));
        const ISC_STATUS fetched =
            binding.Call(&TFbClientEntryPoints::isc_dsql_fetch, StatusVector(), &Statement_,
                         static_cast<unsigned short>(1), &output);
        check(fetched);
        return fetched == 0 && nullIndicator == 0 ? mode : 0;
    }

private:
    isc_db_handle Database_;
    isc_tr_handle Transaction_ = 0;
    isc_stmt_handle Statement_ = 0;
};

} // namespace

TServedState StateOfRefusal(long statusCode) {
    switch (statusCode) {
    case isc_shutdown:
        return TServedState::ShutDown;
    case isc_wrong_ods:
        return TServedState::UnknownStructure;
    case isc_io_error:
    case isc_bad_db_format:
    case isc_db_corrupt:
    case isc_bug_check:
        return TServedState::NotADatabase;
    default:
        return TServedState::Online;
    }
}

TServedStateRead ReadServedState(const std::string& clientLibrary,
                                 const std::string& databaseString, const std::string& userName,
                                 const std::string& password) {
    CheckAdminParams(clientLibrary, databaseString, userName, password);
    ResetClientLibrary(clientLibrary);
    TDBConnection connection(databaseString, userName, password, "");
    try {
        connection.Attach();
    } catch (const EIB_ISCError& refusal) {
        const TServedState state = StateOfRefusal(refusal.ERRCODE);
        if (state == TServedState::Online) {
            throw;
        }
        return {state, state == TServedState::ShutDown ? "" : refusal.what()};
    }
    // Both layers load the same file, so the attachment handle of one is valid in the other.
    FbClientBinding().LibraryName = clientLibrary;
    FbClientBinding().EnsureLoaded();
    // Declared after the connection, so it is released first, on every exit.
    TShutdownModeQuery query(connection.Connection().AttachmentHandle());
    return {query.Read() == 0 ? TServedState::Online : TServedState::ShutDown, ""};
}

namespace {

long LittleEndian(std::string_view bytes) {
    unsigned long value = 0;
    for (std::size_t i = bytes.size(); i > 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[i - 1]);
    }
    return static_cast<long>(value);
}

// isc_info_firebird_version: a count, then that many texts each after its length byte; the
// first is the server's own (those after it are the network layers' on the way).
std::string ServerVersionText(std::string_view value) {
    if (value.size() < 2 || value[0] == 0) {
        return {};
    }
    const std::size_t length = static_cast<unsigned char>(value[1]);
    return length > value.size() - 2 ? std::string() : std::string(value.substr(2, length));
}

} // namespace

TDatabaseFacts ParseDatabaseFacts(std::string_view reply) {
    TDatabaseFacts facts;
    std::size_t at = 0;
    while (at + 3 <= reply.size()) {
        const auto item = static_cast<unsigned char>(reply[at]);
        if (item == isc_info_end || item == isc_info_truncated) {
            break;
        }
        const auto length = static_cast<std::size_t>(LittleEndian(reply.substr(at + 1, 2)));
        if (length > reply.size() - at - 3) {
            break;
        }
        const std::string_view value = reply.substr(at + 3, length);
        switch (item) {
        case isc_info_firebird_version:
            facts.ServerVersion = ServerVersionText(value);
            break;
        case isc_info_ods_version:
            facts.OdsMajor = static_cast<int>(LittleEndian(value));
            break;
        case isc_info_ods_minor_version:
            facts.OdsMinor = static_cast<int>(LittleEndian(value));
            break;
        case isc_info_page_size:
            facts.PageSize = LittleEndian(value);
            break;
        case isc_info_forced_writes:
            facts.ForcedWrites = static_cast<int>(LittleEndian(value));
            break;
        default:
            break;
        }
        at += 3 + length;
    }
    return facts;
}

TDatabaseFacts ReadDatabaseFacts(const std::string& clientLibrary,
                                 const std::string& databaseString, const std::string& userName,
                                 const std::string& password) {
    CheckAdminParams(clientLibrary, databaseString, userName, password);
    ResetClientLibrary(clientLibrary);
    TDBConnection connection(databaseString, userName, password, "");
    connection.Attach();
    FbClientBinding().LibraryName = clientLibrary;
    FbClientBinding().EnsureLoaded();
    const TFbClientBinding& binding = FbClientBinding();
    const char items[] = {isc_info_firebird_version,  isc_info_ods_version,
                          isc_info_ods_minor_version, isc_info_page_size,
                          isc_info_forced_writes,     isc_info_end};
    char reply[512] = {};
    isc_db_handle handle = connection.Connection().AttachmentHandle();
    if (binding.Call(&TFbClientEntryPoints::isc_database_info, StatusVector(), &handle,
                     static_cast<short>(sizeof items), items, static_cast<short>(sizeof reply),
                     reply) > 0) {
        binding.RaiseStatusError();
    }
    return ParseDatabaseFacts(std::string_view(reply, sizeof reply));
}
