// The service layer's binding to the Firebird client library: loaded by file name at run time,
// every entry point resolved by name into one typed table, and the two ways in which its users
// fail with a readable text (the server's status vector, or one of the binding's numbered texts).
#pragma once

#include "connectivity/FpuGuard.h"
#include "connectivity/service/IBErrors.h"
#include "platform/DynamicLibrary.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include <ibase.h>

// Entry points that every client library must export, in the order of resolution.
#define FB_SERVICE_REQUIRED_ENTRY_POINTS(X)                                                        \
    X(BLOB_get)                                                                                    \
    X(BLOB_put)                                                                                    \
    X(isc_sqlcode)                                                                                 \
    X(isc_sql_interprete)                                                                          \
    X(isc_interprete)                                                                              \
    X(isc_vax_integer)                                                                             \
    X(isc_blob_info)                                                                               \
    X(isc_open_blob2)                                                                              \
    X(isc_close_blob)                                                                              \
    X(isc_get_segment)                                                                             \
    X(isc_put_segment)                                                                             \
    X(isc_create_blob2)                                                                            \
    X(isc_decode_date)                                                                             \
    X(isc_encode_date)                                                                             \
    X(isc_dsql_free_statement)                                                                     \
    X(isc_dsql_execute2)                                                                           \
    X(isc_dsql_execute)                                                                            \
    X(isc_dsql_set_cursor_name)                                                                    \
    X(isc_dsql_fetch)                                                                              \
    X(isc_dsql_sql_info)                                                                           \
    X(isc_dsql_alloc_statement2)                                                                   \
    X(isc_dsql_prepare)                                                                            \
    X(isc_dsql_describe_bind)                                                                      \
    X(isc_dsql_describe)                                                                           \
    X(isc_dsql_execute_immediate)                                                                  \
    X(isc_drop_database)                                                                           \
    X(isc_detach_database)                                                                         \
    X(isc_attach_database)                                                                         \
    X(isc_database_info)                                                                           \
    X(isc_start_multiple)                                                                          \
    X(isc_commit_transaction)                                                                      \
    X(isc_commit_retaining)                                                                        \
    X(isc_rollback_transaction)                                                                    \
    X(isc_cancel_events)                                                                           \
    X(isc_que_events)                                                                              \
    X(isc_event_counts)                                                                            \
    X(isc_event_block)                                                                             \
    X(isc_free)                                                                                    \
    X(isc_add_user)                                                                                \
    X(isc_delete_user)                                                                             \
    X(isc_modify_user)                                                                             \
    X(isc_prepare_transaction)                                                                     \
    X(isc_prepare_transaction2)

// Entry points of API level 6, resolved when the library offers isc_rollback_retaining.
#define FB_SERVICE_LEVEL6_ENTRY_POINTS(X)                                                          \
    X(isc_service_attach)                                                                          \
    X(isc_service_detach)                                                                          \
    X(isc_service_query)                                                                           \
    X(isc_service_start)                                                                           \
    X(isc_decode_sql_date)                                                                         \
    X(isc_decode_sql_time)                                                                         \
    X(isc_decode_timestamp)                                                                        \
    X(isc_encode_sql_date)                                                                         \
    X(isc_encode_sql_time)                                                                         \
    X(isc_encode_timestamp)

// ibase.h marks some of these entry points deprecated; naming their types is not a use.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
struct TFbClientEntryPoints {
#define FB_DECLARE_ENTRY_POINT(name) decltype(&::name) name = nullptr;
    FB_SERVICE_REQUIRED_ENTRY_POINTS(FB_DECLARE_ENTRY_POINT)
    FB_DECLARE_ENTRY_POINT(isc_rollback_retaining)
    FB_SERVICE_LEVEL6_ENTRY_POINTS(FB_DECLARE_ENTRY_POINT)
#undef FB_DECLARE_ENTRY_POINT
};
#pragma GCC diagnostic pop

// An argument of a numbered client text: fills a %s or a %d.
using TClientErrorArg = std::variant<std::string, std::int64_t>;

// The numbered text, unformatted; empty for a number that the binding does not know.
std::string_view ClientErrorText(int number);

// Raises EIBClientError with the numbered text formatted with `args` (printf-like %s and %d; a
// text without placeholders ignores its arguments) and SQL code = number.
[[noreturn]] void RaiseClientError(int number, const std::vector<TClientErrorArg>& args = {});

// The calling thread's status vector: the first argument of every client call that can fail.
ISC_STATUS* StatusVector();

// A text of the program (UTF-8) in the encoding in which the client library reads it: the
// system's ANSI code page on Windows, unchanged elsewhere. A character that the code page cannot
// hold raises EIBClientError (SQL code 0) naming `field` and the character, before anything is
// sent. Every text of this layer towards the client passes here.
std::string ToClientText(const std::string& utf8, std::string_view field);

class TFbClientBinding {
public:
    TFbClientBinding() = default;
    // Frees the library when it is loaded.
    ~TFbClientBinding() = default;
    TFbClientBinding(const TFbClientBinding&) = delete;
    TFbClientBinding& operator=(const TFbClientBinding&) = delete;

    // The file handed to the system's loader at the next load; changing it after a successful
    // load has no effect.
    std::string LibraryName = "gds32.dll";

    bool IsLoaded() const { return Library_.IsLoaded(); }
    // 6 when the library offers isc_rollback_retaining, 5 when not, 0 before a load.
    int ApiLevel() const { return ApiLevel_; }

    // Loads the library when it is not loaded. Fails with client text 1 when it still is not.
    // A library that lacks a required entry point stays loaded but unusable: the load, and every
    // later EnsureLoaded, fails with the operating system's failure (EOSError), so no client
    // object is ever built on an incomplete table.
    void EnsureLoaded();

    // Calls an entry point of the table with the caller's floating-point environment kept.
    // Nothing of an unloaded or incomplete library is ever called: the call fails as
    // EnsureLoaded would.
    template <typename F, typename... A>
    auto Call(F TFbClientEntryPoints::*entryPoint, A... args) const {
        const F function = EntryPoints_.*entryPoint;
        if (function == nullptr || IncompleteLoad_) {
            RaiseNotUsable();
        }
        connectivity::TFpuGuard guard;
        return function(args...);
    }

    // Turns the calling thread's status vector into EIBInterBaseError, or EIBInterBaseRoleError
    // for SQL code -551, whose text is the interpreted lines joined by CR LF without a final full
    // stop.
    [[noreturn]] void RaiseStatusError() const;

    // The names resolved by a load, in order: the required ones, then the level-6 ones.
    static const std::vector<std::string_view>& RequiredEntryPointNames();
    static const std::vector<std::string_view>& Level6EntryPointNames();

private:
    void Load();
    [[noreturn]] void RaiseNotUsable() const;

    platform::TDynamicLibrary Library_;
    TFbClientEntryPoints EntryPoints_;
    int ApiLevel_ = 0;
    // The loader's failure when a load stopped at a missing entry point.
    std::optional<platform::TOsError> IncompleteLoad_;
};

// The process-wide binding, released when the program ends.
TFbClientBinding& FbClientBinding();
