// The attachment layer's own client library: one module-wide binding, loaded by file name when
// the load count rises to 0 and freed when it falls back to 0, with its table of entry points,
// the lock around attaches and the thread-local slot of the default sessions.
#pragma once

#include "connectivity/FpuGuard.h"
#include "platform/ThreadLocalSlot.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include <ibase.h>

// Required entry points in the order of resolution; isc_event_counts is resolved a second time
// after isc_event_block (see ClientLibrary.cpp).
#define IB_REQUIRED_ENTRY_POINTS_HEAD(X)                                                           \
    X(isc_array_gen_sdl)                                                                           \
    X(isc_array_get_slice)                                                                         \
    X(isc_array_lookup_bounds)                                                                     \
    X(isc_array_lookup_desc)                                                                       \
    X(isc_array_set_desc)                                                                          \
    X(isc_array_put_slice)                                                                         \
    X(isc_blob_default_desc)                                                                       \
    X(isc_blob_gen_bpb)                                                                            \
    X(isc_blob_info)                                                                               \
    X(isc_blob_lookup_desc)                                                                        \
    X(isc_blob_set_desc)                                                                           \
    X(isc_cancel_blob)                                                                             \
    X(isc_close_blob)                                                                              \
    X(isc_create_blob)                                                                             \
    X(isc_create_blob2)                                                                            \
    X(isc_open_blob)                                                                               \
    X(isc_open_blob2)                                                                              \
    X(isc_put_segment)                                                                             \
    X(isc_put_slice)                                                                               \
    X(isc_get_segment)                                                                             \
    X(isc_get_slice)                                                                               \
    X(isc_attach_database)                                                                         \
    X(isc_create_database)                                                                         \
    X(isc_detach_database)                                                                         \
    X(isc_drop_database)                                                                           \
    X(isc_database_info)                                                                           \
    X(isc_start_multiple)                                                                          \
    X(isc_commit_transaction)                                                                      \
    X(isc_commit_retaining)                                                                        \
    X(isc_rollback_transaction)                                                                    \
    X(isc_transaction_info)                                                                        \
    X(isc_transact_request)                                                                        \
    X(isc_dsql_execute_immediate)                                                                  \
    X(isc_dsql_exec_immed2)                                                                        \
    X(isc_dsql_execute)                                                                            \
    X(isc_dsql_execute2)                                                                           \
    X(isc_dsql_allocate_statement)                                                                 \
    X(isc_dsql_alloc_statement2)                                                                   \
    X(isc_dsql_prepare)                                                                            \
    X(isc_dsql_set_cursor_name)                                                                    \
    X(isc_dsql_describe)                                                                           \
    X(isc_dsql_describe_bind)                                                                      \
    X(isc_dsql_fetch)                                                                              \
    X(isc_dsql_free_statement)                                                                     \
    X(isc_dsql_sql_info)                                                                           \
    X(isc_decode_date)                                                                             \
    X(isc_encode_date)                                                                             \
    X(isc_cancel_events)                                                                           \
    X(isc_event_counts)                                                                            \
    X(isc_que_events)                                                                              \
    X(isc_event_block)

#define IB_REQUIRED_ENTRY_POINTS_TAIL(X)                                                           \
    X(isc_interprete)                                                                              \
    X(isc_sql_interprete)                                                                          \
    X(isc_free)                                                                                    \
    X(isc_sqlcode)                                                                                 \
    X(isc_vax_integer)                                                                             \
    X(isc_compile_request)                                                                         \
    X(isc_compile_request2)                                                                        \
    X(isc_send)                                                                                    \
    X(isc_start_and_send)                                                                          \
    X(isc_start_request)                                                                           \
    X(isc_unwind_request)                                                                          \
    X(isc_receive)                                                                                 \
    X(isc_release_request)

// Optional entry points with the text that the replacement of a missing one raises;
// isc_rollback_retaining has no replacement and is kept apart.
#define IB_OPTIONAL_ENTRY_POINTS(X)                                                                \
    X(isc_service_attach, "isc_service_attach() not implemented")                                  \
    X(isc_service_detach, "isc_service_dettach() not implemented")                                 \
    X(isc_service_query, "isc_service_query() not implemented")                                    \
    X(isc_service_start, "isc_service_start() not implemented")                                    \
    X(isc_add_user, "isc_add_user() not implemented")                                              \
    X(isc_delete_user, "isc_delete_user() not implemented")                                        \
    X(isc_modify_user, "isc_modify_user() not implemented")

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
struct TIB_ClientEntryPoints {
#define IB_DECLARE_ENTRY_POINT(name) decltype(&::name) name = nullptr;
#define IB_DECLARE_OPTIONAL_ENTRY_POINT(name, text) decltype(&::name) name = nullptr;
    IB_REQUIRED_ENTRY_POINTS_HEAD(IB_DECLARE_ENTRY_POINT)
    IB_REQUIRED_ENTRY_POINTS_TAIL(IB_DECLARE_ENTRY_POINT)
    IB_OPTIONAL_ENTRY_POINTS(IB_DECLARE_OPTIONAL_ENTRY_POINT)
    IB_DECLARE_ENTRY_POINT(isc_rollback_retaining)
    IB_DECLARE_ENTRY_POINT(isc_portable_integer)
#undef IB_DECLARE_ENTRY_POINT
#undef IB_DECLARE_OPTIONAL_ENTRY_POINT
};
#pragma GCC diagnostic pop

// Raises the count; the rise to 0 creates ClientCallLock and the thread-local slot, then loads
// the library (LoadClientLibrary). A library that lacks a required entry point makes this raise
// EIB_Error; the count keeps its new value and the library stays loaded.
void AcquireClientLibrary();

// Lowers the count; the fall to 0 (or below it) deletes ClientCallLock, frees the library, empties
// every slot of the table and frees the thread-local slot.
void ReleaseClientLibrary();

// Loads ClientLibraryName() when no library is held, then resolves the required entry points in
// order (EIB_Error "Невозможно найти импорт DLL \"name\"" at the first missing one) and looks up
// the optional ones, replacing each missing one. A file that cannot be loaded is not a failure
// here: the table keeps its empty slots.
void LoadClientLibrary();

// Releases until the count is -1 (the fall to 0 frees the library), sets the count to -1 and the
// name to `libraryName`, so that the next acquisition loads that file. Not atomic as a whole:
// call it while no component of the layer exists.
void ResetClientLibrary(const std::string& libraryName);

const std::string& ClientLibraryName();
std::int32_t ClientLibraryLoadCount();
bool ClientLibraryLoaded();

// The table through which the layer calls; a slot is empty when the library is not loaded.
const TIB_ClientEntryPoints& ClientEntryPoints();

// Serialises attaches across threads; exists while the count is 0 or more (nullptr otherwise).
std::mutex* ClientCallLock();

// The slot of each thread's default session; exists while the count is 0 or more.
const platform::TThreadLocalSlot* ClientSessionSlot();

// Raises EIB_Error "Не установлен InterBase клиент GDS32.DLL".
[[noreturn]] void RaiseClientNotInstalled();

// Calls a slot of the table with the caller's floating-point environment kept. The caller has
// checked that the slot is not empty (a call site that finds it empty treats the library as not
// loaded); an empty slot raises "Не установлен InterBase клиент GDS32.DLL" instead of being called.
template <typename F, typename... A>
auto ClientCall(F TIB_ClientEntryPoints::*entryPoint, A... args) {
    const F function = ClientEntryPoints().*entryPoint;
    if (function == nullptr) {
        RaiseClientNotInstalled();
    }
    connectivity::TFpuGuard guard;
    return function(args...);
}

// The required entry points in the order of resolution (65 lookups of 64 names).
const std::vector<std::string_view>& RequiredClientEntryPointNames();

// The load-time step of the layer: reads "DataBaseClient" of section "SERVER" of the settings
// file that belongs to `executablePath` (a non-empty value replaces the library name), then
// acquires the library twice. Destroying it releases once, as the module's shut-down.
// A library that lacks a required entry point ends the program: its text goes to the standard
// error stream and to `present` when given (a program without a console shows it in a box), and
// the exit code is 1, before any window exists.
class TClientLibraryModule {
public:
    explicit TClientLibraryModule(std::string_view executablePath,
                                  const std::function<void(const std::string&)>& present = {});
    ~TClientLibraryModule();
    TClientLibraryModule(const TClientLibraryModule&) = delete;
    TClientLibraryModule& operator=(const TClientLibraryModule&) = delete;
};
